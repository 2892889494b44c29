"""Patterns copied from Python code: the escapes and groups that Python's re reads and
the engine would refuse or read otherwise mean what they mean in Python."""

import re
from types import SimpleNamespace as Meta
from typing import Annotated

import pytest

from kestrune import Validator

SAMPLES = ["", "a", "A", "aa", "ab", "aab", "é", "ü", "ö", "日本", "中", "😀", "\b", "\x08a", "b", "a\n", "x", "🙂"]


@pytest.mark.parametrize(
    "pattern",
    [
        r"[\u4e00-\u9fff]+",
        r"\u00e9",
        r"\u0061{2}",
        r"[^\u0061]",
        r"\U0001F600",
        r"[\U0001F600-\U0001F64F]",
        r"(?i)\u0041",
        r"a\Z",
        r"a\Z|b",
        r"a(?#a comment)b",
        r"a(?#with \) inside)b",
        r"a(?#c)*",
        r"(?#c)(?i)a",
        r"[\b]",
        r"[\b]a",
        r"\é",
        r"[\é-\ü]",
        r"(?u:a)b",
        r"(?iu:a)b",
        r"(?u)a",
        r"a\_b|\_",
    ],
)
def test_pythons_escapes_read_as_in_python(pattern):
    v = Validator(Annotated[str, Meta(pattern=pattern)])
    samples = SAMPLES + ["a_b", "_"]
    assert {s: v.is_valid(s) for s in samples} == {s: bool(re.fullmatch(pattern, s)) for s in samples}


def test_a_verbose_pattern_may_hold_comment_groups():
    expression = re.compile(r" a (?#one) b  # two", re.VERBOSE)
    v = Validator(Annotated[str, expression])
    assert [v.is_valid(s) for s in ("ab", "a b", "a(?#one)b")] == [True, False, False]
