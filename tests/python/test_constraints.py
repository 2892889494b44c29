import threading
import time
from types import SimpleNamespace as Meta
from typing import Annotated, Literal

import pytest

from kestrune import Validator, union
from walk_helpers import failure, records


@pytest.mark.parametrize(
    "schema, value, record",
    [
        (Annotated[int, Meta(ge=0)], -1, ("greater_than_equal", ">= 0", "-1")),
        (Annotated[int, Meta(gt=0)], 0, ("greater_than", "> 0", "0")),
        (Annotated[float, Meta(le=1.5)], 2.0, ("less_than_equal", "<= 1.5", "2.0")),
        (Annotated[str, Meta(lt="b")], "c", ("less_than", "< 'b'", "'c'")),
        # A comparison that raises fails with the comparison's own record.
        (Annotated[object, Meta(ge=0)], "x", ("greater_than_equal", ">= 0", "'x'")),
        (Annotated[object, Meta(min_length=3)], 5, ("too_short", "length >= 3", "5")),
        (Annotated[list, Meta(max_length=1)], [1, 2], ("too_long", "length <= 1", "[1, 2]")),
        (Annotated[int, Meta(multiple_of=3)], 10, ("multiple_of", "a multiple of 3", "10")),
        (Annotated[int, Meta(multiple_of=0)], 10, ("multiple_of", "a multiple of 0", "10")),
        (Annotated[float, Meta(multiple_of=0.1)], 0.3, ("multiple_of", "a multiple of 0.1", "0.3")),
        # int.__mod__ answers NotImplemented for a float divisor: only the value's own
        # method is asked.
        (Annotated[int, Meta(multiple_of=2.0)], 4, ("multiple_of", "a multiple of 2.0", "4")),
        (Annotated[object, lambda v: v], "", ("predicate_failed", "a passing predicate", "''")),
        (Annotated[object, Meta(pattern="a+")], b"aa", ("string_pattern_mismatch", 'a string matching "a+"', "b'aa'")),
        (Annotated[str, Meta(pattern="a+")], "ab", ("string_pattern_mismatch", 'a string matching "a+"', "'ab'")),
    ],
)
@pytest.mark.filterwarnings("ignore:NotImplemented should not be used:DeprecationWarning")
def test_constraint_records(schema, value, record):
    v = Validator(schema)
    assert records(v, value) == [(record[0], (), record[1], record[2])]
    assert v.is_valid(value) is False


@pytest.mark.parametrize(
    "schema, value",
    [
        (Annotated[int, Meta(ge=0)], 0),
        (Annotated[list, Meta(min_length=3)], [1, 2, 3]),
        (Annotated[int, Meta(multiple_of=3)], 9),
        (Annotated[object, lambda v: v], "x"),
        (Annotated[str, Meta(pattern="a+")], "aaa"),
    ],
)
def test_constraint_members(schema, value):
    assert Validator(schema).is_valid(value)


class Outer:
    class Inner(Exception):
        pass


class BadStr(Exception):
    def __str__(self):
        raise RuntimeError("no")


def raiser(error):
    def predicate(value):
        raise error

    return predicate


@pytest.mark.parametrize(
    "error, shown",
    [
        (ValueError("bad"), "ValueError: bad"),
        (Outer.Inner("x"), "Outer.Inner: x"),
        (BadStr(), "BadStr: <exception str() failed>"),
        (ValueError("\ud800"), "ValueError: \ufffd\ufffd\ufffd"),
    ],
)
def test_predicate_errors_name_the_exception(error, shown):
    v = Validator(Annotated[int, raiser(error)])
    assert records(v, 1) == [("predicate_error", (), f"a predicate that does not raise (raised {shown})", "1")]
    assert v.is_valid(1) is False


def test_a_fatal_predicate_error_propagates_from_every_entry():
    v = Validator(Annotated[int, raiser(KeyboardInterrupt())])
    for call in (v.validate, v.ensure, v.is_valid, v.__contains__):
        with pytest.raises(KeyboardInterrupt):
            call(1)


def test_constraints_aggregate_unless_fail_fast():
    v = Validator(Annotated[int, Meta(ge=10, multiple_of=3)])
    assert [r[0] for r in records(v, 1)] == ["greater_than_equal", "multiple_of"]
    assert [r[0] for r in records(v, 1, fail_fast=True)] == ["greater_than_equal"]


def test_constraints_run_only_after_the_base_admits_the_value():
    calls = []
    v = Validator(Annotated[int, lambda value: calls.append(value) or True])
    assert records(v, "x") == [("int_type", (), "int", "'x'")]
    assert calls == []


@pytest.mark.parametrize(
    "pattern, admitted, refused",
    [
        ("abc", ["abc"], ["abcd", "xabc", "ab"]),
        (r"\w+", ["héllo", "日本語", "a_1"], ["a b", "", "-"]),
        (r"\d+", ["123", "٣٤", "१२"], ["1a", "½"]),
        (r"\s", [" ", "\u00a0", "\u2003", "\u3000"], ["a", "\u200b"]),
        (r"[\d\s]+", ["1 ٣\u2003"], ["1a"]),
        (r"[\W]+", ["-+ ", "、"], ["a", "é"]),
        (r"\S\W", ["a-"], [" -", "aé"]),
        (r"(?i)straße", ["STRAßE", "straße"], ["strasse"]),
        (r"\p{Greek}+", ["αβγ"], ["abc"]),
        ("a.c", ["a€c"], ["a\nc"]),
        ("^a$", ["a"], ["a\n"]),
        # The wrapping is plain text: this pattern closes its group early, so its
        # first branch is only anchored at the start.
        ("a)|(?:b", ["a", "ab", "b", "xb"], ["ba", "c"]),
        # Text that only looks like look-around or a backreference.
        (r"\Q(?=\1\E", ["(?=\\1"], ["(?="]),
        (r"\(?=", ["(=", "="], ["a"]),
        ("[(?=]+", ["(?="], ["a"]),
        ("[]a]+", ["]a"], ["b"]),
        (r"[\\1]+", ["\\1"], ["2"]),
    ],
)
def test_patterns_match_whole_strings(pattern, admitted, refused):
    v = Validator(Annotated[str, Meta(pattern=pattern)])
    assert [v.is_valid(text) for text in admitted] == [True] * len(admitted)
    assert [v.is_valid(text) for text in refused] == [False] * len(refused)


class Shout(str):
    pass


def test_pattern_values_must_be_strings_with_a_utf8_form():
    v = Validator(Annotated[object, Meta(pattern="a")])
    assert [v.is_valid(x) for x in ("a", Shout("a"), b"a", None, 1, "\ud800")] == [True, True] + [False] * 4
    assert Validator(Annotated[object, Meta(pattern=".")]).is_valid("\ud800") is False


@pytest.mark.parametrize(
    "pattern, reason",
    [
        ("(?=a)a", "look-around, including look-ahead and look-behind, is not supported"),
        ("a(?<!b)", "look-around, including look-ahead and look-behind, is not supported"),
        (r"(a)\1", "backreferences are not supported"),
        ("(?P<n>a)(?P=n)", "backreferences are not supported"),
        ("(" * 250 + ")" * 250, "exceed the maximum number of nested parentheses/brackets (250)"),
        ("(a", "missing )"),
        ("a{2,1}", "invalid repetition size"),
    ],
)
def test_refused_patterns(pattern, reason):
    with pytest.raises(ValueError) as info:
        Validator(Annotated[str, Meta(pattern=pattern)])
    message = str(info.value)
    assert message.startswith('invalid regular expression "' + pattern.replace("\\", "\\\\") + '": ')
    assert reason in message
    assert "\\A(?:" in message


def test_the_wrapping_takes_one_level_of_nesting():
    Validator(Annotated[str, Meta(pattern="(" * 249 + ")" * 249)])


def test_a_refusal_points_into_the_wrapped_pattern():
    with pytest.raises(ValueError) as info:
        Validator(Annotated[str, Meta(pattern="ab(?=c)")])
    lines = str(info.value).split("\n")
    assert lines[1] == "    \\A(?:ab(?=c))\\z"
    assert lines[2] == "    " + " " * 7 + "^^^"


def test_a_program_over_the_size_limit_is_refused():
    with pytest.raises(ValueError) as info:
        Validator(Annotated[str, Meta(pattern=r"\w{1000}")])
    assert str(info.value).endswith(": Compiled regex exceeds size limit of 10485760 bytes.")


def test_catastrophic_patterns_stay_linear():
    v = Validator(Annotated[str, Meta(pattern="(a|a)*b")])
    w = Validator(Annotated[str, Meta(pattern="(a*)*b")])
    text = "a" * 200_000
    start = time.perf_counter()
    assert not v.is_valid(text) and not w.is_valid(text)
    assert time.perf_counter() - start < 1.0


@pytest.mark.parametrize(
    "value, member",
    [(1, True), (2, False), ("a", True), ("b", False), (True, True), (2**70, True), (Shout("a"), False),
     (1.0, False), (-1, False)],
)
def test_literal_union_answers_like_the_ordinary_rule(value, member):
    v = Validator(Literal[1, True, "a", 1.5, 2**70])
    assert v.is_valid(value) is member
    assert (v.validate(value) is None) if member else failure(v, value).errors


def test_literal_unions_of_other_types_and_empty_unions():
    assert Validator(Literal[-1, 5]).is_valid(-1)
    floats = Validator(Literal[1.5, b"x"])
    assert [floats.is_valid(x) for x in (1.5, b"x", 1, "x")] == [True, True, False, False]
    empty = union()
    assert [empty.is_valid(x) for x in (1, "a", None)] == [False, False, False]


def test_patterns_shared_by_several_constraints_and_a_validators_copies():
    import copy

    schema = {"a": Annotated[str, Meta(pattern="x+")], "b": Annotated[str, Meta(pattern="x+")]}
    v = Validator(schema)
    assert v.is_valid({"a": "xx", "b": "x"}) and not v.is_valid({"a": "xx", "b": "y"})
    twin = copy.copy(v)
    assert twin.is_valid({"a": "x", "b": "x"})


def test_first_checks_racing_from_eight_threads():
    schema = {"name": Annotated[str, Meta(pattern="[a-z]+")], "kind": Literal["a", "b", "c"], "n": int}
    good, bad = {"name": "abc", "kind": "b", "n": 1}, {"name": "abc", "kind": "d", "n": 1}
    answers = []
    for _ in range(20):
        v = Validator(schema)
        barrier = threading.Barrier(8)

        def run(v=v, barrier=barrier):
            barrier.wait()
            answers.append((v.is_valid(good), v.is_valid(bad)))

        threads = [threading.Thread(target=run) for _ in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert answers == [(True, False)] * 160
