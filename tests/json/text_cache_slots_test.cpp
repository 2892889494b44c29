// The slots of the text cache under colliding hashes, which a keyed hash makes
// impossible to aim at from outside: here the hashes are chosen by the test.
#include "kestrune/json/text_cache_slots.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrune::json {
namespace {

struct SharedTexts {
    using Entry = std::shared_ptr<const std::string>;
    static bool has_text(const Entry& entry, std::string_view text) { return *entry == text; }
    static Entry make(std::string_view text) { return std::make_shared<const std::string>(text); }
    static Entry share(const Entry& entry) { return entry; }
};

using Slots = TextCacheSlots<SharedTexts>;

struct Lookup {
    std::uint64_t hash;
    std::string text;
    bool hit;  // the entry an earlier lookup of the same text gave
};

void expect_lookups(const std::vector<Lookup>& lookups) {
    auto slots = std::make_unique<Slots>();
    std::vector<std::pair<std::string, Slots::Entry>> given;
    for (const Lookup& lookup : lookups) {
        const Slots::Entry entry = slots->find_or_insert(lookup.hash, lookup.text);
        ASSERT_TRUE(entry);
        EXPECT_EQ(*entry, lookup.text) << "hash " << lookup.hash;
        const Slots::Entry* earlier = nullptr;
        for (const auto& [text, previous] : given) {
            if (text == lookup.text) earlier = &previous;
        }
        EXPECT_EQ(earlier != nullptr && *earlier == entry, lookup.hit) << lookup.text;
        given.emplace_back(lookup.text, entry);
    }
}

TEST(TextCacheSlotsTest, TextsSharingAHashComeBackAsThemselves) {
    expect_lookups({{7, "ab", false}, {7, "cd", false}, {7, "ab", true}, {7, "cd", true}});
}

TEST(TextCacheSlotsTest, FiveSlotsAreProbedThenTheHomeSlotIsReplaced) {
    std::vector<Lookup> lookups;
    for (const char* text : {"a1", "a2", "a3", "a4", "a5", "a6"}) lookups.push_back({40, text, false});
    lookups.push_back({40, "a1", false});  // a6 took its home slot
    lookups.push_back({40, "a5", true});
    lookups.push_back({41, "a5", false});  // an equal text under another hash is not looked for
    expect_lookups(lookups);
}

TEST(TextCacheSlotsTest, ProbingStopsAtTheEndOfTheTable) {
    const std::uint64_t last = Slots::kSlots - 1;
    expect_lookups({{0, "first", false},
                    {last, "z1", false},
                    {last, "z2", false},
                    {last, "z1", false},
                    {last, "z1", true},
                    {0, "first", true}});
}

}  // namespace
}  // namespace kestrune::json
