// Reuse of finished walks within one check.
//
// A recursive schema with unions meets one value with one definition again and
// again: each member of a union of records walks the same child, and a failing
// union walks its members once more to explain the failure. Without reuse the work
// doubles with every level of the value. With it, an expansion of a definition for
// a value is answered from an earlier one when nothing a caller can observe tells
// the two apart:
// - the recursion guard holds the same back edges (a road id names the guard's
//   content), so loops and the depth limit answer alike;
// - the walk is in the same mode;
// - the earlier walk ran no Python code but the interpreter's own on built-in
//   values, and none has run since. Without such a call nothing the walk reads can
//   have changed, so it would do exactly the same again, and skipping it skips no
//   call a caller could see.
//
// A failing union picks the member whose records reach deepest. To learn the depths
// without making (and dropping) every member's records, a member is first walked
// speculatively in measuring mode: records are only counted, and the first Python
// call that could run code of the caller's ends the speculation before it runs (the
// member is then walked as usual). Only the chosen member's records are made.
//
// The memo lives for one call: it grows with the expansions the call walks and the
// containers its records show, and is freed when the call returns.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <array>
#include <utility>
#include <span>
#include <vector>

#include "kestrune/core/schema_node.hpp"
#include "walk/identity_map.hpp"
#include "walk/precompute.hpp"
#include "walk/walk_value.hpp"

namespace kestrune::py {

struct FatalSlot;

class WalkMemo {
public:
    // Starts on the road of the back edges being expanded, innermost last.
    struct GuardEntry {
        std::uint64_t identity;
        std::uint64_t definition;
    };
    WalkMemo(FatalSlot& fatal, std::span<const GuardEntry> road);

    // Before a Python call that may run code of the caller's (a predicate, __eq__,
    // __instancecheck__, an attribute fetch, a repr). False when a speculation must
    // end here instead: the call is not made and the walk unwinds at once.
    bool before_python_call();

    // Before the walk drops the last reference to a value that frees running code
    // of the caller's: counted as a Python call. The release cannot be skipped, so a
    // speculation in progress ends after it (the member is then walked as usual).
    void count_freeing_release();

    // The expansion of a definition for a value starts (after the guard took it) and
    // ends (before the guard drops it).
    void enter(std::uint64_t identity, std::uint64_t definition);
    void leave() { road_.pop_back(); }

    // The modes a walk is remembered in. A walk that makes records is remembered
    // only when it made none: records are never made up from memory.
    enum class Mode { Answering, Measuring, Recording, RecordingFailFast };

    // The earlier walk of the current expansion in this mode, when it may stand in
    // for a new one; measuring, its records' depth is noted.
    struct Outcome {
        bool found;
        bool verdict;
    };
    Outcome find(Mode mode, std::size_t path_length);
    // Remembers the walk of the current expansion that started when `calls_at_start`
    // Python calls had been made; kept only when it made none and was not cut short.
    // `counted` is what the count of its records ended with, when measuring.
    void remember(Mode mode, std::uint64_t calls_at_start, bool verdict, std::size_t path_length,
                  std::size_t counted);
    std::uint64_t calls() const { return calls_; }

    // Measuring counts records by the greatest path length among them. A count
    // starts empty and its end gives that length + 1, or 0 when there was none; the
    // count around it goes on with `outer` (and with `inner` too when the records
    // counted belong to it).
    std::size_t begin_count() { return std::exchange(counted_, 0); }
    std::size_t end_count(std::size_t outer, bool keep) {
        const std::size_t inner = counted_;
        counted_ = keep ? std::max(outer, inner) : outer;
        return inner;
    }
    void note_record(std::size_t path_length) { counted_ = std::max(counted_, path_length + 1); }

    // A speculation runs between these two; the end answers whether it ran through
    // without needing a Python call.
    void begin_speculation() { speculating_ = true; }
    bool end_speculation();

    // Whether repr() of the value runs only the interpreter's own code: built-in
    // scalars and built-in containers of them (a JSON value is shown through such
    // objects). Containers found so are remembered until the next Python call.
    bool has_plain_repr(WalkValue value);

    // Expansions entered since the memo started.
    std::uint64_t expansions() const { return expansions_; }

private:
    struct Walked {
        std::uint64_t calls = 0;
        std::uint32_t reach = 0;  // greatest record path length below the value + 1, 0 for none
        bool verdict = false;
        bool known = false;
    };
    using Road = std::array<Walked, 4>;  // by Mode
    // A road and the expansion taken from it, with the road that leads to (0 for a
    // free slot: no step leads back to the empty road).
    struct Step {
        std::uint64_t identity = 0;
        std::uint64_t definition = 0;
        std::uint32_t from = 0;
        std::uint32_t to = 0;
    };

    std::uint32_t step_to(std::uint32_t from, std::uint64_t identity, std::uint64_t definition);
    void grow_steps();

    Walked& slot(Mode mode) { return roads_[road_.back()][static_cast<std::size_t>(mode)]; }

    FatalSlot& fatal_;
    std::uint64_t calls_ = 0;
    std::uint64_t expansions_ = 0;
    std::size_t counted_ = 0;
    bool speculating_ = false;
    bool aborted_ = false;
    std::vector<Road> roads_;          // by road id; 0 is the empty guard
    std::vector<std::uint32_t> road_;  // the current road id, innermost last
    std::vector<Step> steps_;          // open addressing, at most half full
    IdentityMap<std::uint64_t> plain_containers_;  // the calls made when each was found plain
    std::vector<PyObject*> scan_;

};

// Adds what the node's own rule means for revisits (precompute, once per validator).
void note_revisits(const SchemaNode& node, WalkRevisits& revisits);

// Whether the object's type is one of the built-in scalars (None, bool, int, float,
// str, bytes), whose comparisons, repr and hashing run no Python code.
bool is_plain_scalar(PyObject* object);

// Whether str() and comparison with a str of this dict key run no Python code.
bool is_plain_key(PyObject* key);

}  // namespace kestrune::py
