// The word and vector scans stop exactly where a byte-by-byte scan would, at every
// alignment and near the end of the buffer, where a wide load must not reach past it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kestrune/json/detail/byte_scan.hpp"

namespace kestrune::json::detail {
namespace {

const char* skip_whitespace_bytewise(const char* cursor, const char* end) {
    while (cursor != end && is_json_whitespace(static_cast<unsigned char>(*cursor))) ++cursor;
    return cursor;
}

const char* find_run_end_bytewise(const char* cursor, const char* end, bool stop_at_non_ascii) {
    while (cursor != end && !ends_string_run(static_cast<unsigned char>(*cursor), stop_at_non_ascii)) ++cursor;
    return cursor;
}

// Buffers that are mostly whitespace or mostly plain text, with a rare stop byte.
std::vector<std::string> sample_buffers() {
    std::mt19937 random(20240611);
    const std::string blanks = " \t\n\r";
    const std::string stops = std::string("\"\\\x1f\x80\xff", 5) + std::string(1, '\0') + "x";
    std::vector<std::string> buffers;
    for (int round = 0; round < 400; ++round) {
        std::string buffer(random() % 70, ' ');
        for (char& byte : buffer) {
            const unsigned roll = random() % 40;
            if (roll == 0) byte = stops[random() % stops.size()];
            else if (round % 2 == 0) byte = blanks[random() % blanks.size()];
            else byte = static_cast<char>(0x20 + random() % 0x5f);
        }
        buffers.push_back(buffer);
    }
    return buffers;
}

TEST(ByteScanTest, WideScansAgreeWithTheBytewiseScan) {
    for (const std::string& buffer : sample_buffers()) {
        // An exactly sized heap copy lets the sanitizer catch any read past the end.
        const std::vector<char> exact(buffer.begin(), buffer.end());
        const char* const end = exact.data() + exact.size();
        for (const char* start = exact.data(); start != end; ++start) {
            const char* expected = skip_whitespace_bytewise(start, end);
            EXPECT_EQ(word_scan::skip_whitespace(start, end), expected);
            EXPECT_EQ(skip_whitespace(start, end), expected);
            for (const bool stop_at_non_ascii : {false, true}) {
                expected = find_run_end_bytewise(start, end, stop_at_non_ascii);
                EXPECT_EQ(word_scan::find_string_run_end(start, end, stop_at_non_ascii), expected);
                EXPECT_EQ(find_string_run_end(start, end, stop_at_non_ascii), expected);
                // The one-load look finds only a run that ends at a quote, and finds
                // every such run that is short enough when the load fits.
                const char* const near = find_near_closing_quote(start, end, stop_at_non_ascii);
                const bool short_quoted = expected != end && *expected == '"' && expected - start < 8;
                if (near != nullptr) {
                    EXPECT_EQ(near, expected);
                    EXPECT_EQ(*near, '"');
                } else {
                    EXPECT_FALSE(short_quoted && end - start >= 16);
                }
#if defined(__SSE2__)
                EXPECT_EQ(vector_scan::find_string_run_end(start, end, stop_at_non_ascii), expected);
#endif
            }
#if defined(__SSE2__)
            EXPECT_EQ(vector_scan::skip_whitespace(start, end), skip_whitespace_bytewise(start, end));
#endif
        }
    }
}

}  // namespace
}  // namespace kestrune::json::detail
