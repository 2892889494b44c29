import dataclasses
import typing
from typing import ClassVar, NamedTuple, NotRequired, Required, TypedDict

import pytest

from kestrune import Validator

SURROGATE_ERROR = "a record key must be valid Unicode; a field name cannot contain a lone surrogate"


class Movie(TypedDict):
    title: str
    year: int


class Partial(TypedDict, total=False):
    title: Required[str]
    year: int
    rating: NotRequired[float]


Marked = TypedDict("Marked", {"name?": int, "other": str})
MarkedOptional = TypedDict("MarkedOptional", {"name?": int}, total=False)


@dataclasses.dataclass
class Point:
    x: int
    y: int = 0


class Pair(NamedTuple):
    left: int
    right: str = ""


@dataclasses.dataclass
class Nested:
    point: Point
    tags: list[str]


@dataclasses.dataclass
class WithClassVar:
    x: int
    count: ClassVar[int] = 0


@dataclasses.dataclass
class Unresolvable:
    x: "NoSuchClass"  # noqa: F821


@dataclasses.dataclass
class SelfReferencing:
    child: "SelfReferencing"


@pytest.mark.parametrize(
    "schema, text",
    [
        ({"name": str, "note?": str}, "{'name': str, 'note?': str}"),
        ({"?": int}, "{'?': int}"),
        ({"": int}, "{'': int}"),
        # Only one trailing mark is consumed: the field is optional and named "size?".
        ({"size??": int}, "{'size??': int}"),
        ({str: int}, "dict[str, int]"),
        ({1: str}, "dict[Literal[1], str]"),
        ({"name": int, str: object}, "{'name': int, str: anything}"),
        ({str: int, int: str}, "{str: int, int: str}"),
        ({}, "{}"),
        ({"name": int, "name?": str}, "{'name': int, 'name?': str}"),
        ({"it's": int}, "{'it's': int}"),
        (Movie, "{'title': str, 'year': int}"),
        (Partial, "{'title': str, 'year?': int, 'rating?': float}"),
        # A TypedDict key keeps its question mark; only __required_keys__ decides.
        (Marked, "{'name?': int, 'other': str}"),
        (MarkedOptional, "{'name??': int}"),
        (Point, "Point"),
        (Pair, "Pair"),
        ({"p": Point, "n": Nested}, "{'p': Point, 'n': Nested}"),
    ],
)
def test_record_text(schema, text):
    assert repr(Validator(schema)) == text


class StrSubclass(str):
    def __str__(self):
        return "other"


def test_str_subclass_key_is_named_by_its_text():
    assert repr(Validator({StrSubclass("key?"): int})) == "{'key?': int}"


class ReadAsStored(dict):
    def items(self):
        return [("hidden", int)]

    def __iter__(self):
        return iter(["hidden"])


def test_dict_subclass_is_read_from_its_storage():
    assert repr(Validator(ReadAsStored({"a": str}))) == "{'a': str}"


def test_lone_surrogate_key_in_dict_literal():
    with pytest.raises(ValueError) as info:
        Validator({"ok": int, "\ud800": int})
    assert str(info.value) == SURROGATE_ERROR


def test_lone_surrogate_key_in_typed_dict():
    with pytest.raises(ValueError) as info:
        Validator(TypedDict("Bad", {"\udfff": int}))
    assert str(info.value) == SURROGATE_ERROR


@pytest.fixture
def hints(monkeypatch):
    """Makes typing.get_type_hints return the given object for every class."""

    def install(result):
        def fake(cls, **kwargs):
            assert kwargs == {"include_extras": True}
            return result

        monkeypatch.setattr(typing, "get_type_hints", fake)

    return install


class RaisingStr:
    def __str__(self):
        raise LookupError("no name")


@pytest.mark.parametrize("schema", [Point, Movie])
@pytest.mark.parametrize(
    "result, error, message",
    [
        ([("x", int)], TypeError, "'list' object is not an instance of 'dict'"),
        (None, TypeError, "'None' is not an instance of 'dict'"),
        ({"\ud800": int}, ValueError, SURROGATE_ERROR),
        ({RaisingStr(): int}, LookupError, "no name"),
    ],
)
def test_type_hint_failures(hints, schema, result, error, message):
    hints(result)
    with pytest.raises(error) as info:
        Validator(schema)
    assert str(info.value) == message


def test_hint_keys_are_named_by_str(hints):
    # The hint's own key object is asked about: 1 is not in {'title', 'year'}.
    hints({1: int, "title": str})
    assert repr(Validator(Movie)) == "{'1?': int, 'title': str}"


class ContainsRaises:
    def __contains__(self, key):
        raise KeyError("contains")


def test_required_keys_failures_propagate():
    class NotAContainer(TypedDict):
        a: int

    NotAContainer.__required_keys__ = 5
    with pytest.raises(TypeError):
        Validator(NotAContainer)
    NotAContainer.__required_keys__ = ContainsRaises()
    with pytest.raises(KeyError, match="contains"):
        Validator(NotAContainer)


def test_class_var_is_refused_as_a_typing_form():
    with pytest.raises(NotImplementedError) as info:
        Validator(WithClassVar)
    assert str(info.value).startswith("unsupported typing form with origin typing.ClassVar; supported:")


def test_unresolvable_forward_reference_raises_name_error():
    with pytest.raises(NameError, match="NoSuchClass"):
        Validator(Unresolvable)


def test_self_referencing_class_hits_the_nesting_limit():
    with pytest.raises(NotImplementedError, match="^schema nesting is too deep to compile"):
        Validator(SelfReferencing)
    assert repr(Validator(Point)) == "Point"


def test_first_failing_entry_decides_and_later_entries_are_not_compiled():
    compiled = []

    class Probe(type):
        def __getattr__(cls, name):
            compiled.append(cls.__name__)
            raise AttributeError(name)

    Later = Probe("Later", (), {})
    with pytest.raises(NotImplementedError, match="set literal"):
        Validator({"a": {int}, "b": Later})
    assert compiled == []


def _mutating_class(action):
    """A class whose compilation runs `action` (through the first attribute test)."""

    class Meta(type):
        def __getattr__(cls, name):
            if name == "__required_keys__":
                action()
            raise AttributeError(name)

    return Meta("Mutator", (), {})


def _grow(schema):
    schema["extra"] = int


def _swap(schema):
    del schema["a"]
    schema["c"] = int


@pytest.mark.parametrize(
    "change, message",
    [
        (_grow, "dictionary changed size during iteration"),
        (_swap, "dictionary keys changed during iteration"),
    ],
)
def test_dict_changed_while_compiling(change, message):
    schema = {}
    schema["a"] = _mutating_class(lambda: change(schema))
    schema["b"] = int
    with pytest.raises(RuntimeError) as info:
        Validator(schema)
    assert str(info.value) == message


def test_dict_key_removed_while_its_value_compiles_is_kept_alive():
    schema = {}
    schema["a"] = [_mutating_class(lambda: schema.clear())]
    with pytest.raises(RuntimeError, match="changed size"):
        Validator(schema)
