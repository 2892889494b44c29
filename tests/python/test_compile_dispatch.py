import dataclasses
import enum
import typing
from typing import Protocol, runtime_checkable

import pytest

from kestrune import Validator


class Color(enum.Enum):
    RED = 1


class IntColor(enum.IntEnum):
    BLUE = 2


class MyInt(int):
    pass


class PlainTuple(tuple):
    pass


@runtime_checkable
class Closable(Protocol):
    def close(self): ...


class NotRuntime(Protocol):
    def close(self): ...


class RaisingProtocolMarker:
    def __getattr__(self, name):
        raise RuntimeError(name)


class Meta(type):
    def __getattr__(cls, name):
        if name == "_is_protocol":
            raise RuntimeError("marker")
        raise AttributeError(name)


class MarkerRaises(metaclass=Meta):
    pass


@dataclasses.dataclass
class Point:
    x: int


UserId = typing.NewType("UserId", int)
type Alias = int


@pytest.mark.parametrize(
    "schema, text",
    [
        (None, "None"),
        (typing.Any, "Any"),
        (typing.Never, "nothing"),
        (typing.NoReturn, "nothing"),
        (object, "anything"),
        (type(None), "None"),
        (bool, "bool"),
        (int, "int"),
        (float, "float"),
        (str, "str"),
        (bytes, "bytes"),
        (MyInt, "MyInt"),
        (Color, "Color"),
        (IntColor, "IntColor"),
        (Color.RED, "Literal[<Color.RED: 1>]"),
        (PlainTuple, "PlainTuple"),
        (Closable, "Closable"),
        (MarkerRaises, "MarkerRaises"),
        (list, "list"),
        (dict, "dict"),
        (tuple, "tuple"),
        (set, "set"),
        (frozenset({int}), "Literal[frozenset({<class 'int'>})]"),
        ("int", "Literal['int']"),
        (b"int", "Literal[b'int']"),
        (5, "Literal[5]"),
        (True, "Literal[True]"),
        (..., "Literal[Ellipsis]"),
        (Point(1), "Literal[Point(x=1)]"),
        (UserId, "int"),
        (Alias, "int"),
        (Validator(int), "int"),
    ],
)
def test_dispatch(schema, text):
    assert repr(Validator(schema)) == text


SPECIAL_FORM = "{} is a typing special form, not a value; write a concrete type (for a union, X | Y or Union[X, Y])"
CONSTRUCT = (
    "{} is a typing construct, not a value: a type variable, ParamSpec, TypeVarTuple, or special form "
    "(such as Final or ClassVar) cannot be a schema; use a concrete type"
)
T = typing.TypeVar("T")
P = typing.ParamSpec("P")
Ts = typing.TypeVarTuple("Ts")


@pytest.mark.parametrize(
    "schema, message",
    [
        (typing.Optional, SPECIAL_FORM.format("typing.Optional")),
        (typing.Union, SPECIAL_FORM.format("typing.Union")),
        (T, CONSTRUCT.format("~T")),
        (P, CONSTRUCT.format("~P")),
        (Ts, CONSTRUCT.format("Ts")),
        (typing.ClassVar, CONSTRUCT.format("typing.ClassVar")),
        (typing.Final, CONSTRUCT.format("typing.Final")),
        (NotRuntime, "a Protocol must be @runtime_checkable to be used as a schema"),
        (
            (int, str),
            "a tuple literal is not a schema; write a fixed-length tuple as tuple[A, B] "
            "(the list literal [A, B] is the fixed-length list)",
        ),
        ({int}, "a set literal is not a schema; write a set as set[T]"),
    ],
)
def test_compile_errors(schema, message):
    with pytest.raises(NotImplementedError) as info:
        Validator(schema)
    assert str(info.value) == message
    assert info.value.args == (message,)


def test_named_tuple_instance_is_a_tuple_literal():
    Pair = typing.NamedTuple("Pair", [("a", int)])
    with pytest.raises(NotImplementedError, match="a tuple literal is not a schema"):
        Validator(Pair(1))


def _typevar_with_long_repr():
    return typing.TypeVar("T" * 200)


def test_repr_of_offending_object_is_cut_at_80_characters():
    with pytest.raises(NotImplementedError) as info:
        Validator(_typevar_with_long_repr())
    text = str(info.value)
    assert text.startswith("~" + "T" * 79 + "... is a typing construct")


class RaisingMetadata:
    def __getattr__(self, name):
        if name == "__metadata__":
            return (1,)
        raise AttributeError(name)


class ListMetadata:
    __origin__ = int
    __metadata__ = [1]


class RaisingSupertype:
    @property
    def __supertype__(self):
        raise KeyError("boom")


def test_metadata_without_origin_raises_attribute_error():
    with pytest.raises(AttributeError):
        Validator(RaisingMetadata())


def test_metadata_must_be_a_tuple():
    with pytest.raises(TypeError) as info:
        Validator(ListMetadata())
    assert str(info.value) == "'list' object is not an instance of 'tuple'"


def test_user_exceptions_propagate_unchanged():
    with pytest.raises(KeyError, match="boom"):
        Validator(RaisingSupertype())


def test_nesting_limit_counts_every_active_call():
    def new_type_chain(levels):
        schema = int
        for i in range(levels):
            schema = typing.NewType(f"N{i}", schema)
        return schema

    assert repr(Validator(new_type_chain(99))) == "int"
    with pytest.raises(NotImplementedError) as info:
        Validator(new_type_chain(100))
    assert str(info.value).startswith("schema nesting is too deep to compile; a class whose own type appears")
    assert str(info.value).endswith("must be written with recursive(...), which ties the fixpoint explicitly")
    assert repr(Validator(new_type_chain(99))) == "int"


def test_nested_compilation_from_user_code_shares_the_depth():
    # A compilation started by user code while another runs counts on the same thread.
    depths = []

    class Sneaky:
        @property
        def __supertype__(self):
            try:
                Validator(chain)
                depths.append("ok")
            except NotImplementedError:
                depths.append("too deep")
            return int

    chain = int
    for i in range(99):
        chain = typing.NewType(f"M{i}", chain)
    assert repr(Validator(Sneaky())) == "int"
    # The attribute is read twice: once to test its presence, once to fetch it.
    assert depths == ["too deep", "too deep"]
