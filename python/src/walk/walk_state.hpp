// The per-call context every node visit receives.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "compiler/constants_pool.hpp"
#include "walk/precompute.hpp"
#include "walk/walk_memo.hpp"
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
    using Key = WalkMemo::GuardEntry;

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
    std::span<const Key> entries() const { return {entries_.data(), size_}; }

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

// The call's memo of finished walks, where the validator's walks may need one. An
// answering walk that may meet a value twice keeps it from the start; a collecting
// one starts it at the first failure it explains: until then it walks as an
// answering one does.
class MemoCell {
public:
    MemoCell(FatalSlot& fatal, const RecursionGuard& guard, bool start_now, bool may_start)
        : fatal_(fatal), guard_(guard), may_start_(may_start || start_now) {
        if (start_now) start();
    }
    MemoCell(const MemoCell&) = delete;
    MemoCell& operator=(const MemoCell&) = delete;

    WalkMemo* get() const { return memo_; }
    // False for the walks that never keep one.
    bool possible() const { return may_start_; }
    void start() {
        if (memo_ != nullptr || !may_start_) return;
        storage_.emplace(fatal_, guard_.entries());
        memo_ = &*storage_;
    }

private:
    FatalSlot& fatal_;
    const RecursionGuard& guard_;
    bool may_start_;
    WalkMemo* memo_ = nullptr;
    std::optional<WalkMemo> storage_;
};

struct WalkState {
    const ConstantsPool& constants;
    const std::vector<NodePtr>& definitions;
    const Precompute& precompute;
    RecursionGuard& recursion_guard;
    FatalSlot& fatal;
    MemoCell& memo_cell;
    bool collect;
    bool fail_fast;
    // Collecting that only counts records (a speculation of the memo).
    bool measure;
    // native_stack_floor() of the walking thread.
    std::uintptr_t stack_floor;

    // Null when the validator's walks cannot meet a value twice, before a collecting
    // walk's first explained failure, and with reuse switched off.
    WalkMemo* memo() const { return memo_cell.get(); }

    WalkState with_flags(bool collect_flag, bool fail_fast_flag) const {
        return {constants, definitions,    precompute,     recursion_guard,         fatal,
                memo_cell, collect_flag,   fail_fast_flag, measure && collect_flag, stack_floor};
    }
    // Only asking whether a value is a member.
    WalkState answering() const { return with_flags(false, true); }
    // Collecting as this state does, with records made (or only counted).
    WalkState measuring(bool measure_flag) const {
        WalkState copy = *this;
        copy.measure = measure_flag;
        return copy;
    }
    // Every part of a composite is visited only when collecting without fail_fast.
    bool aggregate() const { return collect && !fail_fast; }
    // Before a Python call that may run code of the caller's; false when a
    // speculation ends instead (the call must not be made).
    bool may_call_python() const { return memo() == nullptr || memo()->before_python_call(); }
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
