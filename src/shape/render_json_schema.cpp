#include "shape/render_json_schema.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "text/float_text.h"
#include "text/json_string_text.h"
#include "text/number_text.h"

namespace plomet {

namespace {

constexpr std::string_view kDialect = "https://json-schema.org/draft/2020-12/schema";

// Writes one schema object per node. Each keyword starts a line of its own;
// the recursion runs through node, items and properties, one level per
// nesting level of the shape.
class JsonSchemaWriter {
 public:
  JsonSchemaWriter(std::string& out, bool show_examples, const ExampleLimits& limits)
      : out_(out), show_examples_(show_examples), limits_(limits) {}

  void root(const Schema& schema) {
    out_.push_back('{');
    keyword(1, "$schema");
    append_json_string_text(out_, kDialect);
    members(schema, 1);
    close(0);
  }

 private:
  // The schema object of a node, opening brace first.
  void node(const Schema& schema, std::size_t depth) {
    out_.push_back('{');
    members(schema, depth + 1);
    close(depth);
  }

  // The keywords of a node at depth, each after a comma when one precedes it.
  void members(const Schema& schema, std::size_t depth) {
    switch (static_cast<Schema::Kind>(schema.payload.index())) {
      case Schema::Kind::Null: type(depth, "null"); break;
      case Schema::Kind::Bool: {
        type(depth, "boolean");
        const std::optional<bool>& example = std::get<BoolSchema>(schema.payload).example;
        if (show_examples_ && example) {
          keyword(depth, "examples");
          out_.append(*example ? "[true]" : "[false]");
        }
        break;
      }
      case Schema::Kind::Int:
        type(depth, "integer");
        examples(depth, std::get<IntSchema>(schema.payload).examples, [this](std::int64_t v) {
          number_text::append_integer_text(out_, v);
          return false;
        });
        break;
      case Schema::Kind::Float:
        type(depth, "number");
        examples(depth, std::get<FloatSchema>(schema.payload).examples, [this](double v) {
          // With a fraction or an exponent, so that readers take it as a float.
          append_compact_float(out_, v);
          return false;
        });
        break;
      case Schema::Kind::Str:
        type(depth, "string");
        examples(depth, std::get<StrSchema>(schema.payload).examples, [this](std::string_view v) {
          const ExampleCut cut = cut_string_example(v, limits_.max_example_chars);
          append_json_string_text(out_, cut.shown);
          return cut.cut_chars > 0;
        });
        break;
      case Schema::Kind::Array: items(std::get<ArraySchema>(schema.payload), depth); break;
      case Schema::Kind::Object: properties(std::get<ObjectSchema>(schema.payload), depth); break;
    }
  }

  void items(const ArraySchema& array, std::size_t depth) {
    type(depth, "array");
    keyword(depth, "items");
    // Null is what an empty first array leaves: nothing is known of the items.
    if (array.item == nullptr || array.item->is(Schema::Kind::Null)) {
      out_.append("{}");
    } else {
      node(*array.item, depth);
    }
  }

  void properties(const ObjectSchema& object, std::size_t depth) {
    type(depth, "object");
    if (object.fields.empty()) return;
    keyword(depth, "properties");
    out_.push_back('{');
    for (std::size_t i = 0; i < object.fields.size(); ++i) {
      if (i > 0) out_.push_back(',');
      line(depth + 1);
      append_json_string_text(out_, object.fields[i].key);
      out_.append(": ");
      node(object.fields[i].value, depth + 1);
    }
    close(depth);
    const bool any_required = std::any_of(object.fields.begin(), object.fields.end(),
                                          [](const SchemaField& field) { return !field.optional; });
    if (!any_required) return;
    keyword(depth, "required");
    out_.push_back('[');
    bool first = true;
    for (const SchemaField& field : object.fields) {
      if (field.optional) continue;
      if (!first) out_.append(", ");
      first = false;
      append_json_string_text(out_, field.key);
    }
    out_.push_back(']');
  }

  // The examples of a scalar node; append_one writes one and returns whether
  // it was shortened.
  template <class T, class AppendOne>
  void examples(std::size_t depth, const std::vector<T>& values, AppendOne append_one) {
    if (!show_examples_ || values.empty()) return;
    const std::size_t shown = std::min(values.size(), limits_.max_examples);
    keyword(depth, "examples");
    out_.push_back('[');
    bool shortened = false;
    for (std::size_t i = 0; i < shown; ++i) {
      if (i > 0) out_.append(", ");
      shortened = append_one(values[i]) || shortened;
    }
    out_.push_back(']');
    if (shown == values.size() && !shortened) return;
    std::string note;
    if (shown < values.size()) note = std::to_string(shown) + " of " + std::to_string(values.size()) + " examples shown";
    if (shortened) {
      if (!note.empty()) note += "; ";
      note += "examples cut to " + std::to_string(limits_.max_example_chars) + " characters";
    }
    keyword(depth, "$comment");
    append_json_string_text(out_, note);
  }

  void type(std::size_t depth, std::string_view name) {
    keyword(depth, "type");
    out_.push_back('"');
    out_.append(name);
    out_.push_back('"');
  }

  // A keyword's line: a comma ends the line before unless it opened the object.
  void keyword(std::size_t depth, std::string_view name) {
    if (out_.back() != '{') out_.push_back(',');
    line(depth);
    out_.push_back('"');
    out_.append(name);
    out_.append("\": ");
  }

  void close(std::size_t depth) {
    line(depth);
    out_.push_back('}');
  }

  void line(std::size_t depth) {
    out_.push_back('\n');
    out_.append(2 * depth, ' ');
  }

  std::string& out_;
  const bool show_examples_;
  const ExampleLimits& limits_;
};

}  // namespace

std::string render_json_schema(const Schema& schema, bool show_examples, const ExampleLimits& limits) {
  std::string out;
  JsonSchemaWriter(out, show_examples, limits).root(schema);
  return out;
}

}  // namespace plomet
