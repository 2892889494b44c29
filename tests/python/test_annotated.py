import re
import typing
from types import SimpleNamespace as Meta
from typing import Annotated

import pytest

from kestrune import Validator
from walk_helpers import records


def raising(error):
    """A metadata item each of whose attributes raises `error`."""

    def fail(self):
        raise error

    names = ["pattern", "ge", "gt", "le", "lt", "min_length", "max_length", "multiple_of", "func"]
    return type("Raising", (), {name: property(fail) for name in names})()


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BadIndex:
    def __index__(self):
        raise RuntimeError("no")


def codes(schema, value):
    return [code for code, *_ in records(Validator(schema), value)]


@pytest.mark.parametrize("metadata", ["doc", 3, None, Meta(unrelated=1), raising(KeyboardInterrupt())])
def test_inert_metadata_compiles_to_the_base(metadata):
    assert Validator(Annotated[int, metadata]) == Validator(int)


def test_bounds_come_in_their_own_order_and_items_in_theirs():
    item = Meta(lt=10, le=None, gt=None, ge=1)
    v = Validator(Annotated[int, item, Meta(multiple_of=2)])
    assert codes(Annotated[int, item, Meta(multiple_of=2)], 11) == ["less_than", "multiple_of"]
    assert [v.is_valid(n) for n in (0, 1, 2, 9, 10)] == [False, False, True, False, False]
    # A pattern ends its item; a pattern that is not a str does not.
    assert codes(Annotated[str, Meta(pattern="a", ge="z")], "b") == ["string_pattern_mismatch"]
    assert codes(Annotated[str, Meta(pattern=b"a", ge="z")], "b") == ["greater_than_equal"]


def test_a_compiled_expression_contributes_its_pattern_and_its_flags():
    v = Validator(Annotated[str, re.compile("ab", re.IGNORECASE)])
    assert (v.is_valid("ab"), v.is_valid("AB"), v.is_valid("abc")) == (True, True, False)


@pytest.mark.parametrize(
    "length, minimum",
    [(-1, None), (2.5, None), (None, None), ("3", None), (2**64, None), (BadIndex(), None),
     (True, 1), (Index(3), 3), (2**64 - 1, 2**64 - 1)],
)
def test_lengths_are_counts_and_anything_else_is_ignored(length, minimum):
    v = Validator(Annotated[list, Meta(min_length=length)])
    if minimum is None:
        assert v == Validator(list)
    else:
        assert records(v, [])[0][:3] == ("too_short", (), f"length >= {minimum}")


def predicate(value):
    return value > 0


class Callable:
    def __call__(self, value):
        return value == 7


@pytest.mark.parametrize(
    "item, passes, fails",
    [
        (predicate, 1, 0),
        (lambda value: value < 0, -1, 1),
        (bool, 1, 0),
        (Callable(), 7, 8),
        (Meta(func=predicate), 1, 0),
    ],
)
def test_callables_become_predicates(item, passes, fails):
    v = Validator(Annotated[int, item])
    assert (v.is_valid(passes), v.is_valid(fails)) == (True, False)


def test_a_callable_item_with_a_useless_func_is_its_own_predicate():
    class Item:
        func = "not callable"

        def __call__(self, value):
            return value == 1

    v = Validator(Annotated[int, Item()])
    assert (v.is_valid(1), v.is_valid(2)) == (True, False)


def test_bound_objects_are_pooled_by_identity():
    bound = 10**30
    shared = Validator(Annotated[int, Meta(ge=bound), Meta(le=bound)])
    assert shared == Validator(Annotated[int, Meta(ge=bound), Meta(le=10**30 + 0)])
    assert shared.is_valid(bound) and not shared.is_valid(bound + 1)


def test_the_base_is_compiled_before_any_item_is_read():
    read = []

    class Spy:
        def __getattr__(self, name):
            read.append(name)
            raise AttributeError(name)

    with pytest.raises(NotImplementedError):
        Validator(Annotated[typing.ClassVar[int], Spy()])
    assert read == []
    Validator(Annotated[int, Spy()])
    assert read == ["pattern", "ge", "gt", "le", "lt", "min_length", "max_length", "multiple_of", "func"]


def test_a_refinement_of_a_refinement_keeps_both():
    Positive = Annotated[int, Meta(gt=0)]
    v = Validator(Annotated[Positive, Meta(lt=10)])
    assert codes(Annotated[Positive, Meta(lt=10)], 0) == ["greater_than"]
    assert (v.is_valid(5), v.is_valid(10)) == (True, False)
