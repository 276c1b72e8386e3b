#include "output/json_schema.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "shape/shape_summary.h"
#include "shape/summary_node.h"
#include "text/float_text.h"
#include "text/json_string_text.h"
#include "text/number_text.h"

namespace plomet {

namespace {

constexpr std::string_view kDialect = "https://json-schema.org/draft/2020-12/schema";


// The JSON Schema types of the scalar kinds seen at a node, in tag order; a
// number admits the integers too.
std::vector<std::string_view> scalar_types(std::uint8_t seen) {
  std::vector<std::string_view> types;
  auto has = [seen](KindTag tag) { return (seen & kind_bit(tag)) != 0; };
  if (has(kNullTag)) types.push_back("null");
  if (has(kBoolTag)) types.push_back("boolean");
  if (has(kIntTag) && !has(kFloatTag)) types.push_back("integer");
  if (has(kFloatTag)) types.push_back("number");
  if (has(kStrTag)) types.push_back("string");
  return types;
}

// Writes one schema object per position. Each keyword starts a line of its
// own; the recursion runs through node, items and properties, one level per
// nesting level of the documents.
class JsonSchemaWriter {
 public:
  JsonSchemaWriter(std::string& out, bool show_examples, const ExampleLimits& limits)
      : out_(out), show_examples_(show_examples), limits_(limits) {}

  void root(const SummaryNode& node, const Schema& folded) {
    out_.push_back('{');
    keyword(1, "$schema");
    append_json_string_text(out_, kDialect);
    members(node, folded, 1);
    close(0);
  }

 private:
  // The schema object of a position, opening brace first.
  void node(const SummaryNode& node, std::size_t depth) {
    out_.push_back('{');
    members(node, folded_scalar(node), depth + 1);
    close(depth);
  }

  // The folded shape of a scalar position, whose examples the schema shows:
  // those of the first value, none once an integer position met a float.
  static Schema folded_scalar(const SummaryNode& node) {
    switch (node.shown_kind()) {
      case kBoolTag: return Schema(BoolSchema{node.bool_example});
      case kIntTag: return Schema(IntSchema{node.ints});
      case kFloatTag: return Schema(FloatSchema{node.floats});
      case kStrTag: return Schema(StrSchema{node.strings});
      default: return Schema();
    }
  }

  // The keywords of a position at depth: every kind seen there, each
  // container kind with its members unless some of its values were not
  // folded. Several parts are alternatives of an anyOf.
  void members(const SummaryNode& node, const Schema& folded, std::size_t depth) {
    const std::vector<std::string_view> types = scalar_types(node.seen);
    const bool arrays = (node.seen & kind_bit(kArrayTag)) != 0;
    const bool objects = (node.seen & kind_bit(kObjectTag)) != 0;
    const std::size_t parts = (types.empty() ? 0 : 1) + (arrays ? 1 : 0) + (objects ? 1 : 0);
    if (parts == 0) return;
    if (parts == 1) {
      if (!types.empty()) scalars(types, folded, depth);
      if (arrays) array_part(node, depth);
      if (objects) object_part(node, depth);
      return;
    }
    keyword(depth, "anyOf");
    out_.push_back('[');
    bool first = true;
    auto part = [&](auto write) {
      if (!first) out_.push_back(',');
      first = false;
      line(depth + 1);
      out_.push_back('{');
      write(depth + 2);
      close(depth + 1);
    };
    if (!types.empty()) part([&](std::size_t at) { scalars(types, folded, at); });
    if (arrays) part([&](std::size_t at) { array_part(node, at); });
    if (objects) part([&](std::size_t at) { object_part(node, at); });
    line(depth);
    out_.push_back(']');
  }

  void scalars(const std::vector<std::string_view>& types, const Schema& folded, std::size_t depth) {
    keyword(depth, "type");
    if (types.size() == 1) {
      append_json_string_text(out_, types[0]);
    } else {
      out_.push_back('[');
      for (std::size_t i = 0; i < types.size(); ++i) {
        if (i > 0) out_.append(", ");
        append_json_string_text(out_, types[i]);
      }
      out_.push_back(']');
    }
    scalar_examples(folded, depth);
  }

  void scalar_examples(const Schema& folded, std::size_t depth) {
    switch (static_cast<Schema::Kind>(folded.payload.index())) {
      case Schema::Kind::Bool: {
        const std::optional<bool>& example = std::get<BoolSchema>(folded.payload).example;
        if (show_examples_ && example) {
          keyword(depth, "examples");
          out_.append(*example ? "[true]" : "[false]");
        }
        break;
      }
      case Schema::Kind::Int:
        examples(depth, std::get<IntSchema>(folded.payload).examples,
                 [this](std::int64_t v) { number_text::append_integer_text(out_, v); });
        break;
      case Schema::Kind::Float:
        examples(depth, std::get<FloatSchema>(folded.payload).examples, [this](double v) {
          // With a fraction or an exponent, so that readers take it as a float.
          append_compact_float(out_, v);
        });
        break;
      case Schema::Kind::Str:
        examples(
            depth, std::get<StrSchema>(folded.payload).examples,
            [this](std::string_view v) { append_json_string_text(out_, v); },
            [this](std::string_view v) { return cut_string_example(v, limits_.max_example_chars).cut_chars == 0; });
        break;
      default:
        break;
    }
  }

  void array_part(const SummaryNode& node, std::size_t depth) {
    type(depth, "array");
    if ((node.loose & kind_bit(kArrayTag)) != 0) return;
    keyword(depth, "items");
    // Items never seen are those of empty arrays: nothing is known of them.
    if (!node.item || node.item->seen == 0) {
      out_.append("{}");
    } else {
      this->node(*node.item, depth);
    }
  }

  void object_part(const SummaryNode& node, std::size_t depth) {
    type(depth, "object");
    if ((node.loose & kind_bit(kObjectTag)) != 0 || node.fields.empty()) return;
    keyword(depth, "properties");
    out_.push_back('{');
    for (std::size_t i = 0; i < node.fields.size(); ++i) {
      if (i > 0) out_.push_back(',');
      line(depth + 1);
      append_json_string_text(out_, node.fields[i].key);
      out_.append(": ");
      this->node(*node.fields[i].value, depth + 1);
    }
    close(depth);
    const bool any_required = std::any_of(node.fields.begin(), node.fields.end(),
                                          [](const SummaryField& field) { return !field.absent; });
    if (!any_required) return;
    keyword(depth, "required");
    out_.push_back('[');
    bool first = true;
    for (const SummaryField& field : node.fields) {
      if (field.absent) continue;
      if (!first) out_.append(", ");
      first = false;
      append_json_string_text(out_, field.key);
    }
    out_.push_back(']');
  }

  // The examples of a scalar node within the caps: append_one writes one,
  // and those that would have to be cut to fit (fits says) are left out, as
  // a cut example is not a value seen.
  template <class T, class AppendOne, class Fits = bool (*)(const T&)>
  void examples(std::size_t depth, const LargeVector<T>& values, AppendOne append_one,
                Fits fits = [](const T&) { return true; }) {
    if (!show_examples_ || values.empty()) return;
    const std::size_t within = std::min(values.size(), limits_.max_examples);
    std::size_t left_out = 0;
    for (std::size_t i = 0; i < within; ++i) {
      if (!fits(values[i])) {
        ++left_out;
        continue;
      }
      if (i == left_out) {
        keyword(depth, "examples");
        out_.push_back('[');
      } else {
        out_.append(", ");
      }
      append_one(values[i]);
    }
    if (left_out < within) out_.push_back(']');
    if (within == values.size() && left_out == 0) return;
    std::string note =
        std::to_string(within - left_out) + " of " + std::to_string(values.size()) + " examples shown";
    if (left_out > 0) {
      note += "; " + std::to_string(left_out) + " longer than " + std::to_string(limits_.max_example_chars) +
              " characters left out";
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

std::string render_json_schema(const ShapeSummary& summary, bool show_examples, const ExampleLimits& limits) {
  std::string out;
  JsonSchemaWriter(out, show_examples && summary.keeps_examples(), limits).root(summary.root(), summary.item_schema());
  return out;
}

}  // namespace plomet
