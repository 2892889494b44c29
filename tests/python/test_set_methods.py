import dataclasses
import os
import subprocess
import sys
import time
import typing
from types import SimpleNamespace as Meta
from typing import Annotated, Any, Literal, Optional

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kestrune import Validator, anything, complement, intersection, nothing, recursive, union


class A:
    pass


class B(A):
    pass


class Hooked(type):
    def __subclasscheck__(cls, other):
        raise KeyboardInterrupt


class Guarded(metaclass=Hooked):
    pass


@dataclasses.dataclass
class P:
    x: int


@dataclasses.dataclass
class Q:
    x: int


@pytest.mark.parametrize(
    "validator, empty",
    [
        (anything, False),
        (nothing, True),
        (union(), True),
        (intersection(), False),
        (intersection(int, str), True),
        (intersection(bool, int), False),
        (Validator(Annotated[int, Meta(gt=2, lt=3)]), True),
        (Validator(Annotated[float, Meta(gt=2, lt=3)]), False),
        (Validator(Annotated[int, Meta(gt="a", lt=3)]), False),
        (Validator(tuple[int, intersection(int, str)]), True),
        (Validator({"a": intersection(int, str)}), True),
        (Validator({"a?": intersection(int, str)}), False),
        (recursive(lambda self: list[self]), False),
    ],
)
def test_is_empty(validator, empty):
    assert validator.is_empty() is empty


@pytest.mark.parametrize(
    "lhs, rhs, included",
    [
        (bool, int, True),
        (int, bool, False),
        (int, Any, False),
        (Any, object, True),
        (list[bool], list[int], True),
        (Literal[5], Annotated[int, Meta(gt=0)], True),
        (Literal[5], Annotated[int, Meta(gt=10)], False),
        (Literal[True], int, True),
        (Literal[1.0], int, False),
        (B, A, True),
        (A, B, False),
        (Guarded, A, False),
        (P, Q, False),
        (Optional[int], int | None | str, True),
        (complement(list[bool]), complement(list[int]), False),
        (complement(list[int]), complement(list[bool]), True),
        (complement({"a": bool}), complement({"a": int}), False),
        (complement({"a": int}), complement({"a": bool}), True),
        (complement(recursive(lambda self: int | list[self])), complement(recursive(lambda self: int | float | list[self])), False),
        (complement(recursive(lambda self: int | float | list[self])), complement(recursive(lambda self: int | list[self])), True),
    ],
)
def test_is_subtype_of(lhs, rhs, included):
    assert Validator(lhs).is_subtype_of(rhs) is included


def test_recursive_schemas_are_decided_co_inductively():
    ints = recursive(lambda self: int | list[self])
    numbers = recursive(lambda self: int | float | list[self])
    assert ints.is_subtype_of(numbers)
    assert not numbers.is_subtype_of(ints)


def test_is_equivalent():
    assert Validator(int).is_equivalent(bool | int)
    assert not Validator(list[int]).is_equivalent(tuple[int, ...])
    assert Validator({"a": int}).is_equivalent(Validator({"a": int}))


def test_compile_errors_of_other_are_raised():
    v = Validator(int)
    with pytest.raises(NotImplementedError):
        v.is_subtype_of(typing.ClassVar[int])
    with pytest.raises(NotImplementedError):
        v.is_equivalent(typing.ClassVar[int])
    assert v == Validator(int)


def test_simplify_open_and_close():
    assert union(int, str, int).simplify() == Validator(int | str)
    assert complement(complement(int)).simplify() == Validator(int)
    opened = Validator({"a": int}).open()
    assert opened.is_valid({"a": 1, "b": "x"}) and not Validator({"a": int}).is_valid({"a": 1, "b": "x"})
    assert opened.close() == Validator({"a": int})
    body = recursive(lambda self: {"a": list[self]})
    assert body.close() == body and body.open() == body


def test_a_decision_beyond_the_budget_gives_up_in_time():
    # Wide unions of distinct records make inclusion try every pairing.
    def records(n, extra):
        return union(*[Validator({f"k{i}": int, f"m{j}": str, **extra}) for i in range(n) for j in range(n)])

    lhs, rhs = records(30, {"x": int}), records(30, {"y": int})
    start = time.perf_counter()
    assert lhs.is_subtype_of(rhs) is False
    assert time.perf_counter() - start < 2.0


atoms = st.sampled_from([int, str, bool, float, type(None), bytes, Literal[1], Literal["a"], Literal[True]])


def build(tree):
    if not isinstance(tree, tuple):
        return Validator(tree)
    op, parts = tree
    if op == "complement":
        return complement(build(parts[0]))
    return (union if op == "union" else intersection)(*[build(p) for p in parts])


trees = st.recursive(
    atoms,
    lambda children: st.tuples(st.sampled_from(["union", "intersection"]), st.lists(children, max_size=3))
    | st.tuples(st.just("complement"), st.lists(children, min_size=1, max_size=1)),
    max_leaves=6,
)

samples = [0, 1, -1, True, False, 1.0, 0.5, "a", "", b"", None, [], {}, 2**70]


@settings(max_examples=150, deadline=None)
@given(trees)
def test_simplify_keeps_the_set(tree):
    v = build(tree)
    s = v.simplify()
    assert [s.is_valid(x) for x in samples] == [v.is_valid(x) for x in samples]
    assert s.simplify() == s


def test_decisions_on_trees_deeper_than_the_stack():
    from small_stack import run_on_small_stack

    v = Validator(Literal[5])
    for _ in range(3000):
        v = v | None
    # The decision continues on a fresh stack where the leaf questions cannot be put to
    # the interpreter: it answers without a proof instead of crashing.
    assert run_on_small_stack(lambda: v.is_subtype_of(int | None), 512 * 1024) in (True, False)


# Once a sub-interpreter has existed, the interpreter answers "does this thread hold
# the GIL?" with yes on every thread; a leaf question asked from the fresh stack must
# still stay undecided rather than run Python code there. Each decision below puts one
# kind of leaf question (a predicate, a comparison of Python-level bounds, integer
# rounding) at the bottom of a tree deeper than the stack.
AFTER_A_SUB_INTERPRETER = """
import _interpreters
import sys
from types import SimpleNamespace as Meta
from typing import Annotated, Literal

sys.path.insert(0, {tests!r})
from small_stack import run_on_small_stack
from kestrune import Validator, nothing

_interpreters.destroy(_interpreters.create())


class Bound:
    def __init__(self, n):
        self.n = n

    def __eq__(self, other):
        return self.n == other.n

    def __lt__(self, other):
        return self.n < other.n

    def __gt__(self, other):
        return self.n > other.n

    __hash__ = object.__hash__


def deep(v, member=None):
    for _ in range(3000):
        v = v | member
    return v


print(run_on_small_stack(lambda: {decision}, 512 * 1024))
"""


@pytest.mark.parametrize(
    "decision",
    [
        "deep(Validator(Literal[5])).is_subtype_of(Annotated[int, lambda x: x > 0] | None)",
        "deep(Validator(Annotated[int, Meta(gt=Bound(5))])).is_subtype_of(Annotated[int, Meta(ge=Bound(5))] | None)",
        "deep(Validator(Annotated[int, Meta(gt=2, lt=3)]), nothing).is_empty()",
    ],
    ids=["predicate", "bounds", "rounding"],
)
def test_deep_decisions_after_a_sub_interpreter_run_no_python_on_the_fresh_stack(decision):
    script = AFTER_A_SUB_INTERPRETER.format(tests=os.path.dirname(__file__), decision=decision)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() in ("True", "False")
