import collections.abc
import typing
from typing import Literal, NotRequired, Optional, Required, Union

import pytest

from kestrune import Validator

ONE_ARGUMENT = "expected exactly one type argument"
DICT_ARGUMENTS = "dict[...] needs a key type and a value type"
TUPLE_ELLIPSIS = "`...` may appear only as the last element of a tuple schema"
LIST_ELLIPSIS = "`...` may appear only as the last element of a list schema"
UNSUPPORTED = (
    "unsupported typing form with origin {}; supported: list, set, dict, tuple, Union, Optional, Literal, Callable"
)


@pytest.mark.parametrize(
    "schema, text",
    [
        (list[int], "list[int]"),
        (typing.List[int], "list[int]"),
        (set[int], "set[int]"),
        (frozenset[str], "frozenset[str]"),
        (dict[str, int], "dict[str, int]"),
        # `...` means something only in tuple forms and list literals.
        (list[...], "list[Literal[Ellipsis]]"),
        (dict[str, ...], "dict[str, Literal[Ellipsis]]"),
        (tuple[()], "tuple[]"),
        (typing.Tuple, "tuple[]"),
        (tuple[int], "tuple[int]"),
        (tuple[int, str], "tuple[int, str]"),
        (tuple[int, ...], "tuple[int, ...]"),
        (tuple[int, str, ...], "tuple[int, str, ...]"),
        (tuple[int, str, bytes, ...], "tuple[int, str, bytes, ...]"),
        ([], "[]"),
        ([int], "list[int]"),
        ([int, ...], "list[int]"),
        ([int, str], "[int, str]"),
        ([int, str, ...], "[int, str, ...]"),
        ([int, str, bytes, ...], "[int, str, bytes, ...]"),
        (Required[int], "int"),
        (NotRequired[int], "int"),
        (Union[int, str], "int | str"),
        (int | str, "int | str"),
        (Optional[int], "int | None"),
        # A union member that is itself a union stays one member; the text shows no nesting.
        (Union[int, Literal["a", "b"]], "int | Literal['a'] | Literal['b']"),
        (Literal[None], "None"),
        (Literal["a"], "Literal['a']"),
        (Literal["a", "b"], "Literal['a'] | Literal['b']"),
        (collections.abc.Callable[[int], str], "Callable"),
        (typing.Callable, "Callable"),
        (typing.Callable[..., int], "Callable"),
    ],
)
def test_form_text(schema, text):
    assert repr(Validator(schema)) == text


@pytest.mark.parametrize(
    "schema, message",
    [
        (list[int, str], ONE_ARGUMENT),
        (typing.List, ONE_ARGUMENT),
        (typing.Set, ONE_ARGUMENT),
        (typing.FrozenSet, ONE_ARGUMENT),
        (typing.Dict, DICT_ARGUMENTS),
        (dict[int], DICT_ARGUMENTS),
        (tuple[...], TUPLE_ELLIPSIS),
        (tuple[..., int], TUPLE_ELLIPSIS),
        (tuple[int, ..., str], TUPLE_ELLIPSIS),
        (tuple[int, ..., ...], TUPLE_ELLIPSIS),
        ([...], LIST_ELLIPSIS),
        ([..., int], LIST_ELLIPSIS),
        ([..., ...], LIST_ELLIPSIS),
        ([int, ..., str], LIST_ELLIPSIS),
        (type[int], UNSUPPORTED.format("<class 'type'>")),
        (typing.ClassVar[int], UNSUPPORTED.format("typing.ClassVar")),
        (collections.abc.Sequence[int], UNSUPPORTED.format("<class 'collections.abc.Sequence'>")),
        # Failures inside arguments surface unchanged, the key's before the value's.
        (dict[(1, 2), {3}], "a tuple literal is not a schema; write a fixed-length tuple as tuple[A, B] "
         "(the list literal [A, B] is the fixed-length list)"),
        (list[tuple[...]], TUPLE_ELLIPSIS),
        (Union[int, type[int]], UNSUPPORTED.format("<class 'type'>")),
    ],
)
def test_form_errors(schema, message):
    with pytest.raises(NotImplementedError) as info:
        Validator(schema)
    assert str(info.value) == message
    assert info.value.args == (message,)


def test_required_markers_take_exactly_one_argument(monkeypatch):
    alias = object()
    monkeypatch.setattr(typing, "get_origin", lambda obj: Required if obj is alias else None)
    monkeypatch.setattr(typing, "get_args", lambda obj: (int, str))
    with pytest.raises(NotImplementedError) as info:
        Validator(alias)
    assert str(info.value) == ONE_ARGUMENT


class _Shrinking(type):
    """A class whose compilation empties the list literal it sits in."""

    target: list = []

    def __getattr__(cls, name):
        if name == "__required_keys__":
            _Shrinking.target.clear()
        raise AttributeError(name)


Shrinker = _Shrinking("Shrinker", (), {})


@pytest.mark.parametrize("schema", [[Shrinker, int, str], [Shrinker, int, ...]])
def test_list_shortened_while_compiling_raises_index_error(schema):
    _Shrinking.target = schema
    with pytest.raises(IndexError):
        Validator(schema)


def test_first_bad_list_element_decides_the_error():
    with pytest.raises(NotImplementedError) as info:
        Validator([{int}, ..., int])
    assert str(info.value).startswith("a set literal is not a schema")
