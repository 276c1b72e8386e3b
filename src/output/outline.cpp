// The outline is written into one buffer in a single walk. A container that
// is the value of a field line is written without the indent of its first
// line, so its opening bracket follows the key's ": "; its other lines carry
// their own indentation.
#include "output/outline.h"

#include <charconv>

#include "core/context.h"
#include "core/internal_fault.h"
#include "shape/leaf_text.h"
#include "text/json_string_text.h"
#include "shape/schema.h"
#include "shape/shape_summary.h"
#include "shape/summary_node.h"

namespace plomet {

namespace {

// The texts of the renderer's invariants, as the internal-fault exception
// shows them to callers; they name the checks by their fixed wording, not by
// this file's control flow.
constexpr const char* kArrayItemNotScalar = "array primitive branch should only receive scalar item schemas";
constexpr const char* kFieldValueWithoutKind =
    "internal error: entered unreachable code: scalar schemas are returned above";
constexpr const char* kNodeWithoutKind =
    "internal error: entered unreachable code: non-scalar schemas are handled above";

// Out of line, so that the recursive frames carry no exception set-up.
[[noreturn, gnu::noinline]] void fail(const char* message, const char* file_name = __builtin_FILE(),
                                      unsigned line = __builtin_LINE()) {
  throw InternalFault(message, file_name, line);
}

// How the renderer reads the two trees it writes: a Schema, and the
// positions of a summary, each written as the shape of its first kind.
bool is_object(const Schema& node) { return node.is(Schema::Kind::Object); }
bool is_object(const SummaryNode& node) { return node.first == kObjectTag; }
bool is_array(const Schema& node) { return node.is(Schema::Kind::Array); }
bool is_array(const SummaryNode& node) { return node.first == kArrayTag; }
const std::vector<SchemaField>& fields_of(const Schema& node) { return std::get<ObjectSchema>(node.payload).fields; }
const std::vector<SummaryField>& fields_of(const SummaryNode& node) { return node.fields; }
const Schema& value_of(const SchemaField& field) { return field.value; }
const SummaryNode& value_of(const SummaryField& field) { return *field.value; }
bool is_optional(const SchemaField& field) { return field.optional; }
bool is_optional(const SummaryField& field) { return field.absent; }
const Schema* item_of(const Schema& node) { return std::get<ArraySchema>(node.payload).item.get(); }
std::uint64_t max_items_of(const Schema& node) { return std::get<ArraySchema>(node.payload).max_items; }
std::uint64_t max_items_of(const SummaryNode& node) { return node.max_items; }
const SummaryNode* item_of(const SummaryNode& node) {
  // An array position with no item yet holds only empty arrays: a null item.
  static const SummaryNode kNoItem;
  return node.item ? node.item.get() : &kNoItem;
}

// The recursion runs through node, array and fields only, which keep small
// frames (the text of keys, scalars and closing lines is written by separate
// functions), so that the deepest schemas render on a small thread stack.
template <class Node>
class Renderer {
 public:
  Renderer(Context& context, std::string& out, bool show_examples, const ExampleLimits& limits)
      : context_(context), out_(out), show_examples_(show_examples), limits_(limits) {}

  // The node's text with its first line starting at depth; indent_first
  // false leaves that first indent out.
  void node(const Node& schema, std::size_t depth, bool indent_first) {
    if (indent_first) indent(depth);
    if (scalar_text(schema)) return;
    if (is_object(schema)) {
      out_.push_back('{');
      fields(schema, depth + 1);
      line_with(depth, "}");
    } else if (is_array(schema)) {
      array(schema, depth);
    } else {
      fail(kNodeWithoutKind);
    }
  }

 private:
  void array(const Node& array, std::size_t depth) {
    out_.push_back('[');
    const Node* item = item_of(array);
    if (item != nullptr && is_array(*item)) {
      line(depth + 1);
      node(*item, depth + 1, false);
    } else if (item != nullptr && is_object(*item)) {
      // The element object is written once, whatever the item count.
      line_with(depth + 1, "{");
      fields(*item, depth + 2);
      close_element_object(max_items_of(array), depth);
    } else {
      scalar_item(item, depth + 1);
    }
    line_with(depth, "]");
  }

  // One line per field at field_depth, each after a line feed; container
  // values are rendered at the same depth as their key.
  void fields(const Node& object, std::size_t field_depth) {
    const auto& fields = fields_of(object);
    const std::size_t count = fields.size();
    for (std::size_t i = 0; i < count; ++i) {
      const auto& field = fields[i];
      if (context_.poll(kValueUnits)) return;
      if (!field_start(field, field_depth)) node(value_of(field), field_depth, false);
      if (i + 1 < count) out_.push_back(',');
    }
  }

  // Writes a field line up to its value, and the value when it is a scalar;
  // returns whether the value is written.
  template <class Field>
  [[gnu::noinline]] bool field_start(const Field& field, std::size_t depth) {
    line(depth);
    append_json_string_text(out_, field.key);
    out_.append(is_optional(field) ? "?: " : ": ");
    const Node& value = value_of(field);
    if (scalar_text(value)) return true;
    if (!is_object(value) && !is_array(value)) fail(kFieldValueWithoutKind);
    return false;
  }

  [[gnu::noinline]] void scalar_item(const Node* item, std::size_t depth) {
    line(depth);
    if (item == nullptr || !scalar_text(*item)) fail(kArrayItemNotScalar);
  }

  // The element object's closing line, then the item-count line at the
  // array's own depth when examples are shown for more than one item.
  [[gnu::noinline]] void close_element_object(std::uint64_t max_items, std::size_t array_depth) {
    line(array_depth + 1);
    if (max_items == 1 || !show_examples_) {
      out_.push_back('}');
      return;
    }
    out_.append("},");
    line(array_depth);
    out_.append("...  // ");
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, max_items);
    (void)error;  // 24 bytes hold every 64-bit count
    out_.append(digits, end);
    out_.append(" items");
  }

  // A new line at depth holding text.
  [[gnu::noinline]] void line_with(std::size_t depth, const char* text) {
    line(depth);
    out_.append(text);
  }

  [[gnu::noinline]] void line(std::size_t depth) {
    out_.push_back('\n');
    indent(depth);
  }

  [[gnu::noinline]] void indent(std::size_t depth) { out_.append(2 * depth, ' '); }

  // Appends the text of a scalar node, counting the bytes written as work: a
  // list of examples can be long.
  bool scalar_text(const Node& node) {
    const std::size_t before = out_.size();
    if (!append_scalar_text(out_, node, show_examples_, limits_)) return false;
    context_.poll(out_.size() - before);
    return true;
  }

  Context& context_;
  std::string& out_;
  const bool show_examples_;
  const ExampleLimits& limits_;
};

}  // namespace

void render_schema(Context& context, std::string& out, const Schema& schema, bool show_examples,
                   const ExampleLimits& limits) {
  // A root object starts at the margin, any other root one level in.
  Renderer<Schema>(context, out, show_examples, limits).node(schema, is_object(schema) ? 0 : 1, true);
}

void render_schema(Context& context, std::string& out, const SummaryNode& root, bool show_examples,
                   const ExampleLimits& limits) {
  Renderer<SummaryNode>(context, out, show_examples, limits).node(root, is_object(root) ? 0 : 1, true);
}

std::string render_schema(const Schema& schema, bool show_examples) {
  Context context;
  std::string out;
  render_schema(context, out, schema, show_examples);
  return out;
}

void render_only_document(Context& context, std::string& out, const ShapeSummary& summary, bool show_examples,
                          const ExampleLimits& limits) {
  render_schema(context, out, summary.root(), show_examples && summary.keeps_examples(), limits);
}

std::string render_documents_outline(Context& context, const ShapeSummary& summary, bool show_examples,
                                     const ExampleLimits& limits) {
  std::string text;
  render_schema(context, text, summary.documents_schema(), show_examples && summary.keeps_examples(), limits);
  return text;
}

}  // namespace plomet
