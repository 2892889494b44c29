"""Hostile patterns: sets that expand to thousands of ranges, written many times, are
compiled or refused without the work growing with the expansion."""

import time
from types import SimpleNamespace as Meta
from typing import Annotated

import pytest

from kestrune import Validator

SIZE_LIMIT = "Compiled regex exceeds size limit of 10485760 bytes."
# Far above what these take, far below what they took when each occurrence of a set
# was written out in full.
SECONDS = 5.0


def compile_and_check(pattern, text):
    start = time.perf_counter()
    try:
        answer = Validator(Annotated[str, Meta(pattern=pattern)]).is_valid(text)
    except ValueError as error:
        answer = str(error)
    return answer, time.perf_counter() - start


@pytest.mark.parametrize(
    "pattern",
    [r"\W" * 40000, r"\w" * 60000, r"\p{Alphabetic}" * 8000, r"[\W\w]" * 20000, r"[\w]" * 30000, r"\pL" * 40000],
    ids=["W", "w", "Alphabetic", "class-of-both", "class", "engine-category"],
)
def test_sets_written_too_often_are_refused_early(pattern):
    answer, seconds = compile_and_check(pattern, "a")
    assert answer.endswith(": " + SIZE_LIMIT)
    assert seconds < SECONDS


@pytest.mark.parametrize(
    "pattern, text, expected",
    [
        ("(?:" + "|".join([r"\w"] * 30000) + ")", "é", True),
        ("(?:" + "|".join([r"\w", r"\d"] * 15000) + ")", "-", False),
        ("(?:" + "|".join([r"\P{Any}"] * 15000) + ")", "a", False),
        (r"\w" * 600, "a" * 600, True),
    ],
    ids=["repeated-alternative", "two-repeated-alternatives", "empty-alternatives", "many-sets"],
)
def test_large_patterns_that_fit_compile_in_bounded_time(pattern, text, expected):
    answer, seconds = compile_and_check(pattern, text)
    assert answer is expected
    assert seconds < SECONDS


def test_a_set_counts_for_its_ranges_in_a_repetition():
    answer, _ = compile_and_check(r"(?:\w{1000}){1000}", "a")
    assert answer.endswith(": " + SIZE_LIMIT)
    assert compile_and_check(r"\w{500}", "a" * 500)[0] is True
