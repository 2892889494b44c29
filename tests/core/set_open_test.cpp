// Opening and closing every record of a tree.
#include "kestrune/core/set_open.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

struct OpenCase {
    const char* label;
    std::function<NodePtr()> input;
    std::function<NodePtr()> opened;
    std::function<NodePtr()> closed;
};

TEST(SetOpen, RecordsAnywhereInTheTree) {
    using S = SequenceShape;
    const auto a_int = [] { return record(field("a", integer())); };
    const auto a_int_open = [] { return open_record(field("a", integer())); };
    const std::vector<OpenCase> cases = {
        {"a closed record", a_int, a_int_open, a_int},
        {"an open record", a_int_open, a_int_open, a_int},
        {"other rules are dropped either way",
         [] {
             return make_dict(list_of<Field>(field("a", integer(), false)),
                              list_of<KeyRule>(rule(integer(), text()), rule(bytes(), text())));
         },
         [] { return open_record(field("a", integer(), false)); }, [] { return record(field("a", integer(), false)); }},
        {"a mapping keeps its rule", [] { return make_mapping(text(), integer()); },
         [] { return make_mapping(text(), integer()); }, [] { return make_mapping(text(), integer()); }},
        {"{} stays a mapping", [] { return make_dict({}, {}); }, [] { return make_dict({}, {}); },
         [] { return make_dict({}, {}); }},
        {"inside a complement", [=] { return complement_of(a_int()); }, [=] { return complement_of(a_int_open()); },
         [=] { return complement_of(a_int()); }},
        {"union members", [=] { return union_of(integer(), a_int()); }, [=] { return union_of(integer(), a_int_open()); },
         [=] { return union_of(integer(), a_int()); }},
        {"intersection members", [=] { return intersection_of(a_int_open()); },
         [=] { return intersection_of(a_int_open()); }, [=] { return intersection_of(a_int()); }},
        {"a refinement base, constraints kept", [=] { return refine(a_int(), min_length(1)); },
         [=] { return refine(a_int_open(), min_length(1)); }, [=] { return refine(a_int(), min_length(1)); }},
        {"set and frozenset elements", [=] { return make_set(make_frozen_set(a_int())); },
         [=] { return make_set(make_frozen_set(a_int_open())); }, [=] { return make_set(make_frozen_set(a_int())); }},
        {"every shape variant",
         [=] {
             return make_sequence(SequenceKind::Tuple,
                                  S::alternation(list_of<S>(S::empty(), S::concat(list_of<S>(item(a_int()))),
                                                            S::repeat(item(a_int_open())))));
         },
         [=] {
             return make_sequence(SequenceKind::Tuple,
                                  S::alternation(list_of<S>(S::empty(), S::concat(list_of<S>(item(a_int_open()))),
                                                            S::repeat(item(a_int_open())))));
         },
         [=] {
             return make_sequence(SequenceKind::Tuple,
                                  S::alternation(list_of<S>(S::empty(), S::concat(list_of<S>(item(a_int()))),
                                                            S::repeat(item(a_int())))));
         }},
        {"a field of another record", [=] { return record(field("r", a_int(), false)); },
         [=] { return open_record(field("r", a_int_open(), false)); }, [=] { return record(field("r", a_int(), false)); }},
        {"a rule value of a mapping", [=] { return make_mapping(text(), a_int()); },
         [=] { return make_mapping(text(), a_int_open()); }, [=] { return make_mapping(text(), a_int()); }},
        {"an object gains no rules", [=] { return make_object(1, list_of<Field>(field("x", a_int()))); },
         [=] { return make_object(1, list_of<Field>(field("x", a_int_open()))); },
         [=] { return make_object(1, list_of<Field>(field("x", a_int()))); }},
        {"a back edge is not followed", [] { return make_back_edge(0); }, [] { return make_back_edge(0); },
         [] { return make_back_edge(0); }},
    };
    for (const OpenCase& c : cases) {
        const NodePtr input = c.input();
        EXPECT_TRUE(equal_nodes(*set_open(*input, true), *c.opened())) << c.label << " opened";
        EXPECT_TRUE(equal_nodes(*set_open(*input, false), *c.closed())) << c.label << " closed";
    }
}

TEST(SetOpen, ClosingAnOpenedRecordGivesItBack) {
    const NodePtr original = record(field("a", integer()), field("b", text(), false));
    const NodePtr round_trip = set_open(*set_open(*original, true), false);
    EXPECT_TRUE(equal_nodes(*round_trip, *original));
}

}  // namespace
}  // namespace kestrune
