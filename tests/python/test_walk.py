import enum
import json
import os
import subprocess
import sys
import threading
import typing
from typing import Literal, Optional, Union

import pytest

import kestrune
from kestrune import Validator
from walk_helpers import failure, records


class Color(enum.IntEnum):
    RED = 1


class Number(int):
    pass


@pytest.mark.parametrize(
    "schema, value, member, code, expected",
    [
        (None, None, True, None, None),
        (None, 0, False, "none_type", "None"),
        (bool, True, True, None, None),
        (bool, 1, False, "bool_type", "bool"),
        (int, True, True, None, None),
        (int, Color.RED, True, None, None),
        (int, 1.0, False, "int_type", "int"),
        (float, 1.5, True, None, None),
        (float, True, False, "float_type", "float"),
        (float, 1, False, "float_type", "float"),
        (str, "x", True, None, None),
        (str, b"x", False, "string_type", "str"),
        (bytes, b"x", True, None, None),
        (bytes, bytearray(b"x"), False, "bytes_type", "bytes"),
        (bytes, memoryview(b"x"), False, "bytes_type", "bytes"),
        (kestrune.nothing, None, False, "no_match", "nothing"),
        (kestrune.anything, object(), True, None, None),
        (1, 1, True, None, None),
        (1, True, False, "literal_error", "the literal 1"),
        (1, 1.0, False, "literal_error", "the literal 1"),
        (1, Number(1), False, "literal_error", "the literal 1"),
        (Literal[1, 2], True, False, "union_error", "one of: literal, literal"),
        # Unions of str and int literals are answered from sets, collecting or not.
        (Literal["a", "b", 1], "b", True, None, None),
        (Literal["a", "b", 1], 1, True, None, None),
        (Literal["a", "b", 1], "c", False, "union_error", "one of: literal, literal, literal"),
        (Literal["a", "b", 1], 2, False, "union_error", "one of: literal, literal, literal"),
        (Literal["a", "b", 1], 2**70, False, "union_error", "one of: literal, literal, literal"),
        (Literal["a", "b", 1], 1.0, False, "union_error", "one of: literal, literal, literal"),
        (float("nan"), float("nan"), False, "literal_error", "the literal nan"),
        (Color, Color.RED, True, None, None),
        (Color, 1, False, "instance_type", "Color"),
    ],
)
def test_kind_verdicts_and_records(schema, value, member, code, expected):
    v = Validator(schema)
    assert v.is_valid(value) is member
    assert (value in v) is member
    if member:
        assert v.validate(value) is None
        assert v.ensure(value) is value
    else:
        assert records(v, value) == [(code, (), expected, repr(value))]


def test_literal_comparison_error_is_a_non_member_but_fatal_ones_propagate():
    class Token:
        def __init__(self, error):
            self.error = error

        def __eq__(self, other):
            raise self.error

        __hash__ = object.__hash__

        def __repr__(self):
            return "Token"

    # The value is on the left of the comparison, so its own __eq__ runs.
    v = Validator(Token(None))
    assert not v.is_valid(Token(ValueError))
    assert records(v, Token(ValueError)) == [("literal_error", (), "the literal Token", "Token")]
    for call in (v.is_valid, v.validate, v.ensure, v.__contains__):
        with pytest.raises(KeyboardInterrupt):
            call(Token(KeyboardInterrupt))


@pytest.mark.parametrize("error", [KeyboardInterrupt, SystemExit, MemoryError, RecursionError])
def test_fatal_instancecheck_propagates_from_every_entry(error):
    class Meta(type):
        def __instancecheck__(cls, obj):
            raise error

    v = Validator(Meta("Guarded", (), {}))
    for call in (v.is_valid, v.validate, v.ensure, v.__contains__):
        with pytest.raises(error):
            call(1)


def test_ordinary_instancecheck_error_is_a_non_member():
    class Meta(type):
        def __instancecheck__(cls, obj):
            raise LookupError

    v = Validator(Meta("Guarded", (), {}))
    assert v.is_valid(1) is False
    assert records(v, 1) == [("instance_type", (), "Guarded", "1")]


def test_list_aggregate_fail_fast_and_answering():
    v = Validator(list[int])
    value = [1, "a", 2.5]
    assert records(v, value) == [
        ("int_type", (1,), "int", "'a'"),
        ("int_type", (2,), "int", "2.5"),
    ]
    assert records(v, value, fail_fast=True) == [("int_type", (1,), "int", "'a'")]
    assert not v.is_valid(value)
    assert records(v, (1,)) == [("list_type", (), "list", "(1,)")]


class Whole(int):
    pass


@pytest.mark.parametrize(
    "schema, value, member",
    [
        (list[int], [True, Whole(3), 2**70], True),
        (list[bool], [True, 1], False),
        (tuple[str, ...], ("a", b"b"), False),
        (tuple[bytes, ...], (), True),
        (list[None], [None, None, 0], False),
        (list[typing.Any], [object(), None], True),
        (list[float], [1.0, 1], False),
        (list[Literal[1, 2]], [1, True], False),
    ],
)
def test_sequences_of_atoms(schema, value, member):
    v = Validator(schema)
    assert v.is_valid(value) is member
    if member:
        assert v.validate(value) is None
    else:
        assert len(failure(v, value).errors) == 1


class Text(str):
    pass


class Real(float):
    pass


ATOM_SAMPLES = [None, True, False, 0, 2**70, Whole(3), Color.RED, 1.5, Real(2.5), "", "a", Text("t"), b"b", [], object()]


@pytest.mark.parametrize(
    "element",
    [int | float, Optional[str], Union[bool, None], str | bytes, Union[int, typing.Any], float, bool, Text],
)
def test_items_of_type_tested_sequences_pass_as_they_do_alone(element):
    alone = Validator(element)
    in_list = Validator(list[element])
    in_tuple = Validator(tuple[element, ...])
    for item in ATOM_SAMPLES:
        member = alone.is_valid(item)
        assert in_list.is_valid([item, item]) is member, item
        assert in_tuple.is_valid((item,)) is member, item
        try:
            document = json.dumps([item])
        except TypeError:
            continue
        assert in_list.is_valid_json(document) is alone.is_valid(json.loads(document)[0]), item


@pytest.mark.parametrize(
    "schema, value, code, expected",
    [
        (tuple[int, str], (1,), "tuple_length", "tuple of length 2"),
        (tuple[int, ...], [1], "tuple_type", "tuple"),
        ([int, str, ...], [], "list_length", "list of length at least 1"),
    ],
)
def test_sequence_kind_and_length_records(schema, value, code, expected):
    assert records(Validator(schema), value) == [(code, (), expected, repr(value))]


def test_tuple_prefix_and_rest_and_named_tuples():
    import collections

    v = Validator(tuple[int, str])
    assert v.is_valid((1, "a"))
    assert v.is_valid(collections.namedtuple("Pair", "a b")(1, "a"))
    assert records(v, (1, 2)) == [("string_type", (1,), "str", "2")]
    rest = Validator([int, str, ...])
    assert rest.is_valid([1]) and rest.is_valid([1, "a", "b"])
    assert records(rest, [1, "a", 3]) == [("string_type", (2,), "str", "3")]


def test_list_shortened_during_walk_is_not_read_past_its_end():
    items = []

    class Shrinking:
        def __eq__(self, other):
            del items[1:]
            return True

        __hash__ = object.__hash__

    token = Shrinking()
    items.extend([token, token, token])
    assert Validator(list[token]).is_valid(items)
    assert items == [token]


class Mutating:
    """An item whose repr, made for its record, changes the list being checked."""

    def __init__(self, items, change):
        self.items, self.change = items, change

    def __repr__(self):
        self.change(self.items)
        return "Mutating"


@pytest.mark.parametrize(
    "change, paths",
    [
        (lambda items: None, [(0,), (1,)]),
        (lambda items: items.clear(), [(0,)]),
        (lambda items: items.__delitem__(slice(1, None)), [(0,)]),
        (lambda items: items.extend(["gained"] * 64), [(0,), (1,)]),
        (lambda items: items.__setitem__(2, "swapped"), [(0,), (1,), (2,)]),
        (lambda items: items.__setitem__(1, 1), [(0,)]),
    ],
)
@pytest.mark.parametrize("element", [int, int | None])
def test_list_changed_by_a_record_is_read_as_it_is_now(change, paths, element):
    items = []
    items.extend([Mutating(items, change), "b", 3])
    assert [e["path"] for e in failure(Validator(list[element]), items).errors] == paths


@pytest.mark.parametrize("schema, kind, code, wrong", [
    (set[int], set, "set_type", frozenset({1})),
    (frozenset[int], frozenset, "frozen_set_type", {1}),
])
def test_sets(schema, kind, code, wrong):
    v = Validator(schema)
    assert v.is_valid(kind({1, 2})) and v.is_valid(kind())
    assert records(v, wrong) == [(code, (), kind.__name__, repr(wrong))]
    # A failing element is recorded at the set's own path.
    assert records(v, kind({"a"})) == [("int_type", (), "int", "'a'")]


def _raising_iter(self):
    raise self.error


def _non_iterator(self):
    return 5


def _failing_after_one(self):
    yield 1
    raise self.error


@pytest.mark.parametrize("kind", [set, frozenset])
@pytest.mark.parametrize(
    "iterate, error",
    [(_raising_iter, ValueError), (_non_iterator, None), (_failing_after_one, LookupError)],
    ids=["raising", "non-iterator", "failing-midway"],
)
def test_set_subclass_whose_iteration_fails_is_a_non_member(kind, iterate, error):
    hostile = type("Hostile", (kind,), {"__iter__": iterate, "error": error})
    v = Validator(set[int] if kind is set else frozenset[int])
    assert v.is_valid(hostile({1})) is False
    assert [(e["code"], e["expected"]) for e in failure(v, hostile({1})).errors] == [
        ("set_type" if kind is set else "frozen_set_type", kind.__name__)
    ]


@pytest.mark.parametrize("iterate", [_raising_iter, _failing_after_one])
def test_fatal_error_of_set_iteration_propagates(iterate):
    hostile = type("Hostile", (set,), {"__iter__": iterate, "error": KeyboardInterrupt})
    v = Validator(set[int])
    for call in (v.is_valid, v.validate):
        with pytest.raises(KeyboardInterrupt):
            call(hostile({1}))


@pytest.mark.parametrize("schema, kinds", [(list[int] | int, "list, int"), (int | list[int], "int, list")])
def test_union_reports_the_deepest_member_or_lists_the_kinds(schema, kinds):
    v = Validator(schema)
    assert v.is_valid(1) and v.is_valid([1])
    assert records(v, ["x"]) == [("int_type", (0,), "int", "'x'")]
    assert records(v, 1.5) == [("union_error", (), "one of: " + kinds, "1.5")]


def test_union_ties_go_to_the_earlier_member():
    v = Validator(list[int] | list[str])
    assert records(v, [1.5]) == [("int_type", (0,), "int", "1.5")]


def test_union_diagnosis_stops_after_64_members_but_names_all():
    # Only the 70th member would get deeper; it is beyond the diagnosed ones.
    schema = Union[tuple([Literal[i] for i in range(69)] + [list[int]])]
    error = failure(Validator(schema), ["x"])
    assert error.code == "union_error"
    assert error.expected == "one of: " + ", ".join(["literal"] * 69 + ["list"])


def test_object_attributes():
    import dataclasses

    @dataclasses.dataclass
    class Point:
        x: int
        y: Optional[str]

    v = Validator(Point)
    assert v.is_valid(Point(1, None))
    assert records(v, Point("a", 2)) == [
        ("int_type", ("x",), "int", "'a'"),
        ("union_error", ("y",), "one of: str, None", "2"),
    ]
    assert records(v, 5) == [("instance_type", (), "Point", "5")]

    def raising(error, attribute):
        class Raising(Point):
            def __getattribute__(self, name):
                if name == attribute:
                    raise error
                return super().__getattribute__(name)

        return Raising(1, "a")

    assert records(v, raising(AttributeError, "y")) == [("missing_attribute", ("y",), 'attribute "y"', "missing")]
    with pytest.raises(SystemExit):
        v.validate(raising(SystemExit, "x"))


def test_attribute_names_reach_the_object_as_plain_strs_on_every_check():
    import dataclasses

    seen = []

    @dataclasses.dataclass
    class Named:
        plain: int
        été: int

        def __getattribute__(self, name):
            seen.append(name)
            return object.__getattribute__(self, name)

    single = Validator(Named)
    for validator, value in [(single, Named(1, "x")), (Validator(list[single]), [Named(1, "x")])]:
        for check in (validator.is_valid, validator.is_valid, lambda v: records(validator, v)):
            seen.clear()
            check(value)
            assert seen == ["plain", "été"]
            assert all(type(name) is str for name in seen)


def test_value_of_a_failing_record_is_taken_when_the_failure_is_met():
    class Counter:
        calls = 0

        def __repr__(self):
            Counter.calls += 1
            return "Counter"

    v = Validator(int)
    assert not v.is_valid(Counter())
    assert Counter.calls == 0  # answering builds no value text
    assert records(v, Counter()) == [("int_type", (), "int", "Counter")]


LOW_STACK_CHECK = """
import sys
sys.path.insert(0, {tests!r})
from small_stack import run_on_small_stack
from kestrune import Validator

v = Validator(list[list[int]])
try:
    run_on_small_stack(lambda: v.is_valid([[1]]), 160 * 1024)
except RecursionError:
    print(v.is_valid([[1]]))
"""


def test_low_native_stack_ends_the_check_with_recursion_error():
    # In a fresh process: the C library may hand a new small-stack thread the larger
    # stack of one that has ended, and other tests end such threads.
    script = LOW_STACK_CHECK.format(tests=os.path.dirname(__file__))
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "True"


def test_one_validator_from_eight_threads():
    v = Validator(list[int] | dict[str, int])
    values = [[1, 2], {"a": 1}, ["x"], {"a": "b"}, 5] * 50
    expected = [v.is_valid(x) for x in values]
    results = []
    barrier = threading.Barrier(8)
    fresh = Validator(list[int] | dict[str, int])  # first use happens in the threads

    def run():
        barrier.wait()
        results.append(([fresh.is_valid(x) for x in values], [fresh.validate(x) if fresh.is_valid(x) else
                                                               failure(fresh, x).errors for x in values]))

    threads = [threading.Thread(target=run) for _ in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(results) == 8
    assert all(r == results[0] for r in results)
    assert results[0][0] == expected


needs_recursive = pytest.mark.skipif(not hasattr(kestrune, "recursive"), reason="needs recursive")


def nested(depth):
    value = []
    for _ in range(depth - 1):
        value = [value]
    return value


@needs_recursive
def test_recursion_guard_allows_128_expansions_and_stops_the_129th():
    v = Validator(kestrune.recursive(lambda p: list[p]))
    assert v.is_valid(nested(128))
    assert not v.is_valid(nested(129))
    error = failure(v, nested(129))
    assert (error.code, error.expected) == ("recursion_limit", "at most 128 levels of recursion")
    assert error.path == (0,) * 128


@needs_recursive
def test_self_containing_value_is_a_loop_but_repeated_siblings_are_not():
    v = Validator(kestrune.recursive(lambda p: list[p]))
    loop = []
    loop.append(loop)
    assert records(v, loop) == [("recursion_loop", (0,), "a finite (non-cyclic) value", "[[...]]")]
    inner = []
    assert v.is_valid([inner, inner])


@needs_recursive
@pytest.mark.parametrize(
    "build, value, member, code, expected",
    [
        (lambda: kestrune.complement(int), 5, False, "unexpected_match", "not int"),
        (lambda: kestrune.complement(int), "x", True, None, None),
        (lambda: kestrune.intersection(), object(), True, None, None),
        (lambda: kestrune.union(), 1, False, "union_error", "one of: "),
    ],
)
def test_combinator_kinds(build, value, member, code, expected):
    v = build()
    assert v.is_valid(value) is member
    if not member:
        assert records(v, value) == [(code, (), expected, repr(value))]
