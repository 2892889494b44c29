#include "walk/precompute.hpp"

#include <optional>
#include <utility>
#include <vector>

#include "validator/validator.hpp"
#include "walk/field_value_checks.hpp"
#include "walk/walk_memo.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

// An exactly-int object as a signed 64-bit integer; none when it does not fit.
std::optional<std::int64_t> exact_int_value(PyObject* object) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow != 0 || (value == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return std::nullopt;
    }
    return value;
}

// Replaces each name with an interned str of the same text that the class holds:
// the keys of the namespaces along its MRO and of the annotations kept there,
// which is where its field names were read from. Every interned str of a text is
// one object, the keys that code such as `self.x = x` stores in an instance dict
// included, so a fetch by such a name finds its entry by identity, without
// comparing texts. Nothing new is interned (interned strs live for good); the
// names are held like the ones they replace. Reads the dicts in place, comparing
// exact strs only: no Python code runs.
void adopt_interned_names(PyTypeObject* cls, std::vector<PyRef>& names) {
    std::vector<Py_hash_t> hashes;
    hashes.reserve(names.size());
    for (const PyRef& name : names) hashes.push_back(PyObject_Hash(name.get()));  // cannot fail for a str
    auto consider = [&](PyObject* key) {
        if (!PyUnicode_CheckExact(key) || !PyUnicode_CHECK_INTERNED(key)) return;
        const Py_hash_t hash = PyObject_Hash(key);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (hashes[i] == hash && !PyUnicode_CHECK_INTERNED(names[i].get()) &&
                PyUnicode_Compare(names[i].get(), key) == 0) {
                names[i] = PyRef::borrow(key);
            }
        }
    };
    auto consider_keys = [&](PyObject* dict) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(dict, &position, &key, &value)) consider(key);
    };
    PyObject* mro = cls->tp_mro;
    if (mro == nullptr || !PyTuple_Check(mro)) return;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
        PyObject* base = PyTuple_GET_ITEM(mro, i);
        if (!PyType_Check(base)) continue;
        const PyRef namespace_dict = PyRef::steal(PyType_GetDict(reinterpret_cast<PyTypeObject*>(base)));
        if (!namespace_dict || !PyDict_Check(namespace_dict.get())) continue;
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(namespace_dict.get(), &position, &key, &value)) {
            consider(key);
            // A class's annotations, as written or as computed on first use.
            if (PyDict_CheckExact(value) && PyUnicode_CheckExact(key) &&
                (PyUnicode_CompareWithASCIIString(key, "__annotations__") == 0 ||
                 PyUnicode_CompareWithASCIIString(key, "__annotations_cache__") == 0)) {
                consider_keys(value);
            }
        }
    }
}

// Visits the tree iteratively: combinators build trees far deeper than a native
// recursion could follow, and building the tables must not fail.
class TableBuilder {
public:
    explicit TableBuilder(const ConstantsPool& constants) : constants_(constants) {}

    void add_tree(const SchemaNode& root) {
        pending_.push_back(&root);
        while (!pending_.empty()) {
            const SchemaNode& node = *pending_.back();
            pending_.pop_back();
            add_node(node);
        }
    }

    // The walks of a validator without definitions never expand one twice.
    Precompute take(bool recursive) {
        if (!recursive) tables_.revisits = {};
        return std::move(tables_);
    }

private:
    void visit(const NodePtr& node) {
        if (node) pending_.push_back(node.get());
    }

    void add_node(const SchemaNode& node) {
        note_revisits(node, tables_.revisits);
        switch (node.kind) {
            case NodeKind::Sequence:
                if (node.shape) add_shape(*node.shape);
                break;
            case NodeKind::Set:
            case NodeKind::FrozenSet:
            case NodeKind::Complement: visit(node.child); break;
            case NodeKind::Object:
                add_field_names(node.fields, object_class(node));
                for (const Field& field : node.fields) visit(field.schema);
                break;
            case NodeKind::Intersection:
                for (const NodePtr& member : node.members) visit(member);
                break;
            case NodeKind::Dict:
                add_record_index(node.fields);
                add_field_names(node.fields, nullptr);
                for (const Field& field : node.fields) visit(field.schema);
                for (const KeyRule& rule : node.rules) {
                    visit(rule.key);
                    visit(rule.value);
                }
                break;
            case NodeKind::Union:
                add_literal_sets(node.members);
                for (const NodePtr& member : node.members) visit(member);
                break;
            case NodeKind::Refinement:
                visit(node.child);
                for (const Constraint& constraint : node.constraints) add_pattern(constraint);
                break;
            default: break;  // atoms, literals, instances, back edges, placeholders
        }
    }

    void add_shape(const SequenceShape& root) {
        std::vector<const SequenceShape*> shapes{&root};
        while (!shapes.empty()) {
            const SequenceShape& shape = *shapes.back();
            shapes.pop_back();
            switch (shape.kind) {
                case ShapeKind::Item: visit(shape.item); break;
                case ShapeKind::Repeat:
                    if (shape.inner) shapes.push_back(shape.inner.get());
                    break;
                case ShapeKind::Concat:
                case ShapeKind::Alternation:
                    for (const SequenceShape& part : shape.parts) shapes.push_back(&part);
                    break;
                case ShapeKind::Empty: break;
            }
        }
    }

    void add_record_index(const std::vector<Field>& fields) {
        if (fields.empty()) return;
        auto [slot, inserted] = tables_.field_index.try_emplace(storage_identity(fields));
        if (!inserted) return;
        RecordIndex& index = *slot;
        for (std::uint64_t position = 0; position < fields.size(); ++position) {
            const Field& field = fields[position];
            index.names.insert_or_assign(field.name, position);
            index.required += field.required ? 1 : 0;
            index.json_tests.push_back(json_field_test(*field.schema));
            index.tests.push_back(field_test(*field.schema));
        }
    }

    PyObject* object_class(const SchemaNode& node) const {
        if (!constants_.contains_index(node.index)) return nullptr;
        PyObject* cls = constants_.at(node.index);
        return PyType_Check(cls) ? cls : nullptr;
    }

    // `cls` is the object class the fields are attributes of, or null for a record.
    void add_field_names(const std::vector<Field>& fields, PyObject* cls) {
        if (fields.empty() || tables_.field_names.contains(storage_identity(fields))) return;
        std::vector<PyRef> names;
        names.reserve(fields.size());
        for (const Field& field : fields) {
            names.push_back(new_str(field.name));
            if (!names.back()) {
                PyErr_Clear();  // out of memory: the checks make the names themselves
                return;
            }
        }
        FieldTable& table = *tables_.field_names.try_emplace(storage_identity(fields)).first;
        if (cls != nullptr) {
            adopt_interned_names(reinterpret_cast<PyTypeObject*>(cls), names);
            for (const Field& field : fields) table.tests.push_back(field_test(*field.schema));
        }
        table.names = std::move(names);
    }

    void add_literal_sets(const std::vector<NodePtr>& members) {
        const std::uint64_t key = storage_identity(members);
        if (tables_.literal_sets.contains(key)) return;
        LiteralSets sets;
        for (const NodePtr& member : members) {
            if (member->kind != NodeKind::Literal || !constants_.contains_index(member->index)) return;
            PyObject* constant = constants_.at(member->index);
            if (PyLong_CheckExact(constant)) {
                if (std::optional<std::int64_t> value = exact_int_value(constant)) sets.ints.insert(*value);
            } else if (PyUnicode_CheckExact(constant)) {
                if (std::optional<std::string_view> text = utf8_view(constant)) sets.strs.emplace(*text);
            }
        }
        *tables_.literal_sets.try_emplace(key).first = std::move(sets);
    }

    void add_pattern(const Constraint& constraint) {
        if (constraint.kind != ConstraintKind::Pattern || tables_.pattern_cache.contains(constraint.pattern)) return;
        PatternCompilation compiled = compile_pattern(constraint.pattern);
        if (compiled.pattern) tables_.pattern_cache.emplace(constraint.pattern, std::move(compiled.pattern));
    }

    const ConstantsPool& constants_;
    Precompute tables_;
    std::vector<const SchemaNode*> pending_;
};

}  // namespace

Precompute build_precompute(const ValidatorValue& validator) {
    TableBuilder builder(validator.constants);
    builder.add_tree(*validator.schema);
    for (const NodePtr& definition : validator.definitions) builder.add_tree(*definition);
    return builder.take(!validator.definitions.empty());
}

LiteralAnswer lookup_literal_union(const LiteralSets& sets, WalkValue value) {
    if (value.is_json()) return LiteralAnswer::NotApplicable;
    PyObject* object = value.object();
    bool found;
    if (PyLong_CheckExact(object)) {
        const std::optional<std::int64_t> integer = exact_int_value(object);
        if (!integer) return LiteralAnswer::NotApplicable;
        found = sets.ints.contains(*integer);
    } else if (PyUnicode_CheckExact(object)) {
        const std::optional<std::string_view> text = utf8_view(object);
        if (!text) return LiteralAnswer::NotApplicable;
        found = sets.strs.contains(*text);
    } else {
        return LiteralAnswer::NotApplicable;
    }
    return found ? LiteralAnswer::Member : LiteralAnswer::NotMember;
}

}  // namespace kestrune::py
