import json
import typing
from typing import Annotated, Literal, NotRequired, Optional, TypedDict

import pytest

from kestrune import Validator
from walk_helpers import failure, records


class Shouting(str):
    pass


@pytest.mark.parametrize(
    "schema, value, expected_records",
    [
        ({"name": str}, {}, [("missing_key", ("name",), 'required key "name"', "missing")]),
        ({"name": str}, [], [("dict_type", (), "dict", "[]")]),
        ({"a": int}, {"a": 1, "b": 2}, [("extra_forbidden", ("b",), "no unexpected key", '"b"')]),
        ({}, {"x": 1, "y": 2}, [
            ("extra_forbidden", ("x",), "no unexpected key", '"x"'),
            ("extra_forbidden", ("y",), "no unexpected key", '"y"'),
        ]),
        (dict[str, int], {1: 2}, [("string_type", ("1",), "str", "1")]),
        (dict[str, int], {"k": "v"}, [("int_type", ("k",), "int", "'v'")]),
        ({"a": int}, {"a": "x"}, [("int_type", ("a",), "int", "'x'")]),
        (dict[str, int], {"k" * 45: "v"}, [("int_type", ("k" * 40 + "...",), "int", "'v'")]),
        ({}, {"k" * 45: 1}, [("extra_forbidden", ("k" * 45,), "no unexpected key", '"' + "k" * 45 + '"')]),
    ],
)
def test_diagnosis_records(schema, value, expected_records):
    v = Validator(schema)
    assert not v.is_valid(value)
    assert records(v, value) == expected_records


def test_fail_fast_stops_the_diagnosis_after_the_first_report():
    assert len(records(Validator({}), {"x": 1, "y": 2}, fail_fast=True)) == 1
    v = Validator({"a": int, "b": int})
    assert records(v, {"a": "x", "b": "y"}, fail_fast=True) == [("int_type", ("a",), "int", "'x'")]
    # Under rules both walks of the reported key run before the test.
    assert records(Validator(dict[str, int]), {1: "v", 2: "w"}, fail_fast=True) == [
        ("string_type", ("1",), "str", "1"),
        ("int_type", ("1",), "int", "'v'"),
    ]



def always(value):
    return True


# Fields that pass, each answered its own way: type tests, a list of them, a nested
# record, a literal, and a walk that runs a predicate.
PASSING_FIELDS = [
    (int, 1),
    (float | None, None),
    (list[int], [1]),
    (tuple[str, ...], ("s",)),
    ({"x": int}, {"x": 1}),
    (Literal[1], 1),
    (Annotated[int, always], 1),
]


@pytest.mark.parametrize("field, passing", PASSING_FIELDS, ids=repr)
def test_fail_fast_ends_the_diagnosis_after_a_passing_field_once_a_record_is_made(field, passing):
    # The rule's key walk reports "k" first; the record under it must stop after
    # its first field, however that field was answered.
    key_record = ("int_type", ("k",), "int", "'k'")
    cases = [
        ({int: {"a": field, "b": int}}, {"k": {"a": passing, "b": "x"}}),
        ({int: {"a": field}}, {"k": {"a": passing, "z": 0}}),
    ]
    for schema, value in cases:
        assert records(Validator(schema), value, fail_fast=True) == [key_record]


class UnprintableKey:
    def __str__(self):
        raise ValueError

    def __repr__(self):
        return "UnprintableKey()"


def test_key_whose_str_raises():
    key = UnprintableKey()
    assert records(Validator(dict[str, int]), {key: 1}) == [("string_type", ("UnprintableKey()",), "str",
                                                              "UnprintableKey()")]
    assert records(Validator({}), {key: 1}) == [("extra_forbidden", ("",), "no unexpected key", '""')]


def test_optional_fields_and_typed_dicts():
    class Movie(TypedDict):
        title: str
        year: NotRequired[int]

    v = Validator(Movie)
    assert v.is_valid({"title": "x"}) and v.is_valid({"title": "x", "year": 1})
    assert records(v, {"title": "x", "year": "y"}) == [("int_type", ("year",), "int", "'y'")]
    assert records(v, {"year": 1}) == [("missing_key", ("title",), 'required key "title"', "missing")]


def test_str_subclass_keys_match_by_text_and_count_once():
    class Hashing(str):
        def __hash__(self):
            return 1

        def __eq__(self, other):
            return other is self

    v = Validator({"a": int})
    assert v.is_valid({Shouting("a"): 1})
    assert v.is_valid({"a": 1, Hashing("a"): 2})
    assert not v.is_valid({"a": 1, Hashing("a"): "x"})


def test_namesake_fields_walk_the_last_one():
    v = Validator({"a?": int, "a": str})
    assert v.is_valid({"a": "s"}) is True


WIDE = {f"k{i}": int for i in range(40)}


def wide_document(keys, wrong=None):
    """An object with each key holding 1, except `wrong`, which holds a str."""
    return json.dumps({k: "x" if k == wrong else 1 for k in keys})


@pytest.mark.parametrize(
    "schema, document, member",
    [
        ({"a": int, "b": str, "c?": float}, '{"c": 1.5, "b": "x", "a": 1}', True),
        # Every key once, in declaration order, and near misses of that order.
        ({"a": int, "b": str, "c?": float}, '{"a": 1, "b": "x", "c": 1.5}', True),
        ({"a": int, "b": str, "c?": float}, '{"a": true, "b": "x", "c": 1}', False),
        ({"a": int, "b": str, "c?": float}, '{"a": 1, "b": "x", "d": 1.5}', False),
        ({"a": int, "b": str}, '{"a": "x", "a": 1}', False),
        ({"ab": int, "b": str}, '{"ab": 1, "bb": "x"}', False),
        ({"p": {"x": int}, "l": list[int | None], "o": Optional[str]}, '{"p": {"x": true}, "l": [1, null], "o": null}',
         True),
        ({"p": {"x": int}, "l": list[int | None], "o": Optional[str]}, '{"p": {"x": 1}, "l": [1, 2.5], "o": "s"}',
         False),
        ({"p": {"x": int}, "l": list[int | None], "o": Optional[str]}, '{"p": {"x": 1}, "l": [], "o": 1}', False),
        ({"p": {"x": int}, "l": list[int | None], "o": Optional[str]}, '{"p": [], "l": [], "o": "s"}', False),
        # Sequence fields of type-tested items: a JSON array is a list, never a tuple.
        ({"t": tuple[int, ...]}, '{"t": [1]}', False),
        ({"l": list[typing.Any]}, '{"l": [1, "x", null, {}]}', True),
        ({"l": list[typing.Any]}, '{"l": {}}', False),
        ({"l": list[str]}, '{"l": "ab"}', False),
        ({"p": {"q": {"x": int}}}, '{"p": {"q": {"x": 1}}}', True),
        ({"p": {"q": {"x": int}}}, '{"p": {"q": {"x": null}}}', False),
        # Fields no kind test answers: walked.
        ({"l": list[{"x": int}], "o": Optional[{"x": int}]}, '{"l": [{"x": 1}], "o": {"x": 2}}', True),
        ({"l": list[{"x": int}], "o": Optional[{"x": int}]}, '{"l": [{"x": 1}, {"x": "no"}], "o": null}', False),
        ({"l": list[{"x": int}], "o": Optional[{"x": int}]}, '{"l": [], "o": {"x": 1.5}}', False),
        ({"t": typing.Literal["a", 1]}, '{"t": 1}', True),
        ({"t": typing.Literal["a", 1]}, '{"t": "b"}', False),
        ({"a": int, "b": str, "c?": float}, '{"a": 1, "a": "x", "b": "y"}', False),
        ({"a": int, "b": str, "c?": float}, '{"a": "x", "a": 1, "b": "y"}', True),
        ({"a": int, "b": str, "c?": float}, '{"b": "y"}', False),
        ({"a": int, "b": str, "c?": float}, '{"a": 1, "b": "y", "z": 0}', False),
        ({"a": int, str: float}, '{"a": 1, "x": 2.5, "x": "no"}', False),
        ({"a": int, str: float}, '{"x": "no", "a": 1, "x": 2.5}', True),
        (WIDE, wide_document(reversed(WIDE)), True),
        (WIDE, wide_document(list(WIDE)[1:]), False),
        (WIDE, wide_document(WIDE, wrong="k35"), False),
    ],
)
def test_json_objects_match_like_their_dicts(schema, document, member):
    v = Validator(schema)
    assert v.is_valid_json(document) is member
    assert v.is_valid(json.loads(document)) is member


def test_namesake_fields_each_see_the_last_json_value():
    v = Validator({"a?": int, "a": str})
    assert v.is_valid_json('{"a": "s"}') is False
    assert v.is_valid_json('{"a": 1}') is False


def test_lone_surrogate_key_is_undeclared():
    v = Validator({"a": int})
    assert records(v, {"a": 1, "\ud800": 1}) == [
        ("extra_forbidden", ("\ufffd" * 3,), "no unexpected key", '"' + "\ufffd" * 3 + '"')
    ]


def test_dict_subclass_is_read_through_its_storage():
    class Odd(dict):
        def __getitem__(self, key):
            raise KeyError(key)

        def __iter__(self):
            return iter(())

        def keys(self):
            return []

    v = Validator({"a": int})
    assert v.is_valid(Odd(a=1))
    assert records(v, Odd(a="x")) == [("int_type", ("a",), "int", "'x'")]


class Growing:
    """Equal to its twin, inserting a key into `target` when compared."""

    target = None

    def __eq__(self, other):
        Growing.target["new"] = 1
        return True

    __hash__ = object.__hash__


@pytest.mark.parametrize("call", ["is_valid", "validate"])
def test_dict_grown_during_the_check_ends_it(call):
    v = Validator({"last": Growing()})
    value = {"last": Growing()}
    Growing.target = value
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        getattr(v, call)(value)


def test_mapping_literal_admits_only_the_empty_dict():
    v = Validator({})
    assert v.is_valid({})
    assert not v.is_valid({"a": 1})


def test_failure_in_diagnosis_lookup_is_a_dict_type_record():
    # The boolean pass matches keys by text; only the diagnosis looks the field name
    # up with the keys' own hashing and equality, and a lookup that raises is
    # reported against the dict itself.
    class Key:
        def __hash__(self):
            return hash("a")

        def __eq__(self, other):
            raise ValueError

    value = {Key(): 1}
    error = failure(Validator({"a": int}), value)
    assert error.errors[0]["code"] == "dict_type"
    assert error.errors[0]["value"].startswith("{<")


class Real(float):
    pass


class FickleHash:
    """Hashes while it is stored; every later hash raises."""

    def __init__(self):
        self.stored = False

    def __hash__(self):
        if self.stored:
            raise ValueError("hashed again")
        return 1

    def __repr__(self):
        return "FickleHash()"


def stored(key, value):
    sample = {key: value}
    if isinstance(key, FickleHash):
        key.stored = True
    return sample


class OwnIteration(dict):
    def __iter__(self):
        return iter(["not", "a", "key"])

    def items(self):
        return [("not", "an item")]


MAPPING_KEYS = ["k", Shouting("K"), "\ud800", 0, True, 2**70, 1.5, Real(2.5), None, b"b", (1,), FickleHash]
MAPPING_VALUES = [1.5, Real(2.5), 0, True, "v", None, b"b", [], object()]


def mapping_samples():
    yield {}
    for key in MAPPING_KEYS:
        for value in MAPPING_VALUES:
            yield stored(key() if key is FickleHash else key, value)
    yield {"a": 1.5, "b": 2.5, 3: "c"}
    yield {"a": 1.5, "b": None, "c": "x"}
    yield OwnIteration(a=1.5)
    yield OwnIteration(a="x")


@pytest.mark.parametrize(
    "rules",
    [
        {str: float},
        {int | None: str},
        {str: int, int: str},
        {bool: bytes, str: typing.Any},
        {str | bytes: float | None, float: object},
    ],
    ids=repr,
)
def test_mappings_of_type_tested_rules_answer_as_records_do(rules):
    # A declared field that no sample holds sends the same rules through the
    # record matcher: verdicts and records must not tell the two apart.
    mapping = Validator(rules)
    record = Validator({"\x00absent?": int, **rules})
    for sample in mapping_samples():
        member = record.is_valid(sample)
        assert mapping.is_valid(sample) is member, sample
        if not member:
            for fail_fast in (False, True):
                assert records(mapping, sample, fail_fast=fail_fast) == records(record, sample, fail_fast=fail_fast)


class SameText(str):
    """Equal to nothing but itself, so that a dict can hold it beside the str of its text."""

    def __hash__(self):
        return 7

    def __eq__(self, other):
        return other is self


RECORD_FIELDS = [
    {"a": int, "b": str, "c?": float | None},
    {"a": int, "b?": str, str: bytes | int},
    {"a": int, "p": {"x": int}, "l": list[int], "\u00e9": Optional[str]},
    {"a?": int, "a": str, "b": bool},
]


def record_samples(fields):
    """Dicts holding the fields' names in declaration order and out of it, with
    values that pass and fail, next to key subclasses, namesakes by text, non-str
    keys, keys whose hash raises, undeclared keys, and dict subclasses."""
    names = [name.rstrip("?") for name in fields if isinstance(name, str)]
    values = [1, True, 2**70, 1.5, Real(2.5), "s", Shouting("S"), None, b"b", [1], [True, "x"], {"x": 1},
              {"x": "y"}, {"x": 1, "z": 2}]
    for value in values:
        yield dict.fromkeys(names, value)
        yield dict.fromkeys(reversed(names), value)
    good = {"a": 1, "b": "s", "c": None, "p": {"x": 2}, "l": [3], "\u00e9": "\u00e8"}
    in_order = {name: good[name] for name in names if name in good}
    yield in_order
    for position, name in enumerate(names):
        for value in values:
            yield {**in_order, name: value}
        yield {n: v for n, v in in_order.items() if n != name}
        items = list(in_order.items())
        yield dict(items[:position] + [(SameText(name), in_order.get(name))] + items[position:])
        yield dict(items[:position] + [(Shouting(name), in_order.get(name))] + items[position + 1:])
        yield dict(items[:position] + items[position + 1:] + items[position:position + 1])
    for key in ["z", Shouting("z"), "\ud800", 0, None, (1,), b"a", FickleHash]:
        for value in [b"b", 5, "s"]:
            yield {**in_order, **stored(key() if key is FickleHash else key, value)}
            yield {**stored(key() if key is FickleHash else key, value), **in_order}
    yield OwnIteration(in_order)
    yield OwnIteration({**in_order, "a": "x"})
    yield {}


@pytest.mark.parametrize("fields", RECORD_FIELDS, ids=repr)
def test_records_answer_alike_with_keys_in_and_out_of_declaration_order(fields):
    # A declared field that no sample holds, put first, sends every dict off the
    # declaration-order matching from its first key on.
    record = Validator(fields)
    reference = Validator({"\x00absent?": int, **fields})
    for sample in record_samples(fields):
        member = reference.is_valid(sample)
        assert record.is_valid(sample) is member, sample
        if not member:
            for fail_fast in (False, True):
                assert records(record, sample, fail_fast=fail_fast) == records(reference, sample,
                                                                                 fail_fast=fail_fast)


class Items(list):
    pass


class Pair(tuple):
    pass


FIELD_VALUES = [1, True, 1.5, "s", Shouting("S"), None, b"b", [], [1, 2], [1, "x"], [True], Items([1]),
                Items(["x"]), (), ("s", None), ("s", 1), Pair(("s",)), [[1]], [[1, "x"]], {"x": 1}, {"x": "y"},
                {"x": 1, "z": 2}, {"k": 1}, {1: 1}]


@pytest.mark.parametrize(
    "schema",
    [int, Optional[str], float | None, list[int], tuple[str | None, ...], list[typing.Any], tuple[int, str],
     list[list[int]], list[int] | None, {"x": int}, dict[str, int], typing.Any],
    ids=repr,
)
def test_field_values_answer_as_their_schemas_do_alone(schema):
    alone = Validator(schema)
    record = Validator({"f": schema})
    for value in FIELD_VALUES:
        assert record.is_valid({"f": value}) is alone.is_valid(value), value


class ReprSwapsKeys:
    """Shown by a repr that swaps the dict's key "b" for an undeclared "z"."""

    def __init__(self, sample):
        self.sample = sample

    def __repr__(self):
        swap_keys(self.sample)
        return "ReprSwapsKeys()"


class StrSwapsKeys:
    """A key whose str() swaps the dict's key "b" for an undeclared "z"."""

    def __init__(self, sample):
        self.sample = sample

    def __str__(self):
        swap_keys(self.sample)
        return "StrSwapsKeys()"


def swap_keys(sample):
    if "b" in sample:
        del sample["b"]
        sample["z"] = 0


def swapping_predicate(sample):
    calls = []

    def predicate(value):
        # The first call is the boolean pass's; the second, the diagnosis's.
        calls.append(value)
        if len(calls) == 2:
            swap_keys(sample)
        return True

    return predicate


@pytest.mark.parametrize(
    "first, first_value, first_records",
    [
        # A predicate of a field's own.
        (lambda sample: Annotated[int, swapping_predicate(sample)], lambda sample: 1, []),
        # The repr that shows a failing value.
        (lambda sample: int, ReprSwapsKeys, [("int_type", ("a",), "int", "ReprSwapsKeys()")]),
        # Walks below the field: an item's repr, a nested value's repr, a nested key's str().
        (lambda sample: list[int], lambda sample: [1, ReprSwapsKeys(sample)],
         [("int_type", ("a", 1), "int", "ReprSwapsKeys()")]),
        (lambda sample: {"x": int}, lambda sample: {"x": ReprSwapsKeys(sample)},
         [("int_type", ("a", "x"), "int", "ReprSwapsKeys()")]),
        (lambda sample: {"x?": int}, lambda sample: {StrSwapsKeys(sample): 1},
         [("extra_forbidden", ("a", "StrSwapsKeys()"), "no unexpected key", '"StrSwapsKeys()"')]),
    ],
    ids=["predicate", "repr", "item repr", "nested repr", "nested key str"],
)
def test_diagnosis_reads_the_dict_as_code_run_by_a_field_left_it(first, first_value, first_records):
    # Every key names a field in declaration order when the diagnosis starts; the
    # fields after the first are looked up, and the keys read, as they are then.
    sample = {}
    v = Validator({"a": first(sample), "b": int, "c": int})
    sample.update(a=first_value(sample), b=2, c="x")
    assert records(v, sample) == first_records + [
        ("missing_key", ("b",), 'required key "b"', "missing"),
        ("int_type", ("c",), "int", "'x'"),
        ("extra_forbidden", ("z",), "no unexpected key", '"z"'),
    ]
