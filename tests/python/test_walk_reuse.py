"""Recursive unions answer in work bounded by value times schema, and reusing walks
changes nothing a caller sees: verdicts, records and every call of the caller's code
are those of the walk that reuses nothing."""

import copy
import enum
import json
from typing import Annotated, Literal

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from walk_probe import load_walk_probe

# The test-only variant of the native module, whose switch turns reuse off.
probe = load_walk_probe()
ValidationError, intersection, recursive, union = probe.ValidationError, probe.intersection, probe.recursive, probe.union
walk_test_hook = probe._walk_test_hook


@pytest.fixture(autouse=True)
def reuse_back_on():
    yield
    walk_test_hook(True)


def tagged_tree():
    return recursive(
        lambda p: union({"child": p, "kind": Literal["x"]}, {"child": p, "kind": Literal["y"]}, None)
    )


def chain(depth, kind):
    value = None
    for _ in range(depth):
        value = {"child": value, "kind": kind}
    return value


def expansions(call):
    """The definitions a call expanded, with its outcome."""
    walk_test_hook(True)
    try:
        outcome = call()
    except ValidationError as error:
        outcome = len(error.errors)
    return walk_test_hook(True), outcome


ENTRY_POINTS = [
    ("is_valid", lambda v, value: v.is_valid(value)),
    ("in", lambda v, value: value in v),
    ("validate", lambda v, value: v.validate(value)),
    ("validate fail_fast", lambda v, value: v.validate(value, fail_fast=True)),
    ("ensure", lambda v, value: v.ensure(value) is value),
    ("is_valid_json", lambda v, value: v.is_valid_json(json.dumps(value))),
    ("validate_json", lambda v, value: v.validate_json(json.dumps(value))),
    ("load", lambda v, value: v.load(json.dumps(value).encode()) == value),
]


@pytest.mark.parametrize("name, call", ENTRY_POINTS, ids=[name for name, _ in ENTRY_POINTS])
@pytest.mark.parametrize("kind", ["y", "z"])
def test_work_on_tagged_chains_grows_linearly_with_depth(name, call, kind):
    # Without reuse each level doubles the expansions; JSON documents nest at most
    # 200 deep and the guard allows 128 expansions, so depth 120 stays inside both.
    v = tagged_tree()
    counts = {}
    for depth in (60, 120):
        counts[depth], outcome = expansions(lambda: call(v, chain(depth, kind)))
        assert outcome in ((True, None) if kind == "y" else (False, depth))
    assert counts[120] <= 2 * counts[60] + 40
    assert counts[120] <= 20 * 120


def both_lists():
    return recursive(lambda p: intersection(list[p], list[p]))


def nested(depth, innermost):
    value = innermost
    for _ in range(depth):
        value = [value]
    return value


@pytest.mark.parametrize("name, call", ENTRY_POINTS[:6], ids=[name for name, _ in ENTRY_POINTS[:6]])
def test_work_on_members_of_recursive_intersections_grows_linearly(name, call):
    # Both members walk every item: without reuse each level doubles the work,
    # also when validating, which walks a member as it answers.
    v = both_lists()
    counts = {depth: expansions(lambda: call(v, nested(depth, [])))[0] for depth in (10, 20)}
    assert counts[20] <= 2 * counts[10] + 40


def test_chains_past_the_recursion_limit_stay_linear():
    v = tagged_tree()
    for kind in "yz":
        count, records = expansions(lambda: v.validate(chain(1000, kind)))
        assert records == 129
        assert count <= 20 * 130


def deep_second():
    return recursive(lambda p: union({"b": int}, {"a": p, "k": Literal["x"]}, None))


CASES = [
    # Members tie: the earlier one reports.
    (tagged_tree, chain(12, "z")),
    (tagged_tree, {"child": chain(5, "x"), "kind": "y", "extra": 1}),
    # The later member reaches deeper only through the union below it.
    (deep_second, {"a": {"a": {"z": 1}, "k": "x"}, "k": "x"}),
    (deep_second, {"a": {"a": {"a": None, "k": "y"}, "k": "x"}, "k": "x"}),
    (lambda: recursive(lambda p: union(list[p], {"n": p}, int)), [[{"n": [1, "s"]}], {"n": {"n": "t"}}]),
    # Records of both members, from every level.
    (both_lists, nested(5, ["x", 1])),
    (both_lists, nested(5, [[], [[1]], 2, []])),
]


@pytest.mark.parametrize("make, value", CASES)
def test_records_are_those_of_the_walk_without_reuse(make, value):
    v = make()
    for call in (v.is_valid, v.validate, lambda value: v.validate(value, fail_fast=True)):
        outcomes = []
        for reuse in (False, True):
            walk_test_hook(reuse)
            outcomes.append(observe(lambda: call(value)))
        assert outcomes[1] == outcomes[0]


def test_without_reuse_the_same_chain_doubles_per_level():
    # The hook really switches reuse off: the property below compares two walks.
    v = tagged_tree()
    walk_test_hook(False)
    assert v.is_valid(chain(12, "y"))
    walk_test_hook(True)
    assert walk_test_hook(True) == 0  # nothing is counted without reuse
    count, _ = expansions(lambda: v.is_valid(chain(12, "y")))
    assert count == 25


# Code of the caller's that records its calls: predicates, __eq__, __instancecheck__
# and __repr__.
LOG = []


class Tag(enum.Enum):
    X = "x"
    Y = "y"

    def __eq__(self, other):
        LOG.append(("eq", self.value, getattr(other, "value", None)))
        return self is other

    __hash__ = enum.Enum.__hash__


class Checked(type):
    def __instancecheck__(cls, obj):
        LOG.append(("isinstance", type(obj).__name__))
        return isinstance(obj, Box)


class Box:
    def __init__(self, n):
        self.n = n

    def __repr__(self):
        LOG.append(("repr", self.n))
        return f"Box({self.n})"


class BoxLike(metaclass=Checked):
    pass


def even(value):
    LOG.append(("even", value if isinstance(value, int) else type(value).__name__))
    if isinstance(value, int) and value % 5 == 4:
        raise ValueError("four")
    return isinstance(value, int) and value % 2 == 0


# The lists of the value under test, which `grow` changes behind the walk's back.
LISTS = []


def grow(value):
    LOG.append(("grow", len(LISTS)))
    for item in LISTS:
        item.append("z")
    return False


LEAVES = [
    int,
    str,
    None,
    Literal["x"],
    Literal["y"],
    Literal[Tag.X],
    BoxLike,
    Annotated[int, even],
    Annotated[object, grow],
    list[int],
]

schema_shapes = st.recursive(
    st.one_of(st.sampled_from(LEAVES).map(lambda leaf: ("leaf", leaf)), st.just(("self",))),
    lambda inner: st.one_of(
        st.lists(inner, min_size=1, max_size=3).map(lambda members: ("union", members)),
        st.tuples(inner, inner).map(lambda fields: ("record", fields)),
        inner.map(lambda item: ("list", item)),
    ),
    max_leaves=8,
)


def build(shape, p):
    if shape[0] == "leaf":
        return shape[1]
    if shape[0] == "self":
        return p
    if shape[0] == "union":
        return union(*(build(member, p) for member in shape[1]))
    if shape[0] == "record":
        return {"a": build(shape[1][0], p), "b": build(shape[1][1], p)}
    return list[build(shape[1], p)]


scalars = st.sampled_from([None, 0, 1, 2, 4, "x", "y", "z", True, Tag.X, Tag.Y, Box(1), Box(2)])


@st.composite
def values(draw):
    """Trees over dicts and lists that share parts and, sometimes, contain themselves."""
    made = []

    def remember(value):
        made.append(value)
        return value

    earlier = st.integers(0, 1000).map(lambda i: made[i % len(made)] if made else None)
    tree = draw(
        st.recursive(
            scalars,
            lambda inner: st.one_of(
                st.fixed_dictionaries({"a": inner, "b": inner}, optional={"c": inner}).map(remember),
                st.lists(inner, max_size=3).map(remember),
                earlier,
            ),
            max_leaves=12,
        )
    )
    lists = [item for item in made if isinstance(item, list)]
    if lists and draw(st.integers(0, 4)) == 0:
        draw(st.sampled_from(lists)).append(tree)
    return tree, lists


def observe(call):
    """The outcome of a call and the calls of the caller's code it made."""
    del LOG[:]
    try:
        outcome = ("returned", call())
    except ValidationError as error:
        outcome = ("raised", [(e["code"], e["path"], e["expected"], e["value"]) for e in error.errors])
    except Exception as error:  # noqa: BLE001 - any other outcome must match too
        outcome = ("raised", type(error).__name__)
    return outcome, list(LOG)


def test_a_value_changed_by_a_predicate_is_walked_again():
    # The first member finds `a` ([1]) a member, then `grow` appends "z" to it: the
    # second member must walk [1, "z"] again, not take the first walk's verdict.
    v = recursive(lambda p: union({"a": p, "b": Annotated[object, grow]}, {"a": p, "b": int}, list[int]))
    for call in (v.is_valid, v.validate):
        outcomes = []
        for reuse in (False, True):
            walk_test_hook(reuse)
            LISTS[:] = [[1]]
            outcomes.append(observe(lambda: call({"a": LISTS[0], "b": 0})))
        assert outcomes[1] == outcomes[0]
        assert outcomes[0][0] != ("returned", True)


def json_text(value):
    try:
        return json.dumps(value)
    except (TypeError, ValueError):
        return None


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(schema_shapes, values())
def test_reuse_changes_no_verdict_record_or_call(shape, made):
    try:
        v = recursive(lambda p: build(shape, p))
    except (ValueError, NotImplementedError, TypeError):
        return  # a body that is not contractive, or not a schema
    text = json_text(made[0])
    calls = [
        lambda value: v.is_valid(value),
        lambda value: v.validate(value),
        lambda value: v.validate(value, fail_fast=True),
    ]
    if text is not None:
        calls.append(lambda value: v.is_valid_json(text))
    for call in calls:
        outcomes = []
        for reuse in (False, True):
            # Each walk gets its own copy: `grow` changes the value it walks.
            value, LISTS[:] = copy.deepcopy(made)
            walk_test_hook(reuse)
            outcomes.append(observe(lambda: call(value)))
        assert outcomes[1] == outcomes[0]


