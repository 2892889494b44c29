// Placing a byte index as "line {} column {}".
#include <gtest/gtest.h>

#include "kestrune/json/json_error.hpp"

namespace kestrune::json {
namespace {

TEST(PositionTextTest, CountsLinesAndByteColumns) {
    struct Case {
        std::string_view document;
        std::size_t index;
        std::string_view position;
    };
    for (const Case& c : {
             Case{"", 0, "line 1 column 0"},
             Case{"abc", 0, "line 1 column 1"},
             Case{"abc", 2, "line 1 column 3"},
             // At or past the end: on the last byte.
             Case{"abc", 3, "line 1 column 3"},
             Case{"abc", 99, "line 1 column 3"},
             // A line feed belongs to the line it starts, at column 0.
             Case{"ab\ncd", 2, "line 2 column 0"},
             Case{"ab\ncd", 3, "line 2 column 1"},
             Case{"ab\n", 3, "line 2 column 0"},
             Case{"\n\n\n", 1, "line 3 column 0"},
             Case{"a\r\nb", 1, "line 1 column 2"},
             // Columns count bytes, not characters.
             Case{"\xc3\xa9x", 2, "line 1 column 3"},
         }) {
        EXPECT_EQ(json_position_text(c.document, c.index), c.position) << c.document << " @" << c.index;
    }
}

TEST(PositionTextTest, FormatsTheErrorText) {
    EXPECT_EQ(format_json_error("[1] x", {JsonErrorKind::TrailingCharacters, 4}),
              "trailing characters at line 1 column 5");
}

}  // namespace
}  // namespace kestrune::json
