#include "render/render_schema.hpp"

#include <string_view>

#include "errors/text_helpers.hpp"
#include "kestrune/core/native_stack.hpp"

namespace kestrune::py {

namespace {

constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kUnknown = "<unknown>";

class Renderer {
public:
    Renderer(const ConstantsPool& pool, const std::vector<NodePtr>& definitions, RenderGuard& guard)
        : pool_(pool), definitions_(definitions), guard_(guard) {}

    // Appends the text of `node`; false once the native stack ran low.
    bool write(const SchemaNode& node) {
        if (native_stack_is_low()) {
            PyErr_SetString(PyExc_RecursionError, "schema is nested too deeply to render");
            return false;
        }
        switch (node.kind) {
            case NodeKind::Anything: return text("anything");
            case NodeKind::Any: return text("Any");
            case NodeKind::Nothing: return text("nothing");
            case NodeKind::NoneType: return text("None");
            case NodeKind::Bool: return text("bool");
            case NodeKind::Int: return text("int");
            case NodeKind::Float: return text("float");
            case NodeKind::Str: return text("str");
            case NodeKind::Bytes: return text("bytes");
            case NodeKind::Literal: return text("Literal[") && constant(node.index) && text("]");
            case NodeKind::Sequence: return sequence(node);
            case NodeKind::Set: return text("set[") && write(*node.child) && text("]");
            case NodeKind::FrozenSet: return text("frozenset[") && write(*node.child) && text("]");
            case NodeKind::Dict: return dict(node);
            case NodeKind::Union: return joined(node.members, " | ");
            case NodeKind::Intersection: return text("intersection(") && joined(node.members, ", ") && text(")");
            case NodeKind::Complement: return text("complement(") && write(*node.child) && text(")");
            case NodeKind::Instance:
            case NodeKind::Object:
                return text(pool_.contains_index(node.index) ? format_class_name(pool_.at(node.index))
                                                             : std::string(kUnknown));
            case NodeKind::Refinement: return refinement(node);
            case NodeKind::BackEdge: return back_edge(node.index);
            case NodeKind::Placeholder: return text(kEllipsis);
        }
        return true;
    }

    std::string take() { return std::move(out_); }

private:
    bool text(std::string_view piece) {
        out_ += piece;
        return true;
    }

    bool constant(std::uint64_t index) {
        return text(pool_.contains_index(index) ? format_repr(pool_.at(index)) : std::string(kUnknown));
    }

    bool joined(const std::vector<NodePtr>& nodes, std::string_view separator) {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (i > 0) out_ += separator;
            if (!write(*nodes[i])) return false;
        }
        return true;
    }

    bool sequence(const SchemaNode& node) {
        std::optional<SimpleShape> simple = simple_shape(*node.shape);
        if (!simple) return text("<sequence>");
        bool is_list = node.sequence_kind == SequenceKind::List;
        if (simple->prefix.empty() && simple->rest != nullptr) {
            return text(is_list ? "list[" : "tuple[") && write(*simple->rest) && text(is_list ? "]" : ", ...]");
        }
        text(is_list ? "[" : "tuple[");
        for (std::size_t i = 0; i < simple->prefix.size(); ++i) {
            if (i > 0) out_ += ", ";
            if (!write(*simple->prefix[i])) return false;
        }
        if (simple->rest != nullptr) {
            if (!simple->prefix.empty()) out_ += ", ";
            if (!write(*simple->rest)) return false;
            out_ += ", ...";
        }
        return text("]");
    }

    bool dict(const SchemaNode& node) {
        if (node.fields.empty() && node.rules.size() == 1) {
            const KeyRule& rule = node.rules.front();
            return text("dict[") && write(*rule.key) && text(", ") && write(*rule.value) && text("]");
        }
        out_ += '{';
        bool first = true;
        auto separate = [&] {
            if (!first) out_ += ", ";
            first = false;
        };
        for (const Field& field : node.fields) {
            separate();
            out_ += '\'';
            out_ += field.name;
            out_ += field.required ? "': " : "?': ";
            if (!write(*field.schema)) return false;
        }
        for (const KeyRule& rule : node.rules) {
            separate();
            if (rule.key->kind == NodeKind::Anything && rule.value->kind == NodeKind::Anything) {
                out_ += kEllipsis;
            } else if (!(write(*rule.key) && text(": ") && write(*rule.value))) {
                return false;
            }
        }
        return text("}");
    }

    bool refinement(const SchemaNode& node) {
        if (!(text("Annotated[") && write(*node.child))) return false;
        for (const Constraint& constraint : node.constraints) {
            out_ += ", ";
            switch (constraint.kind) {
                case ConstraintKind::Ge: text("Ge(") && constant(constraint.operand); break;
                case ConstraintKind::Gt: text("Gt(") && constant(constraint.operand); break;
                case ConstraintKind::Le: text("Le(") && constant(constraint.operand); break;
                case ConstraintKind::Lt: text("Lt(") && constant(constraint.operand); break;
                case ConstraintKind::MultipleOf: text("MultipleOf(") && constant(constraint.operand); break;
                case ConstraintKind::MinLength: out_ += "MinLen(" + std::to_string(constraint.operand); break;
                case ConstraintKind::MaxLength: out_ += "MaxLen(" + std::to_string(constraint.operand); break;
                case ConstraintKind::Func: out_ += "Predicate(..."; break;
                case ConstraintKind::Pattern: out_ += "Regex(" + quote_text(constraint.pattern); break;
            }
            out_ += ')';
        }
        return text("]");
    }

    bool back_edge(std::uint64_t target) {
        if (guard_.contains(target) || target >= definitions_.size()) return text(kEllipsis);
        guard_.insert(target);
        bool written = write(*definitions_[target]);
        guard_.erase(target);
        return written;
    }

    const ConstantsPool& pool_;
    const std::vector<NodePtr>& definitions_;
    RenderGuard& guard_;
    std::string out_;
};

}  // namespace

std::optional<std::string> render_schema(const SchemaNode& node, const ConstantsPool& pool,
                                         const std::vector<NodePtr>& definitions, RenderGuard& guard) {
    Renderer renderer(pool, definitions, guard);
    if (!renderer.write(node)) return std::nullopt;
    return renderer.take();
}

}  // namespace kestrune::py
