// Documents given as bytes must be UTF-8 inside their strings.
#include <gtest/gtest.h>

#include <string>

#include "json_test_support.hpp"

namespace kestrune::json::testing {
namespace {

struct Utf8Case {
    std::string document;
    std::string message;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << ::testing::PrintToString(c.document); }

class BytesInputTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(BytesInputTest, RefusesStringsThatAreNotUtf8) {
    EXPECT_EQ(read_outcome(GetParam().document, JsonSource::Bytes), GetParam().message);
}

// Placed one byte after the first byte of the broken sequence.
INSTANTIATE_TEST_SUITE_P(Sequences, BytesInputTest, ::testing::Values(
    Utf8Case{"\"\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"ab\xbf\"", "invalid unicode code point at line 1 column 5"},
    Utf8Case{"\"\xc0\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xc1\xbf\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xe0\x80\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xed\xa0\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xf0\x80\x80\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xf4\x90\x80\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xf5\x80\x80\x80\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xff\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xe2\x82\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\xc3x\"", "invalid unicode code point at line 1 column 3"},
    Utf8Case{"\"\\n\xc3\"", "invalid unicode code point at line 1 column 5"},
    Utf8Case{"{\"k\xe9\":1}", "invalid unicode code point at line 1 column 5"},
    Utf8Case{"[\"0123456789abcdef0123\xf0\x9f\x98\"]", "invalid unicode code point at line 1 column 24"},
    // Cut off by the end of the document, the string is unfinished rather than wrong.
    Utf8Case{"\"\xe2\x82", "EOF while parsing a string at line 1 column 3"},
    // Outside strings, such bytes cannot start or follow a value at all.
    Utf8Case{"\xc3\xa9", "expected value at line 1 column 1"},
    Utf8Case{"1\xc3\xa9", "trailing characters at line 1 column 2"}));

TEST(BytesInputTest, AcceptsEveryWellFormedSequence) {
    for (const std::string text : {"\xc2\x80", "\xdf\xbf", "\xe0\xa0\x80", "\xed\x9f\xbf", "\xee\x80\x80",
                                   "\xef\xbf\xbf", "\xf0\x90\x80\x80", "\xf4\x8f\xbf\xbf"}) {
        const std::string document = "[\"" + text + "\",\"\\n" + text + "\"]";
        EXPECT_EQ(read_and_describe(document, JsonSource::Bytes), "[\"" + text + "\",\"\n" + text + "\"]")
            << ::testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace kestrune::json::testing
