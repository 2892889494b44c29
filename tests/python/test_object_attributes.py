"""Attribute checks of object classes over the ways a class can store and serve
its attributes: each form is checked with a good value, a wrong one and one whose
attribute is gone, and the user code that serves attributes is logged."""

import dataclasses
import typing

import pytest

from kestrune import Validator
from walk_helpers import records

log = []


@dataclasses.dataclass
class Plain:
    a: int
    b: str


@dataclasses.dataclass(slots=True)
class Slotted:
    a: int
    b: str


@dataclasses.dataclass(frozen=True)
class Frozen:
    a: int
    b: str


class Pair(typing.NamedTuple):
    a: int
    b: str


@dataclasses.dataclass
class Base:
    a: int


@dataclasses.dataclass
class Inherited(Base):
    b: str


@dataclasses.dataclass
class WithGetattribute:
    a: int
    b: str

    def __getattribute__(self, name):
        log.append(name)
        return object.__getattribute__(self, name)


@dataclasses.dataclass
class WithGetattr:
    a: int
    b: str

    def __getattr__(self, name):
        log.append(name)
        if name == "b":
            return "served"
        raise AttributeError(name)


class PropertyOverride(Plain):
    # A data descriptor wins over the instance dict.
    @property
    def b(self):
        log.append("b")
        return self.__dict__["b"]

    @b.setter
    def b(self, value):
        self.__dict__["b"] = value


class Shadowed:
    # A non-data descriptor loses to the instance dict.
    def __get__(self, obj, owner=None):
        log.append("shadowed")
        return 0


class NonDataOverride(Plain):
    b = Shadowed()


@dataclasses.dataclass
class Accented:
    a: int
    été: str


# make_dataclass reads its field names from strs made at run time.
Made = dataclasses.make_dataclass("Made", [("".join(["a"]), int), ("".join(["b"]), str)])


class Point(typing.TypedDict):
    x: int


class LoggedList(list):
    # The items are read from the storage: iterating runs no code of the caller's.
    def __iter__(self):
        log.append("iter")
        return super().__iter__()


class LoggedTuple(tuple):
    def __iter__(self):
        log.append("iter")
        return super().__iter__()


class Sized(int):
    def __eq__(self, other):
        log.append("eq")
        return int(self) == other

    __hash__ = int.__hash__


@dataclasses.dataclass
class Holder:
    # Fields of each kind of schema an attribute's value is answered by; the first
    # one logs its fetches whatever fails after it.
    inner: WithGetattribute
    items: list[int]
    names: tuple[str | None, ...]
    point: Point
    size: typing.Literal[3]


def holder(**changes):
    return dataclasses.replace(
        Holder(WithGetattribute(1, "x"), [1], ("x", None), {"x": 1}, 3), **changes
    )


def deleted(value, name):
    object.__delattr__(value, name)
    return value


def without_entry(value, name):
    del value.__dict__[name]
    return value


WRONG_B = [("string_type", ("b",), "str", "2")]
MISSING_B = [("missing_attribute", ("b",), 'attribute "b"', "missing")]


@pytest.mark.parametrize(
    "cls, value, expected, fetches",
    [
        (Plain, Plain(1, "x"), [], []),
        (Plain, Plain(1, 2), WRONG_B, []),
        (Plain, deleted(Plain(1, "x"), "b"), MISSING_B, []),
        (Slotted, Slotted(1, "x"), [], []),
        (Slotted, Slotted(1, 2), WRONG_B, []),
        (Slotted, deleted(Slotted(1, "x"), "b"), MISSING_B, []),
        (Frozen, Frozen(1, 2), WRONG_B, []),
        (Frozen, deleted(Frozen(1, "x"), "b"), MISSING_B, []),
        (Pair, Pair(1, "x"), [], []),
        (Pair, Pair(1, 2), WRONG_B, []),
        (Inherited, Inherited(1, "x"), [], []),
        (Inherited, Inherited("a", 2), [("int_type", ("a",), "int", "'a'")] + WRONG_B, []),
        (Inherited, deleted(Inherited(1, "x"), "b"), MISSING_B, []),
        (WithGetattribute, WithGetattribute(1, "x"), [], ["a", "b"]),
        (WithGetattribute, WithGetattribute(1, 2), WRONG_B, ["a", "b"]),
        (WithGetattribute, deleted(WithGetattribute(1, "x"), "b"), MISSING_B, ["a", "b"]),
        # The fallback runs only for what the instance lacks.
        (WithGetattr, WithGetattr(1, 2), WRONG_B, []),
        (WithGetattr, deleted(WithGetattr(1, "x"), "b"), [], ["b"]),
        (WithGetattr, deleted(WithGetattr(1, "x"), "a"), [("missing_attribute", ("a",), 'attribute "a"', "missing")],
         ["a"]),
        # A property wins over the instance dict; its KeyError makes the attribute missing.
        (PropertyOverride, PropertyOverride(1, "x"), [], ["b"]),
        (PropertyOverride, PropertyOverride(1, 2), WRONG_B, ["b"]),
        (PropertyOverride, without_entry(PropertyOverride(1, "x"), "b"), MISSING_B, ["b"]),
        # A non-data descriptor loses to the instance dict, and answers once it is gone.
        (NonDataOverride, NonDataOverride(1, "x"), [], []),
        (NonDataOverride, NonDataOverride(1, 2), WRONG_B, []),
        (NonDataOverride, deleted(NonDataOverride(1, "x"), "b"), [("string_type", ("b",), "str", "0")], ["shadowed"]),
        (Holder, holder(), [], ["a", "b"]),
        (Holder, holder(items=LoggedList([1, 2]), names=LoggedTuple(("y",))), [], ["a", "b"]),
        (Holder, holder(items=LoggedList([1, "z"])), [("int_type", ("items", 1), "int", "'z'")], ["a", "b"]),
        (Holder, holder(names=LoggedTuple((None, 2))), [("union_error", ("names", 1), "one of: str, None", "2")],
         ["a", "b"]),
        (Holder, holder(items=(1,), names=["x"]),
         [("list_type", ("items",), "list", "(1,)"), ("tuple_type", ("names",), "tuple", "['x']")], ["a", "b"]),
        (Holder, holder(inner=WithGetattribute(1, 2)), [("string_type", ("inner", "b"), "str", "2")], ["a", "b"]),
        (Holder, holder(inner=deleted(WithGetattribute(1, "x"), "b")),
         [("missing_attribute", ("inner", "b"), 'attribute "b"', "missing")], ["a", "b"]),
        (Holder, holder(inner=Plain(1, "x")), [("instance_type", ("inner",), "WithGetattribute", "Plain(a=1, b='x')")],
         []),
        (Holder, holder(point={"x": "1"}), [("int_type", ("point", "x"), "int", "'1'")], ["a", "b"]),
        (Holder, holder(point=[]), [("dict_type", ("point",), "dict", "[]")], ["a", "b"]),
        # A constant is compared only with values of its own type.
        (Holder, holder(size=Sized(3)), [("literal_error", ("size",), "the literal 3", "3")], ["a", "b"]),
        (Holder, holder(size=4), [("literal_error", ("size",), "the literal 3", "4")], ["a", "b"]),
        (Made, Made(1, "x"), [], []),
        (Made, Made(1, 2), WRONG_B, []),
        (Made, deleted(Made(1, "x"), "b"), MISSING_B, []),
    ],
)
def test_attributes_of_each_class_form(cls, value, expected, fetches):
    v = Validator(cls)
    # Each check, the first one included, serves every attribute once, in field order.
    for _ in range(2):
        log.clear()
        assert v.is_valid(value) is not bool(expected)
        assert log == fetches
    log.clear()
    if expected:
        assert records(v, value) == expected
    else:
        v.validate(value)
    assert log == fetches


def test_non_ascii_attribute_names():
    v = Validator(Accented)
    assert v.is_valid(Accented(1, "x"))
    assert records(v, Accented(1, 2)) == [("string_type", ("été",), "str", "2")]
    assert records(v, deleted(Accented(1, "x"), "été")) == [
        ("missing_attribute", ("été",), 'attribute "été"', "missing")
    ]


@dataclasses.dataclass
class Outer:
    inner: Plain
    items: list[int]
    c: int


def test_record_paths_run_through_nested_attributes():
    v = Validator(list[Outer])
    value = [Outer(Plain(1, "x"), [], 0), Outer(deleted(Plain("a", "x"), "b"), [1, "z"], "c")]
    assert records(v, value) == [
        ("int_type", (1, "inner", "a"), "int", "'a'"),
        ("missing_attribute", (1, "inner", "b"), 'attribute "b"', "missing"),
        ("int_type", (1, "items", 1), "int", "'z'"),
        ("int_type", (1, "c"), "int", "'c'"),
    ]
    assert records(v, value, fail_fast=True) == [("int_type", (1, "inner", "a"), "int", "'a'")]
    assert records(v, [Outer(deleted(Plain(1, "x"), "b"), [], 0)], fail_fast=True) == [
        ("missing_attribute", (0, "inner", "b"), 'attribute "b"', "missing")
    ]


class LoggedError(AttributeError):
    def __setattr__(self, name, value):
        log.append(name)
        super().__setattr__(name, value)


@dataclasses.dataclass
class Raising:
    b: int

    def __getattr__(self, name):
        raise self.error


@pytest.mark.parametrize(
    "make_error",
    [
        lambda: AttributeError("gone"),
        lambda: LoggedError("gone"),
        lambda: LoggedError("gone", name="other"),
        lambda: KeyError("gone"),
    ],
)
def test_a_failed_fetch_leaves_its_exception_as_getattr_does(make_error):
    # The name and object a fetch notes on the exception stay visible to whoever
    # holds it.
    def raised(fetch):
        value = deleted(Raising(1), "b")
        value.error = make_error()
        log.clear()
        fetch(value)
        return log[:], getattr(value.error, "name", None), getattr(value.error, "obj", None) is value

    def by_getattr(value):
        with pytest.raises(Exception):
            getattr(value, "b")

    assert raised(Validator(Raising).is_valid) == raised(by_getattr)
