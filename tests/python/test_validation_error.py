import sys
from types import SimpleNamespace as Meta
from typing import Annotated

import pytest
from hypothesis import given
from hypothesis import strategies as st

from kestrune import ValidationError, Validator
from walk_helpers import failure


def test_one_failure_at_the_root():
    error = failure(Validator(int), "a")
    assert str(error) == error.message == "expected int, got 'a' [int_type]"
    assert error.args == ("expected int, got 'a' [int_type]",)
    assert (error.code, error.expected, error.value, error.path) == ("int_type", "int", "'a'", ())


def test_several_failures_give_one_line_each_and_the_attributes_describe_the_first():
    error = failure(Validator(list[int]), [1, "a", None])
    assert str(error) == (
        "2 validation errors:\n"
        "at [1]: expected int, got 'a' [int_type]\n"
        "at [2]: expected int, got None [int_type]"
    )
    assert error.message == "at [1]: expected int, got 'a' [int_type]"
    assert error.path == (1,)
    assert [e["path"] for e in error.errors] == [(1,), (2,)]


def test_error_dicts_list_their_keys_in_order_with_fresh_paths():
    error = failure(Validator({"a": {"b": list[int]}}), {"a": {"b": [0, 0, 0, "x"]}})
    (entry,) = error.errors
    assert list(entry) == ["code", "path", "message", "expected", "value"]
    assert entry["path"] == error.path == ("a", "b", 3)
    assert type(entry["path"][2]) is int
    assert entry["path"] is not error.path
    assert entry["message"] == "at a.b[3]: expected int, got 'x' [int_type]"


# Consecutive records share the leading steps of their paths: each dict still gets
# its own tuple, with exactly its own steps.
@pytest.mark.parametrize(
    "schema, value, paths",
    [
        ({"a": list[int]}, {"a": ["x", "y"]}, [("a", 0), ("a", 1)]),
        ({"a": {"b": int, "c": int}, "d": {"b": int}}, {"a": {"b": "1", "c": "2"}, "d": {"b": "3"}},
         [("a", "b"), ("a", "c"), ("d", "b")]),
        (list[list[int]], [["x", "y"], ["z"]], [(0, 0), (0, 1), (1, 0)]),
        ({"a": list[int], "b": int}, {"a": ["x"], "b": "y"}, [("a", 0), ("b",)]),
        ({"a": {"b": int}, "c": int}, {"a": {"b": "x"}, "c": "y"}, [("a", "b"), ("c",)]),
    ],
)
def test_paths_of_consecutive_records(schema, value, paths):
    error = failure(Validator(schema), value)
    assert [e["path"] for e in error.errors] == paths
    assert error.path == paths[0] and error.path is not error.errors[0]["path"]
    assert len({id(e["path"]) for e in error.errors}) == len(paths)
    assert [type(step) for e in error.errors for step in e["path"]] == [type(s) for p in paths for s in p]


@pytest.mark.parametrize(
    "schema, value, line",
    [
        # Keys are written raw, so a key holding "." reads like two steps.
        ({"x": {"a.b": int}}, {"x": {"a.b": "1"}}, "at x.a.b: expected int, got '1' [int_type]"),
        (list[{"x": int}], [{"x": 1}, {"y": 1, "x": 1}], "at [1].y: expected no unexpected key, got \"y\" [extra_forbidden]"),
        (list[list[int]], [[0], [0, None]], "at [1][1]: expected int, got None [int_type]"),
        ({"": {"a": int}}, {"": {"a": None}}, "at a: expected int, got None [int_type]"),
        ({"": int}, {"": None}, "expected int, got None [int_type]"),
    ],
)
def test_path_texts(schema, value, line):
    assert failure(Validator(schema), value).message == line


class Repr:
    def __init__(self, text):
        self.text = text

    def __repr__(self):
        return self.text


class Loud(str):
    def __str__(self):
        raise ValueError("no")


class RaisingRepr:
    def __init__(self, error):
        self.error = error

    def __repr__(self):
        raise self.error


@pytest.mark.parametrize(
    "text, shown",
    [
        ("x" * 80, "x" * 80),
        ("x" * 81, "x" * 80 + "..."),
        ("\u00e9" * 81, "\u00e9" * 80 + "..."),
        ("\U0001f600" * 40, "\U0001f600" * 40),
        ("a\ud800b", "a\ufffd\ufffd\ufffdb"),
    ],
)
def test_value_texts_are_cut_by_characters(text, shown):
    assert failure(Validator(int), Repr(text)).value == shown


def cut_repr(value):
    text = repr(value)
    return text if len(text) <= 80 else text[:80] + "..."


class Text(str):
    def __repr__(self):
        return "Text()"


class Number(int):
    def __repr__(self):
        return "Number()"


# The value texts of built-in scalars are made natively: they must be repr's texts,
# quotes, escapes and the cut included, and subclasses keep their own repr.
@pytest.mark.parametrize(
    "value",
    [
        None, True, False, 0, -1, 2**63 - 1, -(2**63), 2**63, -(2**63) - 1, 10**100,
        0.0, -0.0, 1.5, 1e16, 1e-7, 123456789.125, float("inf"), -float("inf"), float("nan"),
        "", "'", '"', "it's", 'say "hi"', "it's \"both\"", "back\\slash", "\t\n\r\x00\x1f\x7f ~",
        "x" * 78, "x" * 79, "x" * 1000, "\n" * 39, "\n" * 40, "a" * 78 + "\x01", "'" * 79 + '"',
        "caf\u00e9", "\u00e9" * 81, "\u200b", Text("sub"), Number(7),
    ],
)
def test_scalar_value_texts_are_their_cut_repr(value):
    assert failure(Validator(bytes), value).value == cut_repr(value)


@given(st.text(alphabet=st.characters(max_codepoint=127)) | st.integers() | st.floats())
def test_scalar_value_texts_match_repr(value):
    assert failure(Validator(bytes), value).value == cut_repr(value)


@pytest.mark.parametrize("error", [ValueError("no"), KeyboardInterrupt()])
def test_a_raising_repr_is_unrepresentable_and_the_check_goes_on(error):
    result = failure(Validator(list[int]), [RaisingRepr(error), "b"])
    assert [e["value"] for e in result.errors] == ["<unrepresentable>", "'b'"]


def test_a_repr_whose_str_raises_is_unprintable_and_reported_once(monkeypatch):
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    assert failure(Validator(int), Repr(Loud("shown"))).value == "<unprintable Loud object>"
    assert len(reports) == 1


@pytest.mark.parametrize(
    "fail_fast, message",
    [
        (1, "'int' object is not an instance of 'bool'"),
        (None, "'None' is not an instance of 'bool'"),
        ("yes", "'str' object is not an instance of 'bool'"),
    ],
)
def test_fail_fast_is_converted_before_anything_is_checked(fail_fast, message):
    with pytest.raises(TypeError) as info:
        Validator(int).validate(1, fail_fast=fail_fast)
    assert str(info.value) == message
    assert info.value.__notes__ == ["while processing 'fail_fast'"]


def test_entry_points_agree():
    v = Validator(list[int])
    member, stranger = [1, 2], [1, "2"]
    assert v.ensure(member) is member
    assert v.validate(member) is None
    assert v.validate(member, fail_fast=True) is None
    assert (v.is_valid(member), v.is_valid(stranger)) == (True, False)
    assert (member in v, stranger in v) == (True, False)
    for raising in (v.validate, v.ensure):
        with pytest.raises(ValidationError):
            raising(stranger)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda v: v.validate(), "Validator.validate() missing 1 required positional argument: 'obj'"),
        (lambda v: v.is_valid(1, 2), "Validator.is_valid() takes 1 positional arguments but 2 were given"),
        (lambda v: v.ensure(1, fail_fast=True), "Validator.ensure() got an unexpected keyword argument 'fail_fast'"),
    ],
)
def test_entry_point_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call(Validator(int))
    assert str(info.value) == message


def test_a_failure_that_vanishes_when_explained_still_raises():
    answers = iter([False, True])
    validator = Validator({"a": Annotated[int, Meta(func=lambda value: next(answers))]})
    error = failure(validator, {"a": 1})
    assert str(error) == "0 validation errors:"
    assert (error.code, error.expected, error.value, error.message) == (None, None, None, None)
    assert (error.path, error.errors) == ((), ())


ATTRIBUTES = ["code", "expected", "value", "message", "path", "errors"]


def test_attributes_are_assigned_in_order_through_the_type(monkeypatch):
    assigned = []

    def recording(name):
        def store(self, value):
            assigned.append(name)
            self.__dict__[name] = value

        return property(lambda self: self.__dict__[name], store)

    for name in ATTRIBUTES:
        monkeypatch.setattr(ValidationError, name, recording(name), raising=False)
    error = failure(Validator(list[int]), ["a"])
    assert assigned == ATTRIBUTES
    assert (error.code, error.path, error.errors[0]["message"]) == ("int_type", (0,), error.message)


@pytest.mark.parametrize("name", ATTRIBUTES)
def test_an_unassignable_attribute_replaces_the_error(monkeypatch, name):
    monkeypatch.setattr(ValidationError, name, property(lambda self: None), raising=False)
    with pytest.raises(AttributeError):
        Validator(int).validate("a")
