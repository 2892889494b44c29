"""The pattern dialect: what the front end rewrites for the engine, and what it refuses."""

import re
import time
import unicodedata
import warnings
from types import SimpleNamespace as Meta
from typing import Annotated

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kestrune import Validator
from walk_helpers import records

# Characters on which Python's classes agree with ours (Python's \w also takes other
# numbers such as "½" and leaves out marks; its \s also takes \x1c-\x1f).
SAMPLES = ["a", "Z", "0", "_", "^", "]", "[", "-", "|", "\\", " ", "\u2003", "\n", "é", "日", "٣", "!", "x", "\x00"]


SIZE_LIMIT = "Compiled regex exceeds size limit of 10485760 bytes."


def pattern_validator(pattern):
    return Validator(Annotated[str, Meta(pattern=pattern)])


def refusal(pattern):
    with pytest.raises(ValueError) as info:
        Validator(Annotated[str, pattern if isinstance(pattern, re.Pattern) else Meta(pattern=pattern)])
    return str(info.value)


@pytest.mark.parametrize(
    "pattern",
    [
        r"[\W^]", r"[\W^a]", r"[\S^0\s]", r"[^\W^]", r"[]\W]", r"[^]\W]", r"[-\W]", r"[\W-]", r"[\\\W]",
        r"[\^\W]", r"[\w^]", r"[^\w^]", r"[\d\S]", r"[^\d\S]", r"[\W\S]", r"[^\W\S]", r"[^\Wa]", r"[a-c\W]",
        r"[\s\]]", r"[^\s\]]", r"[\D^]", r"[^\D]", r"\W\S", r"[\W]+",
    ],
)
def test_rewritten_classes_keep_their_meaning(pattern):
    v = pattern_validator(pattern)
    assert {s: v.is_valid(s) for s in SAMPLES} == {s: bool(re.fullmatch(pattern, s)) for s in SAMPLES}


CLASS_ITEMS = [r"\w", r"\W", r"\s", r"\S", r"\d", r"\D", "a", "^", "-", r"\]", r"\\", "a-c", "!", "é", r"\^", "]"]


@settings(max_examples=300, deadline=None)
@given(st.booleans(), st.lists(st.sampled_from(CLASS_ITEMS), min_size=1, max_size=5))
def test_any_class_of_these_items_means_what_it_means_in_python(negated, items):
    pattern = "[" + ("^" if negated else "") + "".join(items) + "]"
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            expected = re.compile(pattern)
    except re.error:
        with pytest.raises(ValueError):
            pattern_validator(pattern)
        return
    v = pattern_validator(pattern)
    assert {s: v.is_valid(s) for s in SAMPLES} == {s: bool(expected.fullmatch(s)) for s in SAMPLES}


@pytest.mark.parametrize(
    "expression, samples",
    [
        (re.compile("ab", re.IGNORECASE), ["ab", "AB", "aB", "abc", "straße"]),
        (re.compile("straße", re.IGNORECASE), ["STRASSE", "STRAßE", "Straße"]),
        (re.compile("a.b", re.DOTALL), ["a\nb", "axb", "ab"]),
        (re.compile("a.b"), ["a\nb", "axb"]),
        (re.compile("^a$\n^b$", re.MULTILINE), ["a\nb", "ab"]),
        (re.compile(r" a b  # a comment", re.VERBOSE), ["ab", "a b", " a b"]),
        (re.compile(r"a [ ] \  b{2, 3}", re.VERBOSE), ["a  b{2,3}", "a  bb", "a b{2,3}"]),
        (re.compile(r"a # a comment", re.VERBOSE | re.IGNORECASE), ["A", "a", "a #"]),
        (re.compile("(?i)ab"), ["AB", "ab"]),
        (re.compile("(?i)ab", re.MULTILINE), ["AB", "ab"]),
        (re.compile("ab", re.UNICODE), ["ab", "AB"]),
    ],
)
def test_a_compiled_expression_keeps_its_flags(expression, samples):
    v = Validator(Annotated[str, expression])
    assert {s: v.is_valid(s) for s in samples} == {s: bool(expression.fullmatch(s)) for s in samples}


@pytest.mark.parametrize(
    "expression, text",
    [
        (re.compile("ab", re.IGNORECASE), "(?i)ab"),
        (re.compile("(?i)ab"), "(?i)ab"),
        (re.compile("(?s)ab", re.IGNORECASE | re.MULTILINE), "(?im)(?s)ab"),
        (re.compile(" a ", re.VERBOSE), "(?x) a "),
        (re.compile("ab"), "ab"),
    ],
)
def test_the_flags_of_a_compiled_expression_are_written_in_its_pattern_text(expression, text):
    v = Validator(Annotated[str, expression])
    quoted = '"' + text + '"'
    assert repr(v) == f"Annotated[str, Regex({quoted})]"
    assert records(v, "zz")[0][2] == f"a string matching {quoted}"
    assert v == Validator(Annotated[str, Meta(pattern=text)])


@pytest.mark.parametrize(
    "expression, flag",
    [(re.compile("a", re.ASCII), "re.ASCII"), (re.compile("(?a)b"), "re.ASCII")],
)
def test_a_flag_that_cannot_be_honoured_refuses_the_schema(expression, flag):
    assert refusal(expression) == f'invalid regular expression "{expression.pattern}": flag {flag} is not supported'


def test_only_compiled_expressions_have_their_flags_read():
    v = Validator(Annotated[str, Meta(pattern="ab", flags=re.IGNORECASE)])
    assert (v.is_valid("ab"), v.is_valid("AB")) == (True, False)
    # A bytes expression has no pattern text: it is not a pattern item at all.
    assert Validator(Annotated[bytes, re.compile(b"a", re.ASCII)]) == Validator(bytes)


@pytest.mark.parametrize(
    "pattern, admitted, refused",
    [
        (r"\p{Alphabetic}", ["a", "\u24b6", "\u0345", "日"], ["1", "-", "\u0301"]),
        (r"\p{Alpha}", ["\u24b6"], ["1"]),
        (r"\p{White_Space}", [" ", "\u2003", "\x85", "\n"], ["a", "\u200b"]),
        (r"\p{Uppercase}", ["A", "\u24b6", "Σ"], ["a", "1"]),
        (r"\p{Lowercase}", ["a", "\u00aa", "σ"], ["A", "1"]),
        (r"\p{ASCII}", ["a", "\x7f", "\x00"], ["é", "\x80"]),
        (r"\p{Any}", ["a", "\U0010ffff", "\n"], ["", "ab"]),
        (r"\p{Emoji}", ["😀", "©", "#"], ["a", " "]),
        (r"\p{Letter}", ["a", "日"], ["1", "_"]),
        (r"\p{Decimal_Number}", ["٣", "1"], ["½", "a"]),
        (r"\p{Cased_Letter}", ["a", "A", "ǅ"], ["\u00aa", "1"]),
        (r"\p{LC}", ["a"], ["\u00aa"]),
        (r"\p{gc=L}", ["a"], ["1"]),
        (r"\p{General_Category=Letter}", ["a"], ["1"]),
        (r"\p{gc=Cased_Letter}", ["a"], ["1"]),
        (r"\p{Script=Greek}", ["α"], ["a"]),
        (r"\p{sc=Greek}", ["α"], ["a"]),
        (r"\p{sc=Grek}", ["α"], ["a"]),
        # Names are matched loosely.
        (r"\p{white space}", ["\u2003"], ["a"]),
        (r"\p{WHITE-SPACE}", ["\u2003"], ["a"]),
        (r"\p{decimalnumber}", ["٣"], ["a"]),
        (r"\p{ Script = greek }", ["α"], ["a"]),
        (r"\p{greek}", ["α"], ["a"]),
        (r"\pL", ["a"], ["1"]),
        # Negations, and sets inside classes of either kind.
        (r"\P{Alphabetic}", ["1", "-"], ["a", "\u24b6"]),
        (r"[^\p{Alphabetic}]", ["1"], ["a", "\u24b6"]),
        (r"[^\P{Alphabetic}]", ["a", "\u24b6"], ["1"]),
        (r"[\P{Alphabetic}a]", ["a", "1"], ["b"]),
        (r"[^\P{Alphabetic}a]", ["b"], ["a", "1"]),
        (r"\P{Greek}", ["a"], ["α"]),
        (r"[^\p{Any}]", [], ["a", "\n"]),
        # \w is alphabetic characters, marks, decimal numbers, connector punctuation
        # and the join controls.
        (r"\w", ["\u24b6", "\u0301", "\u200d", "\u203f", "٣", "_"], ["½", "-", " "]),
        (r"\W", ["½", "-"], ["\u24b6", "\u0301", "\u200c"]),
        (r"[^\W]", ["\u24b6"], ["-"]),
    ],
)
def test_unicode_sets_can_be_named(pattern, admitted, refused):
    v = pattern_validator(pattern)
    assert [v.is_valid(s) for s in admitted] == [True] * len(admitted)
    assert [v.is_valid(s) for s in refused] == [False] * len(refused)


@pytest.mark.parametrize(
    "pattern, lengths",
    [
        ("a{2000}", [1999, 2000, 2001]),
        ("a{1500,2500}", [1499, 1500, 2500, 2501]),
        ("a{1001,}", [1000, 1001, 5000]),
        ("a{0,1200}", [0, 1200, 1201]),
        ("a{2000}?", [1999, 2000]),
        ("(?:a{1000}){3}", [2999, 3000, 3001]),
        ("(a{10}){150}", [1490, 1500, 1510]),
        ("(?:a|bc){1200}", [1199, 1200]),
        ("a{,3}", [0, 3, 4]),
        ("a{,}", [0, 7]),
    ],
)
def test_counted_repetitions_of_any_size_that_fits(pattern, lengths):
    v = pattern_validator(pattern)
    texts = ["a" * n for n in lengths]
    assert [v.is_valid(s) for s in texts] == [bool(re.fullmatch(pattern, s)) for s in texts]


def test_large_optional_counts_compile_in_time_linear_in_the_count():
    start = time.perf_counter()
    v = pattern_validator("a{0,100000}b")
    assert time.perf_counter() - start < 3.0
    assert [v.is_valid(s) for s in ("aab", "b", "aa", "abab")] == [True, True, False, False]


def test_a_repetition_after_a_large_count_is_its_own_atom():
    v = pattern_validator("ba{1500}c{2}")
    assert v.is_valid("b" + "a" * 1500 + "cc") and not v.is_valid("b" + "a" * 1500 + "c")
    assert pattern_validator(r"\Qab\E{1500}").is_valid("a" + "b" * 1500)


@pytest.mark.parametrize(
    "pattern, reason",
    [
        ("a{4294967296}", SIZE_LIMIT),
        ("a{2000000}", SIZE_LIMIT),
        ("(?:a{1000}){2000}", SIZE_LIMIT),
        ("a{1,4294967296}", SIZE_LIMIT),
        ("(){502055020}", SIZE_LIMIT),
        (r"\w{2000}", SIZE_LIMIT),
        ("a{2000}{2}", "error: bad repetition operator: {2}"),
        ("a{1001}+", "error: possessive repetitions are not supported: {1001}+"),
        ("a{2}+", "error: possessive repetitions are not supported: {2}+"),
        ("a*+", "error: possessive repetitions are not supported: *+"),
        ("a*?+", "error: bad repetition operator: +"),
        ("a{3000,2000}", "error: invalid repetition size: {3000,2000}"),
        ("{2000}", "error: no argument for repetition operator: {2000}"),
        ("a|{4294967296}", "error: no argument for repetition operator: {4294967296}"),
    ],
)
def test_counted_repetitions_that_cannot_compile_are_refused(pattern, reason):
    assert refusal(pattern).endswith(reason)


@pytest.mark.parametrize(
    "pattern",
    [r"\0", r"\012", r"\101", r"\08", r"\0\0", r"[\1-\3]", r"[\0]", r"[\101-\132]+", r"\141{2}", r"x\0y"],
)
def test_octal_escapes_read_as_in_python(pattern):
    v = pattern_validator(pattern)
    samples = ["\x00", "\n", "A", "\x008", "\x00\x00", "\x02", "\x04", "HELLO", "aa", "x\x00y", "a", "0"]
    assert {s: v.is_valid(s) for s in samples} == {s: bool(re.fullmatch(pattern, s)) for s in samples}


@pytest.mark.parametrize(
    "pattern, caret, reason",
    [
        ("[", "^", "missing closing ] of the character class"),
        ("[]", "^^", "missing closing ] of the character class"),
        ("[^]", "^^^", "missing closing ] of the character class"),
        ("ab[c", "  ^^", "missing closing ] of the character class"),
        (r"[a-\d]", " ^^^^", r"invalid character class range: a-\d"),
        (r"[\w-z]", " ^^^^", r"invalid character class range: \w-z"),
        (r"[\p{Greek}-z]", " " + "^" * 11, r"invalid character class range: \p{Greek}-z"),
        (r"[[:alpha:]-z]", " " + "^" * 11, "invalid character class range: [:alpha:]-z"),
        (r"\p{Foo}", "^^^^^^^", r"unknown Unicode property name: \p{Foo}"),
        (r"[\P{sc=Foo}]", " ^^^^^^^^^^", r"unknown Unicode property name: \P{sc=Foo}"),
        (r"\p{Greek", "^^^", r"missing } after \p{"),
        ("\\C", "^^", r"\C is not supported: patterns match whole characters, not bytes"),
        (r"[\C]", " ^^", r"\C is not supported: patterns match whole characters, not bytes"),
        (r"a\400", " ^^^^", r"octal escape value \400 outside of range 0-0o377"),
        (r"(a)\12", "   ^^^", "backreferences are not supported"),
        (r"[\8]", " ^^", r"invalid escape sequence: \8"),
        ("a\\", " ^", r"trailing \ at the end of the pattern"),
        # Python's constructs that the engine cannot express.
        (r"\N{DIGIT ONE}", "^" * 13, r"characters by name are not supported: \N{DIGIT ONE}"),
        (r"[\N{DIGIT ONE}]", " " + "^" * 13, r"characters by name are not supported: \N{DIGIT ONE}"),
        ("a(?x:b c)", " ^^^^", "flag x is supported only at the start of the pattern: (?x:"),
        ("a(?-x:b)", " ^^^^^", "flag x is supported only at the start of the pattern: (?-x:"),
        ("a(?x)b", " ^^^^", "flag x is supported only at the start of the pattern: (?x)"),
        ("(?a:b)", "^^^^", "flag a is not supported: (?a:"),
        ("(?>ab)", "^^^", "atomic groups are not supported: (?>"),
        ("(a)?(?(1)b|c)", "    ^^^^^", "conditional groups are not supported: (?(1)"),
        ("a(?#b", " ^^^", "missing ), unterminated comment"),
        (r"\u12", "^^^^", r"incomplete escape sequence: \u12"),
        (r"[\u12x]", " ^^^^", r"incomplete escape sequence: \u12"),
        (r"\U00110000", "^" * 10, r"escape outside of the Unicode range: \U00110000"),
    ],
)
def test_refusals_name_what_was_written(pattern, caret, reason):
    quoted = pattern.replace("\\", "\\\\")
    lines = refusal(pattern).split("\n")
    assert lines == [
        f'invalid regular expression "{quoted}": regex parse error:',
        f"    \\A(?:{pattern})\\z",
        "    " + " " * 5 + caret,
        f"error: {reason}",
    ]


@pytest.mark.parametrize(
    "pattern, python_pattern",
    [
        (r"\P{Any}|a]", r"a\]"),
        (r"\P{Any}", r"(?!)"),
        (r"\p{^Any}x|y", r"y"),
        (r"[\P{Any}]", r"(?!)"),
        (r"[\P{Any}]|b", r"b"),
        (r"[^\P{Any}]", r"(?s:.)"),
        (r"[\P{Any}a]", r"a"),
        (r"[^\P{Any}a]", r"[^a]"),
        (r"[^\p{Any}]|c", r"c"),
        (r"x\P{Any}*", r"x"),
    ],
)
def test_the_empty_set_is_no_character(pattern, python_pattern):
    v = pattern_validator(pattern)
    samples = ["", "|", "a]", "a", "b", "c", "x", "\n", "]", "a|"]
    assert {s: v.is_valid(s) for s in samples} == {s: bool(re.fullmatch(python_pattern, s)) for s in samples}


# Assigned in Unicode 15.1, after the tables of the front end.
NEWER_THAN_TABLES = {0x31EF, *range(0x2FFC, 0x3000), *range(0x2EBF0, 0x2EE5E)}


@pytest.mark.parametrize(
    "pattern, categories, positive",
    [
        (r"\p{C}", None, True),
        (r"\p{Other}", None, True),
        (r"\p{gc=C}", None, True),
        (r"[\p{C}]", None, True),
        (r"\P{Other}", None, False),
        (r"[^\p{C}]", None, False),
        (r"\p{Cn}", {"Cn"}, True),
        (r"\p{Unassigned}", {"Cn"}, True),
        (r"\P{Cn}", {"Cn"}, False),
        (r"\p{Cc}", {"Cc"}, True),
        (r"\p{Co}", {"Co"}, True),
    ],
)
def test_other_includes_the_unassigned_code_points(pattern, categories, positive):
    v = pattern_validator(pattern)
    # Surrogates have no UTF-8 form: no text holds one.
    code_points = [c for c in range(0x110000) if not 0xD800 <= c <= 0xDFFF and c not in NEWER_THAN_TABLES]
    unexpected = []
    for c in code_points:
        category = unicodedata.category(chr(c))
        member = category[0] == "C" if categories is None else category in categories
        if v.is_valid(chr(c)) != (member == positive):
            unexpected.append(hex(c))
    assert unexpected[:10] == []


@pytest.mark.parametrize(
    "pattern", ["a{02}", "a{0,02}", "a{00}", "a{01,3}", "(?:ab){0002}", "a{,02}", "a{002,}", "a{0000000002,03}"]
)
def test_counts_with_leading_zeros_are_counts(pattern):
    v = pattern_validator(pattern)
    samples = ["", "a", "aa", "aaa", "aaaa", "ab", "abab", pattern, "a{02}"]
    assert {s: v.is_valid(s) for s in samples} == {s: bool(re.fullmatch(pattern, s)) for s in samples}


@pytest.mark.parametrize(
    "pattern, admitted, refused",
    [
        # A flag group between two alternatives changes what the later one means.
        (r"(?:\p{Lu}|(?i)|\p{Lu})", ["A", "a", ""], ["1"]),
        (r"(?:\w|\d|\w|\s|\d)", ["a", "1", " "], ["-", "a1"]),
        (r"(?:\w|\w+|\w)", ["a", "ab"], ["-"]),
        (r"(?:\w|\W|\w)x", ["ax", "-x"], ["x", "a"]),
    ],
)
def test_repeated_alternatives_keep_their_meaning(pattern, admitted, refused):
    v = pattern_validator(pattern)
    assert [v.is_valid(s) for s in admitted] == [True] * len(admitted)
    assert [v.is_valid(s) for s in refused] == [False] * len(refused)


def test_the_caret_stands_under_the_line_that_holds_the_fault():
    assert refusal("(?x)\n  abc\n  (?=d)\n").split("\n") == [
        'invalid regular expression "(?x)\\n  abc\\n  (?=d)\\n": regex parse error:',
        "    \\A(?:(?x)",
        "      abc",
        "      (?=d)",
        "      ^^^",
        "    )\\z",
        "error: look-around, including look-ahead and look-behind, is not supported",
    ]
    # A fault that runs past the end of its line is marked up to that end.
    assert refusal("ab[c\nd").split("\n")[1:4] == ["    \\A(?:ab[c", "    " + " " * 7 + "^^", "    d)\\z"]


@pytest.mark.parametrize(
    "expression",
    [re.compile("a(?=b)", re.IGNORECASE), re.compile(" a (?=b)", re.VERBOSE), re.compile("\\w" * 1000, re.DOTALL)],
    ids=["look-ahead", "verbose", "too-large"],
)
def test_a_refusal_quotes_the_pattern_as_written(expression):
    quoted = expression.pattern.replace("\\", "\\\\")
    assert refusal(expression).startswith(f'invalid regular expression "{quoted}": ')
