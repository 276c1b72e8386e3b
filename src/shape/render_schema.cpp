// The outline is written into one buffer in a single walk. A container that
// is the value of a field line is written without the indent of its first
// line, so its opening bracket follows the key's ": "; its other lines carry
// their own indentation.
#include <charconv>

#include "shape/internal_fault.h"
#include "shape/leaf_text.h"
#include "shape/schema.h"

namespace plomet {

namespace {

constexpr const char* kArrayItemNotScalar = "array primitive branch should only receive scalar item schemas";
constexpr const char* kFieldValueWithoutKind =
    "internal error: entered unreachable code: scalar schemas are returned above";
constexpr const char* kNodeWithoutKind =
    "internal error: entered unreachable code: non-scalar schemas are handled above";

class Renderer {
 public:
  Renderer(std::string& out, bool show_examples) : out_(out), show_examples_(show_examples) {}

  // The node's text with its first line starting at depth; indent_first
  // false leaves that first indent out.
  void node(const Schema& schema, std::size_t depth, bool indent_first) {
    if (indent_first) indent(depth);
    if (append_scalar_text(out_, schema, show_examples_)) return;
    if (const auto* object = std::get_if<ObjectSchema>(&schema.payload)) {
      out_.push_back('{');
      fields(*object, depth + 1);
      line(depth);
      out_.push_back('}');
    } else if (const auto* array = std::get_if<ArraySchema>(&schema.payload)) {
      this->array(*array, depth);
    } else {
      throw InternalFault(kNodeWithoutKind);
    }
  }

 private:
  void array(const ArraySchema& array, std::size_t depth) {
    out_.push_back('[');
    const Schema* item = array.item.get();
    if (item != nullptr && item->is(Schema::Kind::Array)) {
      line(depth + 1);
      node(*item, depth + 1, false);
    } else if (item != nullptr && item->is(Schema::Kind::Object)) {
      line(depth + 1);
      out_.push_back('{');
      fields(std::get<ObjectSchema>(item->payload), depth + 2);
      line(depth + 1);
      if (array.max_items == 1 || !show_examples_) {
        out_.push_back('}');
      } else {
        out_.append("},");
        line(depth);
        out_.append("...  // ");
        append_count(array.max_items);
        out_.append(" items");
      }
    } else {
      line(depth + 1);
      if (item == nullptr || !append_scalar_text(out_, *item, show_examples_)) {
        throw InternalFault(kArrayItemNotScalar);
      }
    }
    line(depth);
    out_.push_back(']');
  }

  // One line per field at field_depth, each after a line feed; container
  // values are rendered at the same depth as their key.
  void fields(const ObjectSchema& object, std::size_t field_depth) {
    const std::size_t count = object.fields.size();
    for (std::size_t i = 0; i < count; ++i) {
      const SchemaField& field = object.fields[i];
      line(field_depth);
      append_json_string_text(out_, field.key);
      if (field.optional) out_.push_back('?');
      out_.append(": ");
      if (!append_scalar_text(out_, field.value, show_examples_)) {
        if (!field.value.is_container()) throw InternalFault(kFieldValueWithoutKind);
        node(field.value, field_depth, false);
      }
      if (i + 1 < count) out_.push_back(',');
    }
  }

  void line(std::size_t depth) {
    out_.push_back('\n');
    indent(depth);
  }

  void indent(std::size_t depth) { out_.append(2 * depth, ' '); }

  void append_count(std::uint64_t count) {
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, count);
    (void)error;
    out_.append(digits, end);
  }

  std::string& out_;
  const bool show_examples_;
};

}  // namespace

void render_schema(std::string& out, const Schema& schema, bool show_examples) {
  // A root object starts at the margin, any other root one level in.
  Renderer(out, show_examples).node(schema, schema.is(Schema::Kind::Object) ? 0 : 1, true);
}

std::string render_schema(const Schema& schema, bool show_examples) {
  std::string out;
  render_schema(out, schema, show_examples);
  return out;
}

}  // namespace plomet
