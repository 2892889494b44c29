"""Patterns copied from Python code: the escapes and groups that Python's re reads and
the engine would refuse or read otherwise mean what they mean in Python."""

import re
from types import SimpleNamespace as Meta
from typing import Annotated

import warnings

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

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


# Python reads $ also before a final line feed, and a '+' after a repetition as
# possessive; neither is among these pieces.
PIECES = [
    "a", "b", r"\u0061", r"\U00000062", r"\x61", r"\0", r"\141", "(?#c)", r"[\b]", "[ab]", r"[\u0061-\u0063]",
    "{02}", "{,02}", "{01,2}", "*", "?", "|", "(", ")", "(?:", r"\w", r"\W", r"\d", r"\s", ".", r"\Z", "^", r"\é",
    "é", "[^a]", "(?i:", r"\_", r"\-",
]
TEXTS = ["", "a", "b", "ab", "ba", "aa", "A", "é", "\b", "\x00", "aab", "abab", "c", " ", "_", "-", "a{02}", "\n"]


@settings(max_examples=400, deadline=None)
@given(st.lists(st.sampled_from(PIECES), min_size=1, max_size=6))
def test_patterns_of_these_pieces_mean_what_they_mean_in_python(pieces):
    pattern = "".join(pieces)
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            expected = re.compile(pattern)
    except (re.error, OverflowError):
        return
    v = Validator(Annotated[str, Meta(pattern=pattern)])
    assert {s: v.is_valid(s) for s in TEXTS} == {s: bool(expected.fullmatch(s)) for s in TEXTS}
