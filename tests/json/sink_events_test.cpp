// The events a sink receives, and a sink that stops the read.
#include <gtest/gtest.h>

#include <string>

#include "kestrune/json/json_reader.hpp"

namespace kestrune::json {
namespace {

// Writes every event down; stops at the event numbered `stop_at` (counting from 0).
class RecordingSink {
public:
    explicit RecordingSink(int stop_at = -1) : stop_at_(stop_at) {}

    bool null_value() { return record("null"); }
    bool bool_value(bool value) { return record(value ? "true" : "false"); }
    bool int_value(std::int64_t value) { return record("int:" + std::to_string(value)); }
    bool big_int_value(std::string_view digits) { return record("big:" + std::string(digits)); }
    bool float_value(double value) { return record("float:" + std::to_string(value)); }
    bool string_value(std::string_view text, JsonTextOrigin origin) { return record("str" + text_of(text, origin)); }
    bool member_key(std::string_view text, JsonTextOrigin origin) { return record("key" + text_of(text, origin)); }
    bool start_array() { return record("["); }
    bool end_array() { return record("]"); }
    bool start_object() { return record("{"); }
    bool end_object() { return record("}"); }

    const std::string& events() const { return events_; }

private:
    static std::string text_of(std::string_view text, JsonTextOrigin origin) {
        return (origin == JsonTextOrigin::Document ? "(doc):" : "(scratch):") + std::string(text);
    }
    bool record(const std::string& event) {
        if (!events_.empty()) events_ += ' ';
        events_ += event;
        return count_++ != stop_at_;
    }

    std::string events_;
    int count_ = 0;
    int stop_at_;
};

static_assert(JsonSink<RecordingSink>);

TEST(SinkEventsTest, ArriveInDocumentOrder) {
    RecordingSink sink;
    const std::string document = R"({"a": [1, -2.5, "x", "\u0079"], "b\n": {}, "c": [], "d": null, "e": true,)"
                                 R"( "f": 98765432109876543210})";
    ASSERT_FALSE(read_json(document, JsonSource::Bytes, sink));
    EXPECT_EQ(sink.events(),
              "{ key(doc):a [ int:1 float:-2.500000 str(doc):x str(scratch):y ] key(scratch):b\n { } "
              "key(doc):c [ ] key(doc):d null key(doc):e true key(doc):f big:98765432109876543210 }");
}

TEST(SinkEventsTest, AStoppingSinkEndsTheReadAtItsToken) {
    const std::string document = "[1, {\"k\": \"v\"}, []]";
    struct Case {
        int stop_at;
        std::size_t index;
    };
    // Events: [ 1 { k v } [ ] ]
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{2, 4}, Case{3, 5}, Case{4, 10}, Case{5, 13}, Case{6, 16},
                         Case{7, 17}, Case{8, 18}}) {
        RecordingSink sink(c.stop_at);
        const auto error = read_json(document, JsonSource::Str, sink);
        ASSERT_TRUE(error) << c.stop_at;
        EXPECT_EQ(*error, (JsonError{JsonErrorKind::SinkStopped, c.index})) << c.stop_at;
    }
}

}  // namespace
}  // namespace kestrune::json
