// Every way a document can be refused, with the exact message and position.
#include <gtest/gtest.h>

#include <string>

#include "json_test_support.hpp"

namespace kestrune::json::testing {
namespace {

struct ErrorCase {
    std::string document;
    std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << '\'' << c.document << '\''; }

class ReaderErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderErrorTest, GivesTheMessageAtItsPosition) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(read_outcome(c.document, JsonSource::Bytes), c.message);
    EXPECT_EQ(read_outcome(c.document, JsonSource::Str), c.message);
}

INSTANTIATE_TEST_SUITE_P(EndOfDocument, ReaderErrorTest, ::testing::Values(
    ErrorCase{"", "EOF while parsing a value at line 1 column 0"},
    ErrorCase{" \t\r\n ", "EOF while parsing a value at line 2 column 1"},
    ErrorCase{"[1,", "EOF while parsing a value at line 1 column 3"},
    ErrorCase{"{\"a\":", "EOF while parsing a value at line 1 column 5"},
    ErrorCase{"{\"a\":1,", "EOF while parsing a value at line 1 column 7"},
    ErrorCase{"-", "EOF while parsing a value at line 1 column 1"},
    ErrorCase{"1.", "EOF while parsing a value at line 1 column 2"},
    ErrorCase{"1e", "EOF while parsing a value at line 1 column 2"},
    ErrorCase{"1e-", "EOF while parsing a value at line 1 column 3"},
    ErrorCase{"tr", "EOF while parsing a value at line 1 column 2"},
    ErrorCase{"[nul", "EOF while parsing a value at line 1 column 4"},
    ErrorCase{"\"abc", "EOF while parsing a string at line 1 column 4"},
    ErrorCase{"\"ab\\", "EOF while parsing a string at line 1 column 4"},
    ErrorCase{"\"\\u12", "EOF while parsing a string at line 1 column 5"},
    ErrorCase{"\"\\ud800", "EOF while parsing a string at line 1 column 7"},
    ErrorCase{"\"\\ud800\\", "EOF while parsing a string at line 1 column 8"},
    ErrorCase{"\"\\ud800\\udc", "EOF while parsing a string at line 1 column 11"},
    ErrorCase{"[", "EOF while parsing a list at line 1 column 1"},
    ErrorCase{"[1", "EOF while parsing a list at line 1 column 2"},
    ErrorCase{"[1 \n", "EOF while parsing a list at line 2 column 0"},
    ErrorCase{"{", "EOF while parsing an object at line 1 column 1"},
    ErrorCase{"{\"a\"", "EOF while parsing an object at line 1 column 4"},
    ErrorCase{"{\"a\":1", "EOF while parsing an object at line 1 column 6"}));

INSTANTIATE_TEST_SUITE_P(Values, ReaderErrorTest, ::testing::Values(
    ErrorCase{"x", "expected value at line 1 column 1"},
    ErrorCase{"[1,x]", "expected value at line 1 column 4"},
    ErrorCase{"+1", "expected value at line 1 column 1"},
    ErrorCase{".5", "expected value at line 1 column 1"},
    ErrorCase{"\xef\xbb\xbf[]", "expected value at line 1 column 1"},
    ErrorCase{"// comment\n1", "expected value at line 1 column 1"},
    ErrorCase{"[1,]", "trailing comma at line 1 column 4"},
    ErrorCase{"{\"a\":1,}", "trailing comma at line 1 column 8"},
    ErrorCase{"[\"a\",\n  ]", "trailing comma at line 2 column 3"},
    ErrorCase{"[1,}", "expected value at line 1 column 4"},
    ErrorCase{"NaN", "expected value at line 1 column 1"},
    ErrorCase{"Infinity", "expected value at line 1 column 1"},
    ErrorCase{"[Infinity]", "expected value at line 1 column 2"},
    ErrorCase{"-Infinity", "invalid number at line 1 column 2"},
    ErrorCase{"True", "expected value at line 1 column 1"},
    ErrorCase{"trUe", "expected ident at line 1 column 3"},
    ErrorCase{"fals", "EOF while parsing a value at line 1 column 4"},
    ErrorCase{"falsy", "expected ident at line 1 column 5"},
    ErrorCase{"nil", "expected ident at line 1 column 2"},
    ErrorCase{"[1] x", "trailing characters at line 1 column 5"},
    ErrorCase{"1 2", "trailing characters at line 1 column 3"},
    ErrorCase{"truex", "trailing characters at line 1 column 5"},
    ErrorCase{"{} {}", "trailing characters at line 1 column 4"},
    ErrorCase{"[1 2]", "expected `,` or `]` at line 1 column 4"},
    ErrorCase{"[1:", "expected `,` or `]` at line 1 column 3"},
    ErrorCase{"{\"a\":1 \"b\"", "expected `,` or `}` at line 1 column 8"},
    ErrorCase{"{\"a\":1]", "expected `,` or `}` at line 1 column 7"},
    ErrorCase{"{1:2}", "key must be a string at line 1 column 2"},
    ErrorCase{"{\"a\":1,]", "key must be a string at line 1 column 8"},
    ErrorCase{"{'a':1}", "key must be a string at line 1 column 2"},
    ErrorCase{"{\"a\" 1}", "expected `:` at line 1 column 6"},
    ErrorCase{"{\"a\",1}", "expected `:` at line 1 column 5"}));

INSTANTIATE_TEST_SUITE_P(Numbers, ReaderErrorTest, ::testing::Values(
    ErrorCase{"-x", "invalid number at line 1 column 2"},
    ErrorCase{"[-]", "invalid number at line 1 column 3"},
    ErrorCase{"01", "invalid number at line 1 column 2"},
    ErrorCase{"-00", "invalid number at line 1 column 3"},
    ErrorCase{"1.e5", "invalid number at line 1 column 3"},
    ErrorCase{"[1.]", "invalid number at line 1 column 4"},
    ErrorCase{"1e+]", "invalid number at line 1 column 4"},
    ErrorCase{"2E.", "invalid number at line 1 column 3"},
    ErrorCase{"1.5.3", "trailing characters at line 1 column 4"},
    ErrorCase{"0x10", "trailing characters at line 1 column 2"}));

INSTANTIATE_TEST_SUITE_P(Strings, ReaderErrorTest, ::testing::Values(
    ErrorCase{"\"a\tb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
    ErrorCase{"\"a\nb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"},
    ErrorCase{std::string("\"\0\"", 3), "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 2"},
    ErrorCase{"\"\\u0041\x1f\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 8"},
    ErrorCase{"{\"k\x01\":1}", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
    ErrorCase{"\"\\x41\"", "invalid escape at line 1 column 3"},
    ErrorCase{"\"\\U0041\"", "invalid escape at line 1 column 3"},
    ErrorCase{"\"\\'\"", "invalid escape at line 1 column 3"},
    ErrorCase{"\"\\u00g1\"", "invalid escape at line 1 column 6"},
    ErrorCase{"\"\\u123\"", "invalid escape at line 1 column 7"},
    ErrorCase{"\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7"},
    ErrorCase{"\"ab\\uDFFF\"", "lone leading surrogate in hex escape at line 1 column 9"},
    ErrorCase{"\"\\ud800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
    ErrorCase{"\"\\ud800\\ud800\"", "lone leading surrogate in hex escape at line 1 column 13"},
    ErrorCase{"\"\\ud800\"", "unexpected end of hex escape at line 1 column 8"},
    ErrorCase{"\"\\ud800x\"", "unexpected end of hex escape at line 1 column 8"},
    ErrorCase{"\"\\ud800\\n\"", "unexpected end of hex escape at line 1 column 9"},
    ErrorCase{"\"\\ud800\\udcxx\"", "invalid escape at line 1 column 12"}));

TEST(ReaderErrorTest, RefusesAnIntegerPartLongerThanTheLimit) {
    const std::string digits(4301, '7');
    EXPECT_EQ(read_outcome(digits), "number out of range at line 1 column 4301");
    EXPECT_EQ(read_outcome("-" + std::string(4300, '7')), "number out of range at line 1 column 4301");
    // The index is 4,301 bytes after the number's first byte, whatever follows.
    EXPECT_EQ(read_outcome("[" + digits + ".5]"), "number out of range at line 1 column 4303");
    EXPECT_EQ(read_outcome(" " + std::string(5000, '1') + "e3"), "number out of range at line 1 column 4303");
}

TEST(ReaderErrorTest, RefusesAValueDeeperThanTheLimit) {
    const auto nested = [](std::size_t depth, const std::string& inner) {
        return std::string(depth, '[') + inner + std::string(depth, ']');
    };
    EXPECT_EQ(read_outcome(nested(200, "0")), "ok");
    EXPECT_EQ(read_outcome(nested(201, "")), "ok");
    EXPECT_EQ(read_outcome(nested(201, "0")), "recursion limit exceeded at line 1 column 202");
    EXPECT_EQ(read_outcome(nested(201, "[]")), "recursion limit exceeded at line 1 column 202");
    // A member value is one level below its object.
    EXPECT_EQ(read_outcome(nested(199, "{\"a\":{}}")), "ok");
    EXPECT_EQ(read_outcome(nested(200, "{\"a\":[1]}")), "recursion limit exceeded at line 1 column 206");
    EXPECT_EQ(read_outcome(nested(201, "1,2")), "recursion limit exceeded at line 1 column 202");
}

}  // namespace
}  // namespace kestrune::json::testing
