// The per-call context every node visit receives.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "compiler/constants_pool.hpp"
#include "walk/precompute.hpp"
#include "kestrune/core/schema_node.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

// The back edges being expanded on the current road, each with the value it is
// expanded for. Entries leave in the reverse order they came in, so the set is a
// stack; it never holds more than kLimit + 1 entries, which keeps it inline and the
// walk free of allocations.
class RecursionGuard {
public:
    static constexpr std::size_t kLimit = 128;
    struct Key {
        std::uint64_t identity;
        std::uint64_t definition;
    };

    bool contains(Key key) const {
        for (std::size_t i = 0; i < size_; ++i) {
            if (entries_[i].identity == key.identity && entries_[i].definition == key.definition) return true;
        }
        return false;
    }
    // False (and nothing inserted) when the limit is already reached.
    bool try_push(Key key) {
        if (size_ == kLimit) return false;
        entries_[size_++] = key;
        return true;
    }
    void pop() { --size_; }

private:
    // Only the first size_ entries are ever read: left unfilled, a call does not pay
    // for clearing 2 KiB it mostly never touches.
    std::array<Key, kLimit> entries_;
    std::size_t size_ = 0;
};

// The first fatal exception of a call and the stop flag it sets.
struct FatalSlot {
    PyRef exception;
    bool stop = false;
};

struct WalkState {
    const ConstantsPool& constants;
    const std::vector<NodePtr>& definitions;
    const Precompute& precompute;
    RecursionGuard& recursion_guard;
    FatalSlot& fatal;
    bool collect;
    bool fail_fast;
    // native_stack_floor() of the walking thread.
    std::uintptr_t stack_floor;

    WalkState with_flags(bool collect_flag, bool fail_fast_flag) const {
        return {constants, definitions, precompute, recursion_guard, fatal, collect_flag, fail_fast_flag, stack_floor};
    }
    // Only asking whether a value is a member.
    WalkState answering() const { return with_flags(false, true); }
    // Every part of a composite is visited only when collecting without fail_fast.
    bool aggregate() const { return collect && !fail_fast; }
};

// Not an Exception, or a MemoryError or RecursionError.
bool is_fatal_exception(PyObject* exception);

// Keeps the first exception; sets the stop flag either way.
void store_fatal_error(PyRef exception, FatalSlot& fatal);

// The outcome of an interpreter call that decides a verdict: 1 member, 0 not, -1
// with an exception set, which is stored when fatal and discarded otherwise.
bool absorb_call_error(int outcome, FatalSlot& fatal);

// Stores the current exception as fatal, whatever its type: for failures that end
// the whole check (a dict changed while iterated, the native stack running low).
void end_check_with_current_error(FatalSlot& fatal);

}  // namespace kestrune::py
