from dataclasses import dataclass
from typing import Optional

import pytest

from kestrune import Validator, anything, complement, intersection, nothing, recursive, union

NOT_CONTRACTIVE = (
    "recursive schema is not contractive: the recursive reference must occur under a structural constructor "
    "(a list, tuple, set, dict, record, or object)"
)


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda: union(), ""),
        (lambda: intersection(), "intersection()"),
        (lambda: union(int, str), "int | str"),
        (lambda: intersection(int, str), "intersection(int, str)"),
        (lambda: complement(int), "complement(int)"),
        (lambda: complement(schema=union(int, str)), "complement(int | str)"),
        (lambda: union(complement(int), 5), "complement(int) | Literal[5]"),
        (lambda: union(int, int), "int | int"),
    ],
)
def test_combinators_add_one_node_over_the_compiled_arguments(build, text):
    assert repr(build()) == text


@pytest.mark.parametrize(
    "left, right",
    [
        (lambda: union(int), lambda: Validator(int)),
        (lambda: intersection(int), lambda: Validator(int)),
        (lambda: union(union(int, str), bytes), lambda: union(int, str, bytes)),
        (lambda: union(int, int), lambda: union(int)),
        (lambda: complement(complement(int)), lambda: Validator(int)),
        (lambda: union(int, str), lambda: intersection(int, str)),
    ],
)
def test_nothing_is_flattened_unwrapped_or_deduplicated(left, right):
    assert left() != right()


def test_embedded_validators_keep_their_own_structure():
    inner = union(int, str)
    assert union(inner, bytes) == union(union(int, str), bytes)
    assert union(object) == union(anything)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: union(x=int), "union() got an unexpected keyword argument 'x'"),
        (lambda: intersection(int, y=str), "intersection() got an unexpected keyword argument 'y'"),
        (lambda: complement(), "complement() missing 1 required positional argument: 'schema'"),
        (lambda: complement(int, str), "complement() takes 1 positional arguments but 2 were given"),
        (lambda: complement(int, schema=str), "complement() got multiple values for argument 'schema'"),
        (lambda: recursive(), "recursive() missing 1 required positional argument: 'builder'"),
        (lambda: recursive(lambda p: p, f=1), "recursive() got an unexpected keyword argument 'f'"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("combine", [union, intersection])
def test_the_first_failing_argument_decides_and_later_ones_are_not_looked_at(combine):
    class Probe:
        touched = False

        def __getattr__(self, name):
            Probe.touched = True
            raise AttributeError(name)

    with pytest.raises(NotImplementedError, match="a tuple literal is not a schema"):
        combine(int, (1, 2), Probe())
    assert not Probe.touched


def test_compile_errors_propagate_unchanged():
    with pytest.raises(NotImplementedError, match="a set literal is not a schema"):
        complement({1})
    with pytest.raises(NotImplementedError, match="a tuple literal is not a schema"):
        recursive(lambda p: (p,))


@pytest.mark.parametrize(
    "builder",
    [
        lambda p: p,
        lambda p: p | int,
        lambda p: int | p,
        lambda p: union(p),
        lambda p: intersection(int, p),
        lambda p: complement(p),
        lambda p: complement(union(str, complement(p))),
    ],
)
def test_a_self_reference_outside_every_constructor_is_rejected(builder):
    with pytest.raises(ValueError) as info:
        recursive(builder)
    assert str(info.value) == NOT_CONTRACTIVE


@pytest.mark.parametrize(
    "builder, text, same_as",
    [
        (lambda p: int, "int", int),
        (lambda p: 5, "Literal[5]", 5),
        (lambda p: union(int, str), "int | str", union(int, str)),
        (lambda p: anything, "anything", anything),
    ],
)
def test_a_body_without_self_reference_becomes_the_only_definition(builder, text, same_as):
    v = recursive(builder)
    assert repr(v) == text
    # The root is a back edge to that definition, so it is not the bare schema...
    assert v != Validator(same_as)
    # ...and binding leaves no placeholder id behind: every build is equal.
    assert v == recursive(builder) and hash(v) == hash(recursive(builder))


def test_builder_receives_a_placeholder_it_may_keep():
    kept = []

    def builder(p):
        kept.append(p)
        return int

    recursive(builder)
    (placeholder,) = kept
    assert type(placeholder) is Validator
    assert repr(placeholder) == "..."
    assert repr(placeholder | int) == "... | int"


def test_each_call_gets_a_fresh_placeholder():
    kept = []
    recursive(lambda p: kept.append(p) or int)
    recursive(lambda p: kept.append(p) or int)
    first, second = kept
    assert first == first.__copy__()
    assert first != second


def test_an_outer_placeholder_inside_embedded_definitions_stays_unbound():
    # The inner call binds only its own placeholder; the outer one reaches the outer
    # body only inside the inner validator's definitions and is left in place.
    def outer(p):
        return recursive(lambda q: p)

    v = recursive(outer)
    assert repr(v) == "..."
    assert v != recursive(outer)


class Boom(Exception):
    pass


def raising_builder(p):
    raise Boom("from the builder")


@pytest.mark.parametrize(
    "builder, error",
    [(5, TypeError), (raising_builder, Boom), (lambda: int, TypeError)],
)
def test_builder_failures_propagate(builder, error):
    with pytest.raises(error):
        recursive(builder)


def test_module_functions_are_static_builtins():
    for function, signature in [
        (union, "(*schemas)"),
        (intersection, "(*schemas)"),
        (complement, "(schema)"),
        (recursive, "(builder)"),
    ]:
        assert function.__self__ is None
        assert function.__module__ == "kestrune._kestrune"
        assert function.__text_signature__ == signature
        assert function.__doc__.strip()


def linked_cell(p):
    @dataclass
    class Cell:
        head: int
        tail: p

    return union(None, Cell)


@pytest.mark.parametrize(
    "builder, text",
    [
        (lambda p: list[p], "list[...]"),
        (lambda p: list[p] | int, "list[...] | int"),
        (lambda p: Optional[list[p]], "list[...] | None"),
        (lambda p: set[p], "set[...]"),
        (lambda p: frozenset[p], "frozenset[...]"),
        (lambda p: dict[str, p], "dict[str, ...]"),
        (lambda p: dict[p, int], "dict[..., int]"),
        (lambda p: {"next": p}, "{'next': ...}"),
        (lambda p: [p, int], "[..., int]"),
        (lambda p: complement(list[p]), "complement(list[...])"),
        (linked_cell, "None | Cell"),
    ],
)
def test_a_self_reference_under_a_constructor_is_accepted(builder, text):
    v = recursive(builder)
    assert repr(v) == text
    if builder is not linked_cell:  # each call defines a new class
        assert v == recursive(builder) and hash(v) == hash(recursive(builder))


def test_the_body_is_bound_after_the_definitions_it_embeds():
    items = recursive(lambda p: list[p] | int)
    tree = recursive(lambda p: dict[str, union(p, items)])
    assert repr(tree) == "dict[str, ... | list[...] | int]"
    # Embedding the finished validator again reuses nothing of the first binding.
    assert repr(recursive(lambda q: list[tree])) == "list[dict[str, ... | list[...] | int]]"
    assert tree == recursive(lambda p: dict[str, union(p, items)])
