import collections.abc
import dataclasses
import typing
from typing import Literal, Optional, TypedDict, Union

import pytest

from kestrune import Validator


@dataclasses.dataclass
class Point:
    x: int


class Movie(TypedDict, total=False):
    title: str


class BadRepr:
    def __repr__(self):
        raise RuntimeError("no repr")


class NamelessMeta(type):
    @property
    def __name__(cls):
        return 42

    def __repr__(cls):
        return "<nameless>"


Nameless = NamelessMeta("Nameless", (), {})


@pytest.mark.parametrize(
    "schema, text",
    [
        # sequences
        (list[list[int]], "list[list[int]]"),
        (tuple[list[int], ...], "tuple[list[int], ...]"),
        ([tuple[()], [int]], "[tuple[], list[int]]"),
        ([[int, str], ...], "list[[int, str]]"),
        ([int, [str, ...], ...], "[int, list[str], ...]"),
        # mappings and records
        (dict[str, list[int]], "dict[str, list[int]]"),
        ({str: object}, "dict[str, anything]"),
        ({object: object}, "dict[anything, anything]"),
        ({"a": int, "b?": str, str: float}, "{'a': int, 'b?': str, str: float}"),
        ({"a?": {"b": [int]}}, "{'a?': {'b': list[int]}}"),
        ({"a": Movie}, "{'a': {'title?': str}}"),
        # unions, literals
        (Optional[int], "int | None"),
        (Optional[list[int]], "list[int] | None"),
        (Literal[1, 2], "Literal[1] | Literal[2]"),
        (Union[int, str | bytes], "int | str | bytes"),
        (list[int | None], "list[int | None]"),
        (dict[Literal["a", "b"], int], "dict[Literal['a'] | Literal['b'], int]"),
        # sets, classes
        (set[frozenset[int]], "set[frozenset[int]]"),
        (frozenset[tuple[int, str]], "frozenset[tuple[int, str]]"),
        (collections.abc.Callable[[int], str] | None, "Callable | None"),
        (list[typing.Callable], "list[Callable]"),
        (list[Point], "list[Point]"),
        (Point | None, "Point | None"),
        (Nameless, "<nameless>"),
        (Literal[BadRepr()], "Literal[<unrepresentable>]"),
        ([int, Validator(list[str])], "[int, list[str]]"),
    ],
)
def test_schema_text(schema, text):
    assert repr(Validator(schema)) == text


def test_long_literal_is_cut_inside_its_frame():
    text = repr(Validator({"key": Literal["x" * 100]}))
    assert text == "{'key': Literal['" + "x" * 79 + "...]}"


def test_field_names_are_written_unescaped():
    assert repr(Validator({'a"b\\c': int, "it's?": str})) == "{'a\"b\\c': int, 'it's?': str}"
