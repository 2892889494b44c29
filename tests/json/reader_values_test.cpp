// What well-formed documents read as.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "json_test_support.hpp"
#include "kestrune/json/json_document.hpp"

namespace kestrune::json::testing {
namespace {

struct ValueCase {
    std::string document;
    std::string described;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << '\'' << c.document << '\''; }

class ReaderValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ReaderValueTest, ReadsAs) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(read_and_describe(c.document, JsonSource::Bytes), c.described);
    EXPECT_EQ(read_and_describe(c.document, JsonSource::Str), c.described);
}

INSTANTIATE_TEST_SUITE_P(Scalars, ReaderValueTest, ::testing::Values(
    ValueCase{"null", "null"},
    ValueCase{" \t\n\rtrue \t\n\r", "true"},
    ValueCase{"false", "false"},
    ValueCase{"0", "0"},
    ValueCase{"-0", "0"},
    ValueCase{"42", "42"},
    ValueCase{"-42", "-42"},
    ValueCase{"999999999999999999", "999999999999999999"},
    ValueCase{"-999999999999999999", "-999999999999999999"},
    // From 19 digits on, integers keep their exact digits, even those that fit 64 bits.
    ValueCase{"1000000000000000000", "big:1000000000000000000"},
    ValueCase{"-9223372036854775808", "big:-9223372036854775808"},
    ValueCase{"12345678901234567890", "big:12345678901234567890"}));

INSTANTIATE_TEST_SUITE_P(Floats, ReaderValueTest, ::testing::Values(
    ValueCase{"1.5", "1.5"},
    ValueCase{"-0.0", "-0"},
    ValueCase{"0e0", "0"},
    ValueCase{"1E2", "100"},
    ValueCase{"1e+2", "100"},
    ValueCase{"25e-1", "2.5"},
    ValueCase{"0.1", "0.1"},
    ValueCase{"123456789012345678901234567890.0", "1.2345678901234568e+29"},
    ValueCase{"0.30000000000000004", "0.30000000000000004"},
    ValueCase{"9007199254740993.0", "9007199254740992"},
    ValueCase{"9007199254740995.0", "9007199254740996"},  // half-way: to the even neighbour
    ValueCase{"4503599627370497.5", "4503599627370498"},
    ValueCase{"2.2250738585072011e-308", "2.225073858507201e-308"},
    ValueCase{"1.7976931348623157e308", "1.7976931348623157e+308"},
    ValueCase{"4.9e-324", "5e-324"},
    ValueCase{"3e-324", "5e-324"},
    // Beyond the finite range: infinities; below the smallest subnormal: zeros.
    ValueCase{"1e400", "inf"},
    ValueCase{"-1e400", "-inf"},
    ValueCase{"1.7976931348623159e308", "inf"},
    ValueCase{"1e99999999999999999999", "inf"},
    ValueCase{"2e-324", "0"},
    ValueCase{"1e-400", "0"},
    ValueCase{"-1e-400", "-0"},
    ValueCase{"0.0000001e-99999999999", "0"},
    ValueCase{"0e99999999999", "0"}));

INSTANTIATE_TEST_SUITE_P(Strings, ReaderValueTest, ::testing::Values(
    ValueCase{"\"\"", "\"\""},
    ValueCase{"\"plain text\"", "\"plain text\""},
    ValueCase{"\"\x7f\"", "\"\x7f\""},
    ValueCase{"\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
    ValueCase{"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\"\\/\b\f\n\r\t\""},
    ValueCase{"\"\\u0041\\u00e9\\u20AC\"", "\"A\xc3\xa9\xe2\x82\xac\""},
    ValueCase{"\"\\ud83d\\ude00\"", "\"\xf0\x9f\x98\x80\""},
    ValueCase{"\"\\uDBFF\\uDFFF\"", "\"\xf4\x8f\xbf\xbf\""},
    ValueCase{"\"a\\u0000b\"", std::string("\"a\0b\"", 5)},
    ValueCase{"\"x\\ny\\u0041 long tail after the escape to scan\"",
              "\"x\nyA long tail after the escape to scan\""}));

INSTANTIATE_TEST_SUITE_P(Containers, ReaderValueTest, ::testing::Values(
    ValueCase{"[]", "[]"},
    ValueCase{"[ ]", "[]"},
    ValueCase{"{ }", "{}"},
    ValueCase{"[1, 2.5, \"x\", null, [true], {}]", "[1,2.5,\"x\",null,[true],{}]"},
    ValueCase{"{\"a\": {\"b\": [1, {\"c\": false}]}}", "{\"a\":{\"b\":[1,{\"c\":false}]}}"},
    ValueCase{"\n{\n  \"a\" : 1 ,\n  \"b\" : [ ]\n}\n", "{\"a\":1,\"b\":[]}"},
    // Repeated keys are all kept, in document order.
    ValueCase{"{\"a\":1,\"b\":2,\"a\":3}", "{\"a\":1,\"b\":2,\"a\":3}"},
    ValueCase{"{\"\\u0061\":1,\"a\":2}", "{\"a\":1,\"a\":2}"}));

TEST(ReaderValueTest, ReadsIntegerPartsUpToTheLimit) {
    const std::string longest(4300, '9');
    EXPECT_EQ(read_and_describe(longest), std::string("big:") + longest);
    const std::string negative = std::string("-") + std::string(4299, '9');
    EXPECT_EQ(read_and_describe(negative), std::string("big:") + negative);
    EXPECT_EQ(read_and_describe(std::string("1") + std::string(4299, '0') + ".5"), "inf");
    EXPECT_EQ(read_and_describe(std::string("0.") + std::string(5000, '0') + "1"), "0");
    EXPECT_EQ(read_and_describe(std::string("0.") + std::string(5000, '3')), "0.3333333333333333");
}

TEST(ReaderValueTest, ReadsDigitRunsOfEveryLengthAndEnding) {
    // Digits are taken eight at a time where they can be: runs of every length up to
    // three words, ending at each kind of byte a digit run can meet.
    const std::string digits = "1098765432101234567890123";
    for (std::size_t length = 1; length <= 24; ++length) {
        const std::string run = digits.substr(0, length);
        const std::string integer = length <= 18 ? std::to_string(std::stoll(run)) : "big:" + run;
        EXPECT_EQ(read_and_describe("[" + run + "]"), "[" + integer + "]") << run;
        EXPECT_EQ(read_and_describe("-" + run), length <= 18 ? "-" + integer : "big:-" + run) << run;
        double fraction = 0;
        const std::string token = "0." + run;
        std::from_chars(token.data(), token.data() + token.size(), fraction);
        EXPECT_EQ(read_and_describe("[" + token + ",1]"), "[" + describe(JsonValue::of_float(fraction)) + ",1]");
        for (const char* ending : {":", "/", "\x80", "a"}) {
            EXPECT_EQ(read_outcome("[1" + run + ending + "]"),
                      "expected `,` or `]` at line 1 column " + std::to_string(length + 3));
        }
    }
}

TEST(ReaderValueTest, ReadsNumbersAlikeWithRoomAfterThem) {
    // Digits are read a word at a time only where eight bytes of the document
    // remain: numbers of every length, sign and ending, and tokens that only start
    // like one, must read as they do at the end of a document.
    const std::string digits = "987654321";
    const std::string room(9, ' ');
    for (std::size_t length = 1; length <= 9; ++length) {
        for (const std::string sign : {"", "-"}) {
            const std::string run = sign + digits.substr(0, length);
            for (const char* ending : {"]", ",2]", " ]", "\t]", "\n]"}) {
                const std::string document = "[" + run + ending;
                EXPECT_EQ(read_and_describe(document + room), read_and_describe(document)) << document;
                EXPECT_EQ(read_and_describe(document + room), "[" + run + (ending[0] == ',' ? ",2]" : "]"))
                    << document;
            }
            for (const char* ending : {".5]", "e1]", "E+1]", "0]", "x]", ":]", "/]", "\x80]"}) {
                const std::string document = "[" + run + ending;
                EXPECT_EQ(read_and_describe(document + room), read_and_describe(document)) << document;
            }
        }
    }
    for (const char* token : {"0", "-0", "00", "01", "-01", "0.5", "-", "-x", "-.5", "0e1", "1234567", "-1234567"}) {
        const std::string document = std::string("[") + token + "]";
        EXPECT_EQ(read_and_describe(document + room), read_and_describe(document)) << token;
    }
}

TEST(ReaderValueTest, TextAfterAnEscapeReadsLikePlainText) {
    // After an escape the text is copied while it is scanned; it must stop, fail
    // and keep bytes exactly where the plain path does. The same document with the
    // two-byte escape \n replaced by two plain bytes is the oracle: its result, with
    // "ab" in place of the line feed, and any error at the same position.
    const std::string pattern = "0123456789\xc3\xa9" "abcdefghijklmnopqrstuvwxyz\xe6\x97\xa5" "ABCDEFGHIJ";
    for (std::size_t length = 0; length <= pattern.size(); ++length) {
        const std::string run = pattern.substr(0, length);
        for (const char* ending : {"\"", "\"]", "\\t\"", "\x01\"", "\xff\"", "\xc3\"", "\xe6\x97", ""}) {
            const std::string plain = read_and_describe("\"ab" + run + ending);
            const std::string escaped = read_and_describe("\"\\n" + run + ending);
            const std::string expected = plain.rfind("\"ab", 0) == 0 ? "\"\n" + plain.substr(3) : plain;
            EXPECT_EQ(escaped, expected) << length << " " << ending;
        }
    }
}

TEST(ReaderValueTest, BorrowsUnescapedTextFromTheDocument) {
    const std::string document = R"({"plain": "value", "esc\u0061ped": "v\nalue", "n": 123456789012345678901})";
    JsonDocument tree;
    ASSERT_FALSE(tree.read(document, JsonSource::Bytes));
    const JsonValue& root = tree.root();
    const auto inside_document = [&](std::string_view text) {
        return text.data() >= document.data() && text.data() + text.size() <= document.data() + document.size();
    };
    ASSERT_EQ(root.members().size(), 3u);
    EXPECT_TRUE(inside_document(root.members()[0].key.text()));
    EXPECT_TRUE(inside_document(root.members()[0].value.text()));
    EXPECT_EQ(root.members()[1].key.text(), "escaped");
    EXPECT_FALSE(inside_document(root.members()[1].key.text()));
    EXPECT_EQ(root.members()[1].value.text(), "v\nalue");
    EXPECT_FALSE(inside_document(root.members()[1].value.text()));
    EXPECT_TRUE(inside_document(root.members()[2].value.text()));
}

TEST(ReaderValueTest, KeepsEachDecodedTextApartFromTheScratchBuffer) {
    // Escaped texts pass through one scratch buffer; each must come out whole.
    EXPECT_EQ(read_and_describe(R"(["\u0031", {"\u0032": "\u0033"}, "\u0034\u0035"])"), R"(["1",{"2":"3"},"45"])");
}

TEST(ReaderValueTest, OneTreeObjectReadsDocumentAfterDocument) {
    // Large enough to need several storage blocks, with escaped texts among them;
    // the reads in between leave storage of every size behind for the next one.
    std::string large = "[";
    std::string described = "[";
    for (int i = 0; i < 100000; ++i) {
        const std::string item = R"({"k\u0041": [)" + std::to_string(i) + R"(, "x"], "e": {}})";
        large += (i == 0 ? "" : ",") + item;
        described += (i == 0 ? "" : ",") + std::string(R"({"kA":[)") + std::to_string(i) + R"(,"x"],"e":{}})";
    }
    large += "]";
    described += "]";
    JsonDocument tree;
    for (const std::string& document : {large, std::string(R"([[], {"a": "\n"}])"), large, std::string("[]")}) {
        ASSERT_FALSE(tree.read(document, JsonSource::Bytes));
        EXPECT_EQ(describe(tree.root()), document == large ? described : read_and_describe(document));
        tree.clear(document == large ? 1024 : SIZE_MAX);
    }
}

// What a tree keeps for its next read stays within the limit it is cleared to,
// whichever of its stores the document filled: values waiting for a large container
// to close, nested containers, decoded texts.
TEST(ReaderValueTest, ClearKeepsNoMoreStorageThanAllowed) {
    const auto repeated = [](std::string_view item, int count, std::string_view open, std::string_view close) {
        std::string document(open);
        for (int i = 0; i < count; ++i) document += std::string(i == 0 ? "" : ",") + std::string(item);
        return document + std::string(close);
    };
    const std::string documents[] = {
        repeated("0", 1'000'000, "[", "]"),
        repeated(R"("k\u0041": 1)", 300'000, "{", "}"),
        repeated(repeated("[1, 2]", 1000, "[", "]"), 300, "[", "]"),
        repeated(R"("\n)" + std::string(200, 'x') + R"(")", 20'000, "[", "]"),
    };
    for (const std::string& document : documents) {
        for (const std::size_t limit : {std::size_t{0}, std::size_t{64} * 1024, std::size_t{4} * 1024 * 1024}) {
            JsonDocument tree;
            ASSERT_FALSE(tree.read(document, JsonSource::Bytes));
            ASSERT_GT(tree.retained_bytes(), limit) << "the document is too small to show the limit";
            tree.clear(limit);
            EXPECT_LE(tree.retained_bytes(), limit) << document.substr(0, 40) << " limit " << limit;
            ASSERT_FALSE(tree.read(R"([1, {"a": "\u0041"}])", JsonSource::Bytes));
            EXPECT_EQ(describe(tree.root()), R"([1,{"a":"A"}])");
        }
    }
}

}  // namespace
}  // namespace kestrune::json::testing
