import copy
import operator
import threading

import pytest

from kestrune import Validator, anything, complement, intersection, nothing, recursive, union
from small_stack import run_on_small_stack


def test_worked_hash_values():
    assert hash(anything) == 8556445246977061536
    assert hash(Validator(int)) == -919969618110616173


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (lambda: Validator(int), lambda: Validator(int), True),
        (lambda: Validator(1), lambda: Validator(1.0), True),
        (lambda: Validator(1), lambda: Validator(2), False),
        (lambda: union(1, 2), lambda: union(2, 1), False),
        (lambda: union(int, str), lambda: union(str, int), False),
        (lambda: union(1, 2), lambda: union(1, 2), True),
        (lambda: anything, lambda: Validator(object), True),
        (lambda: nothing, lambda: union(), False),
        (lambda: Validator(int) | 5, lambda: union(int, 5), True),
        (lambda: 5 | Validator(int), lambda: union(5, int), True),
    ],
)
def test_equality_is_structural_with_constants_compared_by_value(left, right, equal):
    a, b = left(), right()
    assert (a == b) is equal and (b == a) is equal
    assert (a != b) is not equal
    if equal:
        assert hash(a) == hash(b)


def test_constants_are_not_hashed():
    assert Validator(1) != Validator(2)
    assert hash(Validator(1)) == hash(Validator(2))


class EqualsRaises:
    def __init__(self, error):
        self.error = error
        self.calls = 0

    def __eq__(self, other):
        self.calls += 1
        raise self.error

    __hash__ = object.__hash__


class Falsy:
    def __bool__(self):
        raise KeyboardInterrupt


class EqualsFalsy:
    def __eq__(self, other):
        return Falsy()

    __hash__ = object.__hash__


@pytest.mark.parametrize("make", [lambda: EqualsRaises(KeyboardInterrupt), lambda: EqualsRaises(ValueError("x")),
                                  EqualsFalsy])
def test_a_failing_constant_comparison_counts_as_unequal_and_is_cleared(make):
    a, b = Validator(make()), Validator(make())
    assert (a == b) is False
    # No exception was left behind for a later call to trip over.
    assert (Validator(int) == Validator(int)) is True


def test_identical_constants_and_differing_trees_never_compare_constants():
    constant = EqualsRaises(KeyboardInterrupt)
    v = union(constant, int)
    assert v == v and v == union(constant, int)
    assert union(EqualsRaises(KeyboardInterrupt), int) != union(EqualsRaises(KeyboardInterrupt), str)
    assert constant.calls == 0


def test_constants_after_the_first_difference_are_not_compared():
    late = EqualsRaises(KeyboardInterrupt)
    assert union(1, late) != union(2, EqualsRaises(KeyboardInterrupt))
    assert late.calls == 0


def test_comparison_with_other_objects():
    v = Validator(int)

    class Eager:
        def __eq__(self, other):
            return True

    assert (v == 5) is False and (5 == v) is False and (v != 5) is True
    # The validator answers first and never defers to the other operand.
    assert (v == Eager()) is False


def test_not_equal_raises_what_the_generic_comparison_raises():
    class Raising:
        def __eq__(self, other):
            raise LookupError("from __eq__")

    with pytest.raises(LookupError):
        Raising() != Validator(int)  # noqa: B015 - the reflected == of the other operand


@pytest.mark.parametrize("compare", [operator.lt, operator.le, operator.gt, operator.ge])
def test_ordering_is_refused(compare):
    with pytest.raises(TypeError):
        compare(Validator(int), Validator(str))
    with pytest.raises(TypeError):
        compare(Validator(int), 5)


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda v: v | int, "str | int"),
        (lambda v: int | v, "int | str"),
        (lambda v: v | 5, "str | Literal[5]"),
        (lambda v: 5 | v, "Literal[5] | str"),
        (lambda v: v | None, "str | None"),
        (lambda v: v | union(int, bytes), "str | int | bytes"),
        (lambda v: v | v, "str | str"),
    ],
)
def test_or_is_a_two_member_union_in_operand_order(build, text):
    v = Validator(str)
    result = build(v)
    assert repr(result) == text
    assert repr(v) == "str"


def test_or_with_another_union_nests_instead_of_flattening():
    v = Validator(str)
    assert v | union(int, bytes) == union(str, union(int, bytes))
    assert v | union(int, bytes) != union(str, int, bytes)


def test_or_interns_after_the_validators_own_constants():
    one, two = object(), object()
    v = union(one, two)
    # `two` keeps its index and only the new constant is appended.
    assert v | two == union(union(one, two), two)
    assert v | 3 == union(union(one, two), 3)
    assert v | 3 != union(union(one, two), 4)


def test_or_raises_the_compile_error_of_the_other_operand():
    with pytest.raises(NotImplementedError, match="a tuple literal is not a schema"):
        Validator(int) | (1, 2)
    with pytest.raises(NotImplementedError, match="a set literal is not a schema"):
        {1} | Validator(int)


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda v: v.__deepcopy__(None),
                                       lambda v: v.__deepcopy__(_memo={})])
def test_copies_are_new_equal_validators_sharing_the_pool(duplicate):
    constant = object()
    v = union(int, constant, complement(str))
    w = duplicate(v)
    assert w is not v and type(w) is Validator
    assert w == v and hash(w) == hash(v) and repr(w) == repr(v)
    # The copy's pooled object is the very same one: equality holds by identity
    # and `|` interns the shared object at its existing index.
    assert w | constant == v | constant


def test_deepcopy_requires_its_memo():
    with pytest.raises(TypeError) as info:
        Validator(int).__deepcopy__()
    assert str(info.value) == "Validator.__deepcopy__() missing 1 required positional argument: '_memo'"
    with pytest.raises(TypeError):
        Validator(int).__copy__(None)


class Named:
    def __repr__(self):
        return "Named()"


def test_copies_outlive_their_source():
    v = union(Named(), union(tuple, int))
    w = copy.copy(v)
    del v
    assert repr(w) == "Literal[Named()] | tuple | int"


def build_deep_tree(depth):
    v = Validator(int)
    for level in range(depth):
        v = complement(v) if level % 2 else v | None
    return v


@pytest.fixture(scope="module")
def deep_tree():
    # Every level copies the whole tree so far, so the build is quadratic; a thread
    # with a small stack below makes this depth reach the stack limit all the same.
    return build_deep_tree(4000)


def run_small(body):
    return run_on_small_stack(body, 512 * 1024)


def test_deep_trees_hash_compare_copy_and_free(deep_tree):
    def body():
        twin = copy.deepcopy(deep_tree)
        wider = deep_tree | str
        answers = (hash(twin) == hash(deep_tree), twin == deep_tree, wider != deep_tree, hash(wider) != -1)
        del twin, wider
        return answers

    assert run_small(body) == (True, True, True, True)


def test_a_deep_tree_cannot_be_rendered_on_a_small_stack(deep_tree):
    with pytest.raises(RecursionError):
        run_small(lambda: repr(deep_tree))
    assert run_small(lambda: repr(build_deep_tree(3))) == "complement(int | None) | None"


def test_validators_compare_and_hash_from_many_threads():
    shared = union(1, complement(str), intersection(int, 2.5))
    expected = (hash(shared), True)
    barrier = threading.Barrier(8)
    answers = []

    def worker():
        barrier.wait()
        answers.append((hash(shared), shared == copy.copy(shared)))

    threads = [threading.Thread(target=worker) for _ in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert answers == [expected] * 8


def test_or_appends_the_other_operands_definitions_after_its_own():
    items = recursive(lambda p: list[p])
    members = recursive(lambda p: set[p] | int)
    both = items | members
    assert repr(both) == "list[...] | set[...] | int"
    assert both == union(items, members) and both != union(members, items)
    assert repr(members | items) == "set[...] | int | list[...]"
