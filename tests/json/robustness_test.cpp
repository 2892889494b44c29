// Hostile input: random bytes, cut-off documents and very deep nesting. Every input
// must give a value or an error placed inside the document, and never touch memory
// outside it (these run under the sanitizers too).
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kestrune/json/json_document.hpp"

namespace kestrune::json {
namespace {

// Reads from an exactly sized heap buffer so any overrun is caught.
std::optional<JsonError> read_exact(std::string_view text, JsonSource source) {
    const std::vector<char> exact(text.begin(), text.end());
    JsonDocument tree;
    const auto error = tree.read(std::string_view(exact.data(), exact.size()), source);
    if (error) {
        EXPECT_LE(error->index, text.size());
    }
    return error;
}

const std::vector<std::string> kSampleDocuments = {
    R"({"name": "caf\u00e9 \ud83d\ude00", "tags": ["a", "b\n", ""], "n": -12.5e-3, "big": 123456789012345678901,)"
    R"( "ok": true, "none": null, "nested": {"x": [[], {}, [0, 1e400]]}})",
    "[\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 plain text long enough to be scanned wide\", -0, 0.5, false]",
    "  \n\t\"\\\\\\\"\\/\\b\\f\\n\\r\\t\\u0000\"  ",
};

TEST(RobustnessTest, EveryTruncationOfADocumentIsRefusedOrRead) {
    for (const std::string& document : kSampleDocuments) {
        ASSERT_FALSE(read_exact(document, JsonSource::Bytes)) << document;
        for (std::size_t length = 0; length < document.size(); ++length) {
            const std::string_view prefix(document.data(), length);
            read_exact(prefix, JsonSource::Bytes);
            read_exact(prefix, JsonSource::Str);
        }
    }
}

TEST(RobustnessTest, RandomBytesAndMutationsAreHandled) {
    std::mt19937 random(7);
    const std::string alphabet = "[]{},:\"\\ -+.0123456789eEtrufalsn\x80\xc3\xe2\xf0\xed\x01\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 64, '\0');
        for (char& byte : text) {
            byte = round % 3 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        }
        read_exact(text, JsonSource::Bytes);
        read_exact(text, JsonSource::Str);
    }
    for (const std::string& document : kSampleDocuments) {
        for (int round = 0; round < 500; ++round) {
            std::string mutated = document;
            mutated[random() % mutated.size()] = static_cast<char>(random());
            read_exact(mutated, JsonSource::Bytes);
        }
    }
}

TEST(RobustnessTest, AMillionOpenBracketsStopAtTheDepthLimit) {
    const std::size_t count = 1'000'000;
    for (const char* opening : {"[", "{\"k\":", "[{\"k\":"}) {
        std::string document;
        for (std::size_t i = 0; i < count / 2; ++i) document += opening;
        const auto error = read_exact(document, JsonSource::Bytes);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, JsonErrorKind::RecursionLimitExceeded) << opening;
    }
    const std::string balanced = std::string(count, '[') + std::string(count, ']');
    const auto error = read_exact(balanced, JsonSource::Bytes);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, (JsonError{JsonErrorKind::RecursionLimitExceeded, 201}));
}

// Against the library's correctly rounded conversion, over the cases that the
// reader's own exact path finishes and those it hands on.
TEST(RobustnessTest, FloatsAgreeWithTheCorrectlyRoundedConversion) {
    std::mt19937_64 random(99);
    for (int round = 0; round < 20000; ++round) {
        std::string token = random() % 2 ? "-" : "";
        const unsigned integer_digits = 1 + random() % 20;
        token += static_cast<char>('1' + random() % 9);
        for (unsigned i = 1; i < integer_digits; ++i) token += static_cast<char>('0' + random() % 10);
        token += '.';
        const unsigned fraction_digits = 1 + random() % 20;
        for (unsigned i = 0; i < fraction_digits; ++i) token += static_cast<char>('0' + random() % 10);
        if (random() % 2) {
            token += 'e';
            token += std::to_string(static_cast<int>(random() % 80) - 40);
        }
        double expected = 0.0;
        std::from_chars(token.data(), token.data() + token.size(), expected);
        JsonDocument tree;
        ASSERT_FALSE(tree.read(token, JsonSource::Bytes)) << token;
        ASSERT_EQ(tree.root().kind(), JsonKind::Float);
        EXPECT_EQ(tree.root().number(), expected) << token;
    }
}

// Across the whole range of exponents and mantissas of up to 19 digits (the ones
// rounded with 64-bit products), against the C library's correctly rounded strtod,
// bit for bit; plus the shortest forms of random doubles, which must read back as
// themselves.
TEST(RobustnessTest, FloatsOfEveryMagnitudeAreCorrectlyRounded) {
    std::mt19937_64 random(2026);
    const auto bits_of = [](double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    };
    JsonDocument tree;
    for (int round = 0; round < 300000; ++round) {
        std::string token;
        if (round % 3 == 0) {
            double sample;
            const std::uint64_t raw = random();
            std::memcpy(&sample, &raw, sizeof sample);
            if (!std::isfinite(sample)) continue;
            char buffer[64];
            token.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, sample).ptr);
            if (token.find_first_of(".e") == std::string::npos) token += ".0";
        } else {
            token = random() % 2 ? "-" : "";
            const unsigned digits = 1 + random() % 19;
            std::string mantissa(1, static_cast<char>('1' + random() % 9));
            for (unsigned i = 1; i < digits; ++i) mantissa += static_cast<char>('0' + random() % 10);
            const unsigned point = random() % digits;
            token += mantissa.substr(0, point + 1) + "." + (point + 1 < digits ? mantissa.substr(point + 1) : "0");
            token += "e" + std::to_string(static_cast<int>(random() % 721) - 360);
        }
        ASSERT_FALSE(tree.read(token, JsonSource::Bytes)) << token;
        ASSERT_EQ(tree.root().kind(), JsonKind::Float) << token;
        EXPECT_EQ(bits_of(tree.root().number()), bits_of(std::strtod(token.c_str(), nullptr))) << token;
    }
}

}  // namespace
}  // namespace kestrune::json
