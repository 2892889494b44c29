#include "walk/walk_memo.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

#include "kestrune/core/fxhash.hpp"
#include "walk/walk_state.hpp"

namespace kestrune::py {

WalkMemo::WalkMemo(FatalSlot& fatal, std::span<const GuardEntry> road) : fatal_(fatal), steps_(64) {
    roads_.emplace_back();
    road_.push_back(0);
    for (const GuardEntry& entry : road) road_.push_back(step_to(road_.back(), entry.identity, entry.definition));
}

bool WalkMemo::before_python_call() {
    if (speculating_) {
        // The stop flag unwinds the speculation; end_speculation clears it again.
        aborted_ = true;
        fatal_.stop = true;
        return false;
    }
    ++calls_;
    return true;
}

void WalkMemo::count_freeing_release() {
    ++calls_;
    if (speculating_) {
        aborted_ = true;
        fatal_.stop = true;
    }
}

bool WalkMemo::end_speculation() {
    speculating_ = false;
    if (!aborted_) return true;
    aborted_ = false;
    if (!fatal_.exception) fatal_.stop = false;
    return false;
}

namespace {

std::size_t step_home(std::uint32_t from, std::uint64_t identity, std::uint64_t definition) {
    FxHasher hasher;
    hasher.add_word(from);
    hasher.add_word(identity);
    hasher.add_word(definition);
    return static_cast<std::size_t>(hasher.finish());
}

}  // namespace

std::uint32_t WalkMemo::step_to(std::uint32_t from, std::uint64_t identity, std::uint64_t definition) {
    const std::size_t mask = steps_.size() - 1;
    for (std::size_t slot = step_home(from, identity, definition) & mask;; slot = (slot + 1) & mask) {
        Step& step = steps_[slot];
        if (step.to == 0) {
            step = Step{identity, definition, from, static_cast<std::uint32_t>(roads_.size())};
            roads_.emplace_back();
            if (roads_.size() * 2 > steps_.size()) grow_steps();
            return static_cast<std::uint32_t>(roads_.size() - 1);
        }
        if (step.from == from && step.identity == identity && step.definition == definition) return step.to;
    }
}

void WalkMemo::grow_steps() {
    std::vector<Step> old(steps_.size() * 2);
    old.swap(steps_);
    const std::size_t mask = steps_.size() - 1;
    for (const Step& step : old) {
        if (step.to == 0) continue;
        std::size_t slot = step_home(step.from, step.identity, step.definition) & mask;
        while (steps_[slot].to != 0) slot = (slot + 1) & mask;
        steps_[slot] = step;
    }
}

void WalkMemo::enter(std::uint64_t identity, std::uint64_t definition) {
    ++expansions_;
    road_.push_back(step_to(road_.back(), identity, definition));
}

WalkMemo::Outcome WalkMemo::find(Mode mode, std::size_t path_length) {
    const Walked& walked = slot(mode);
    if (!walked.known || walked.calls != calls_) return {false, false};
    if (mode == Mode::Measuring && walked.reach > 0) note_record(path_length + walked.reach - 1);
    return {true, walked.verdict};
}

void WalkMemo::remember(Mode mode, std::uint64_t calls_at_start, bool verdict, std::size_t path_length,
                        std::size_t counted) {
    if (fatal_.stop || calls_ != calls_at_start) return;
    const std::size_t reach = counted == 0 ? 0 : counted - path_length;
    slot(mode) = Walked{calls_, static_cast<std::uint32_t>(reach), verdict, true};
}

namespace {

// A node without children: no definition can be expanded under it.
bool is_leaf(const SchemaNode& node) {
    return node.kind <= NodeKind::Literal || node.kind == NodeKind::Instance || node.kind == NodeKind::Placeholder;
}

// The built-in kind of value a node can admit at most; Other for any.
enum class ValueKind { List, Tuple, Set, FrozenSet, Dict, Other };

ValueKind admitted_kind(const SchemaNode& node) {
    const SchemaNode* base = &node;
    while (base->kind == NodeKind::Refinement && base->child) base = base->child.get();
    switch (base->kind) {
        case NodeKind::Sequence: return base->sequence_kind == SequenceKind::List ? ValueKind::List : ValueKind::Tuple;
        case NodeKind::Set: return ValueKind::Set;
        case NodeKind::FrozenSet: return ValueKind::FrozenSet;
        case NodeKind::Dict: return ValueKind::Dict;
        default: return ValueKind::Other;
    }
}

// Whether two of the parts can both walk into one value.
bool two_may_meet(const std::vector<const SchemaNode*>& parts) {
    std::array<int, 6> counts{};
    for (const SchemaNode* part : parts) ++counts[static_cast<std::size_t>(admitted_kind(*part))];
    const int others = counts[static_cast<std::size_t>(ValueKind::Other)];
    if (others > 0) return parts.size() > 1;
    return std::any_of(counts.begin(), counts.end(), [](int count) { return count > 1; });
}

}  // namespace

void note_revisits(const SchemaNode& node, WalkRevisits& revisits) {
    std::vector<const SchemaNode*> parts;
    switch (node.kind) {
        case NodeKind::Union:
        case NodeKind::Intersection:
            for (const NodePtr& member : node.members) {
                if (!is_leaf(*member)) parts.push_back(member.get());
            }
            // An intersection walks every member; a union tries them in turn.
            if (node.kind == NodeKind::Intersection ? parts.size() > 1 : two_may_meet(parts)) revisits.answering = true;
            // A failing union walks its members again to explain it.
            if (node.kind == NodeKind::Union && !parts.empty()) revisits.collecting = true;
            break;
        case NodeKind::Dict: {
            // Namesake fields each walk the last value of their name in a JSON object.
            std::unordered_set<std::string_view> names;
            bool namesakes = false;
            for (const Field& field : node.fields) {
                namesakes = !names.insert(field.name).second || namesakes;
                if (!is_leaf(*field.schema)) parts.push_back(field.schema.get());
            }
            std::size_t rules_walking_values = 0;
            for (const KeyRule& rule : node.rules) {
                if (!is_leaf(*rule.value)) parts.push_back(rule.value.get());
                if (!is_leaf(*rule.key)) parts.push_back(rule.key.get());
                rules_walking_values += is_leaf(*rule.value) && is_leaf(*rule.key) ? 0 : 1;
            }
            // Key rules are tried in turn on one entry.
            if ((namesakes && !parts.empty()) || rules_walking_values > 1) revisits.answering = true;
            // A failing record walks its fields again to explain it.
            if (!parts.empty()) revisits.collecting = true;
            break;
        }
        default: break;
    }
    revisits.collecting = revisits.collecting || revisits.answering;
}

bool is_plain_scalar(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    return object == Py_None || type == &PyBool_Type || type == &PyLong_Type || type == &PyFloat_Type ||
           type == &PyUnicode_Type || type == &PyBytes_Type;
}

bool is_plain_key(PyObject* key) {
    // bytes are left out: comparing them with a str may warn, and warnings run code.
    return is_plain_scalar(key) && !PyBytes_CheckExact(key);
}

namespace {

// Past this many objects a value counts as not plain: a bound on one scan, which
// also ends it on a value that contains itself.
constexpr std::size_t kPlainScanLimit = 4096;

}  // namespace

bool WalkMemo::has_plain_repr(WalkValue value) {
    if (value.is_json()) return true;
    scan_.assign(1, value.object());
    std::vector<PyObject*> containers;
    std::size_t seen = 0;
    while (!scan_.empty()) {
        PyObject* object = scan_.back();
        scan_.pop_back();
        if (is_plain_scalar(object)) continue;
        if (const std::uint64_t* found = plain_containers_.find(reinterpret_cast<std::uintptr_t>(object));
            found != nullptr && *found == calls_) {
            continue;
        }
        if (++seen > kPlainScanLimit) return false;
        PyTypeObject* type = Py_TYPE(object);
        if (type == &PyList_Type || type == &PyTuple_Type) {
            // Nothing runs during the scan, so the items stay where they are.
            PyObject* const* items = PySequence_Fast_ITEMS(object);
            scan_.insert(scan_.end(), items, items + Py_SIZE(object));
        } else if (type == &PyDict_Type) {
            Py_ssize_t position = 0;
            PyObject* key = nullptr;
            PyObject* item = nullptr;
            while (PyDict_Next(object, &position, &key, &item)) {
                scan_.push_back(key);
                scan_.push_back(item);
            }
        } else {
            return false;
        }
        containers.push_back(object);
    }
    for (PyObject* container : containers) {
        *plain_containers_.try_emplace(reinterpret_cast<std::uintptr_t>(container)).first = calls_;
    }
    return true;
}

}  // namespace kestrune::py
