import gc
import json
import math
import sys
from types import SimpleNamespace as Meta
from typing import Annotated, Any, Literal, Optional, TypedDict

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kestrune import ValidationError, Validator

anything = Validator(Any)


def json_invalid(document):
    with pytest.raises(ValidationError) as info:
        anything.load(document)
    error = info.value
    assert (error.code, error.expected, error.path) == ("json_invalid", "valid JSON", ())
    assert anything.is_valid_json(document) is False
    return error.value


@pytest.mark.parametrize(
    "document, text",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        ("[1, ", "EOF while parsing a value at line 1 column 4"),
        ("[1,", "EOF while parsing a value at line 1 column 3"),
        ("[1] x", "trailing characters at line 1 column 5"),
        ("NaN", "expected value at line 1 column 1"),
        ("Infinity", "expected value at line 1 column 1"),
        ("-Infinity", "invalid number at line 1 column 2"),
        ("[1,]", "trailing comma at line 1 column 4"),
        ('{"a": 1,}', "trailing comma at line 1 column 9"),
        ("[\n1\n,\n", "EOF while parsing a value at line 4 column 0"),
        ("1" * 4301, "number out of range at line 1 column 4301"),
        ("-" + "1" * 4300, "number out of range at line 1 column 4301"),
        ("[" * 201 + "0" + "]" * 201, "recursion limit exceeded at line 1 column 202"),
        ('"\\ud800"', "unexpected end of hex escape at line 1 column 8"),
        ('"\\udc00"', "lone leading surrogate in hex escape at line 1 column 7"),
        ("\ud800", "input string is not valid UTF-8 (contains a lone surrogate)"),
    ],
)
def test_malformed_documents(document, text):
    assert json_invalid(document) == text


def test_malformed_message_and_long_texts():
    with pytest.raises(ValidationError) as info:
        anything.validate_json("")
    assert str(info.value) == "expected valid JSON, got EOF while parsing a value at line 1 column 0 [json_invalid]"
    text = json_invalid(" " * 100 + '"\x01"')
    assert len(text) == 83 and text.endswith("...")


class Text(str):
    pass


class Data(bytes):
    pass


@pytest.mark.parametrize("document", ["[1, 2]", b"[1, 2]", Text("[1, 2]"), Data(b"[1, 2]")])
def test_documents_as_str_bytes_and_subclasses(document):
    v = Validator(list[int])
    assert v.load(document) == [1, 2]
    assert v.validate_json(document) is None
    assert v.is_valid_json(document) is True


@pytest.mark.parametrize("document", [bytearray(b"[1]"), memoryview(b"[1]"), 1, None])
def test_other_inputs_are_refused(document):
    with pytest.raises(TypeError) as info:
        anything.load(document)
    assert str(info.value) == "JSON input must be a str or bytes object"
    assert anything.is_valid_json(document) is False


def test_fail_fast_is_converted_before_the_document_is_read():
    with pytest.raises(TypeError) as info:
        anything.load(bytearray(), fail_fast=1)
    assert info.value.__notes__ == ["while processing 'fail_fast'"]


@pytest.mark.parametrize(
    "document, value",
    [
        ("1e400", math.inf),
        ("-1e400", -math.inf),
        ("-0", 0),
        ("12345678901234567890", 12345678901234567890),
        ("1" * 4300, int("1" * 4300)),
        ('{"a": 1, "a": 2}', {"a": 2}),
        ("[" * 200 + "0" + "]" * 200, json.loads("[" * 200 + "0" + "]" * 200)),
        ('"\\ud83d\\ude00 \\u0000"', "\U0001f600 \x00"),
    ],
)
def test_values(document, value):
    assert anything.load(document) == value


@pytest.mark.parametrize(
    "document",
    [
        "{}",
        '{"a": 1, "b": 2, "a": 3}',
        json.dumps({f"k{i}": i for i in range(6)}),
        "{" + ", ".join(f'"k{i % 7}": {i}' for i in range(40)) + "}",
        "{" + ", ".join(f'"{i}": [{i}]' for i in range(100)) + "}",
    ],
)
def test_objects_keep_the_first_position_and_the_last_value_of_each_key(document):
    assert list(anything.load(document).items()) == list(json.loads(document).items())


@pytest.mark.parametrize("widest", ["", "\xe9", "\xff", "\u0100", "\u65e5", "\uffff", "\U0001f600"])
@pytest.mark.parametrize("ascii_run", [0, 1, 7, 8, 9, 15, 16, 17, 31, 33, 70, 600])
def test_texts_of_every_width(widest, ascii_run):
    # Short texts go through the string cache, long ones not; both as raw UTF-8 and
    # as escapes, with ASCII runs around the eight and sixteen bytes taken at a time.
    text = "a" * ascii_run + widest + "b" * (ascii_run // 2) + widest
    # Long runs of wide characters too: every vector lane sees hundreds of
    # continuation bytes.
    text += widest * (ascii_run * 5)
    for document in (json.dumps(text, ensure_ascii=False).encode(), json.dumps(text)):
        loaded = anything.load(document)
        assert loaded == text
        assert len(loaded) == len(text)
        assert anything.load(b"{" + json.dumps(text, ensure_ascii=False).encode() + b": 0}") == {text: 0}


@pytest.mark.parametrize(
    "key, cached",
    [
        ("abcd", True),
        ("ab", True),
        ("k" * 63, True),
        ("\u65e5" * 21, True),
        ("k" * 64, False),
        ("\u65e5" * 22, False),
        ("k" * 1000, False),
    ],
    ids=lambda x: f"{len(x.encode())}-bytes" if isinstance(x, str) else None,
)
def test_keys_of_2_to_63_bytes_come_from_the_string_cache(key, cached):
    # Longer keys are new objects each time: the cache must not keep them alive.
    first = anything.load('{"%s": 1}' % key)
    second = anything.load(('{"%s": 2}' % key).encode())
    assert (next(iter(first)) is next(iter(second))) is cached


@pytest.mark.parametrize(
    "broken",
    [
        '{"abcd": ["abcd", {"abcd": [1, 2',
        '[' + '"abcd", ' * 3000 + '{"abcd": x',
        '[{"abcd": "abcd"}, ["abcd"]] "abcd"',
    ],
    ids=["eof-deep", "long-array", "trailing"],
)
def test_a_failed_load_releases_what_it_built_and_the_next_load_starts_clean(broken):
    # Values waiting for their container keep references; the storage holding
    # them serves the thread's next read.
    key = next(iter(anything.load('{"abcd": 0}')))
    gc.collect()  # garbage of earlier tests may hold the same str and go mid-test
    before = sys.getrefcount(key)
    for _ in range(3):
        json_invalid(broken)
        assert sys.getrefcount(key) == before
        assert anything.load('[["abcd"], {"abcd": 1}]') == [["abcd"], {"abcd": 1}]
    assert sys.getrefcount(key) == before


def test_an_interpreter_failure_while_reading_is_described_by_its_class_and_message():
    # The interpreter refuses the int of a big integer beyond the digit limit.
    limit = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(640)
    try:
        with pytest.raises(ValidationError) as info:
            anything.load("[" + "1" * 700 + "]")
    finally:
        sys.set_int_max_str_digits(limit)
    assert info.value.code == "json_invalid"
    assert info.value.value.startswith('Internal error: "ValueError: Exceeds the limit (640 digits)')


def test_invalid_utf8_in_bytes():
    assert json_invalid(b'"\xff"').startswith("invalid unicode code point at line 1 column")
    assert anything.load('"\xff"') == "\xff"


class Row(TypedDict):
    name: str
    tags: list[str]
    score: Optional[float]


@pytest.mark.parametrize(
    "schema, document",
    [
        (Row, '{"name": "a", "tags": ["x", 1], "score": "high"}'),
        (Row, '{"name": "a", "name": 3, "tags": []}'),
        (list[int], "[1, true, 2.5, null]"),
        (Literal["a", 1], '["a"]'),
        (Literal[1, 2], "true"),
        (list[Literal[1, 2]], "[1, true]"),
        (dict[str, Annotated[int, Meta(ge=0)]], '{"a": -1, "b": 2}'),
    ],
)
def test_documents_fail_like_their_parsed_objects(schema, document):
    v = Validator(schema)
    with pytest.raises(ValidationError) as from_json:
        v.validate_json(document)
    with pytest.raises(ValidationError) as from_object:
        v.validate(json.loads(document))
    assert from_json.value.errors == from_object.value.errors
    assert v.is_valid_json(document) is False


def test_a_fatal_predicate_error_is_raised_by_every_json_entry():
    def stop(value):
        raise KeyboardInterrupt

    v = Validator(Annotated[int, stop])
    for call in (v.load, v.validate_json, v.is_valid_json):
        with pytest.raises(KeyboardInterrupt):
            call("1")


json_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False, allow_infinity=False) | st.text(),
    lambda children: st.lists(children, max_size=4) | st.dictionaries(st.text(max_size=5), children, max_size=4),
    max_leaves=20,
)

schemas = [
    Validator(Any),
    Validator(list[int]),
    Validator(dict[str, Optional[int]]),
    Validator(int | str | list[Any]),
    Validator({"a": int, "b?": list[str]}),
    Validator(Literal[1, "a", None]),
]


@settings(max_examples=200, deadline=None)
@given(json_values)
def test_documents_agree_with_the_standard_reader(value):
    document = json.dumps(value)
    assert anything.load(document) == value
    assert anything.load(json.dumps(value, ensure_ascii=False).encode()) == value
    for v in schemas:
        member = v.is_valid(json.loads(document))
        assert v.is_valid_json(document) is member
        assert v.is_valid_json(document.encode()) is member
        try:
            v.validate_json(document)
            assert member
        except ValidationError:
            assert not member
