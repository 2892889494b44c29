"""Uses the public API as a caller would; type-checked with mypy --strict, never run.

assert_type pins what callers get back, and each `type: ignore` marks a misuse
that the types must reject (strict mode fails on an ignore that is not needed).
"""

import copy
from typing import Annotated, Any, TypedDict, assert_type

from kestrune import ValidationError, Validator, anything, complement, intersection, nothing, recursive, union


class Movie(TypedDict):
    title: str
    year: int


movie = Validator(Movie)
assert_type(movie, Validator)
assert_type(movie.validate({"title": "Alien", "year": 1979}), None)
assert_type(movie.is_valid({}), bool)
record = {"title": "Alien", "year": 1979}
assert_type(movie.ensure(record), dict[str, object])
assert_type(movie.load('{"title": "Alien", "year": 1979}'), Any)
assert_type(movie.validate_json(b"{}", fail_fast=True), None)
assert_type(movie.is_valid_json(None), bool)
movie.validate_json(123)  # type: ignore[arg-type]
movie.validate({}, fail_fast=1)  # type: ignore[arg-type]
movie.validate({}, True)  # type: ignore[call-arg]

try:
    movie.validate({"title": 1})
except ValidationError as error:
    assert_type(error.code, str)
    assert_type(error.path, tuple[str | int, ...])
    for details in error.errors:
        assert_type(details["code"], str)
        assert_type(details["path"], tuple[str | int, ...])
        assert_type(details["expected"], str)
        details["line"]  # type: ignore[typeddict-item]

positive = Validator(Annotated[int, lambda n: n > 0])
either = positive | str
assert_type(either, Validator)
assert_type(None | positive, Validator)
assert_type(3 in either, bool)
assert_type(union(int, None), Validator)
assert_type(intersection(int, positive), Validator)
assert_type(complement(str), Validator)
tree = recursive(lambda node: {"value": int, "children": [node]})
assert_type(tree, Validator)
assert_type(anything.is_empty(), bool)
assert_type(nothing.is_subtype_of(int), bool)
assert_type(positive.is_equivalent(int), bool)
assert_type(either.simplify().open().close(), Validator)
assert_type(copy.deepcopy(movie), Validator)
assert_type(hash(movie) == hash(copy.copy(movie)), bool)
assert_type(movie == movie, bool)
recursive(42)  # type: ignore[arg-type]
