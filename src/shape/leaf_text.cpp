#include "shape/leaf_text.h"
#include "text/json_string_text.h"

#include <algorithm>

#include "shape/schema.h"
#include "shape/summary_node.h"
#include "text/float_text.h"
#include "text/number_text.h"

namespace plomet {

namespace {

constexpr std::string_view kExampleSeparator = ", ";

template <class T, class AppendOne>
bool append_examples(std::string& out, std::span<const T> examples, std::size_t max_examples,
                     AppendOne append_one) {
  if (examples.empty()) return false;
  const std::size_t shown = std::min(examples.size(), max_examples);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) out.append(kExampleSeparator);
    append_one(examples[i]);
  }
  if (shown < examples.size()) {
    if (shown > 0) out.append(kExampleSeparator);
    out.append("... (+");
    number_text::append_integer_text(out, static_cast<std::int64_t>(examples.size() - shown));
    out.append(" more)");
  }
  return true;
}


}  // namespace

ExampleCut cut_string_example(std::string_view text, std::size_t max_chars) {
  std::size_t chars = 0;
  std::size_t end = 0;
  for (; end < text.size() && chars < max_chars; ++chars) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  std::size_t cut = 0;
  for (std::size_t i = end; i < text.size(); ++i) cut += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return {text.substr(0, end), cut};
}

namespace {

// A scalar position as the outline writes it: its kind and the first value's
// examples.
struct ScalarView {
  Schema::Kind kind = Schema::Kind::Null;
  std::optional<bool> bool_example;
  std::span<const std::int64_t> ints;
  std::span<const double> floats;
  std::span<const std::string_view> strings;
};

bool append_scalar_view(std::string& out, const ScalarView& node, bool show_examples, const ExampleLimits& limits) {
  switch (node.kind) {
    case Schema::Kind::Null:
      out.append("null");
      return true;
    case Schema::Kind::Bool:
      out.append(!show_examples || !node.bool_example ? "bool" : *node.bool_example ? "true" : "false");
      return true;
    case Schema::Kind::Int:
      if (!show_examples || !append_examples(out, node.ints, limits.max_examples,
                                             [&](std::int64_t v) { number_text::append_integer_text(out, v); })) {
        out.append("int");
      }
      return true;
    case Schema::Kind::Float:
      if (!show_examples ||
          !append_examples(out, node.floats, limits.max_examples, [&](double v) { append_float_text(out, v); })) {
        out.append("float");
      }
      return true;
    case Schema::Kind::Str: {
      // String examples are written unescaped between double quotes.
      auto append_quoted = [&](std::string_view v) {
        const ExampleCut cut = cut_string_example(v, limits.max_example_chars);
        out.push_back('"');
        out.append(cut.shown);
        out.push_back('"');
        if (cut.cut_chars == 0) return;
        out.append("... (+");
        number_text::append_integer_text(out, static_cast<std::int64_t>(cut.cut_chars));
        out.append(" chars)");
      };
      if (!show_examples || !append_examples(out, node.strings, limits.max_examples, append_quoted)) out.append("str");
      return true;
    }
    case Schema::Kind::Array:
    case Schema::Kind::Object:
      break;
  }
  return false;
}

}  // namespace

bool append_scalar_text(std::string& out, const Schema& node, bool show_examples, const ExampleLimits& limits) {
  ScalarView view;
  view.kind = static_cast<Schema::Kind>(node.payload.index());
  if (const auto* bools = std::get_if<BoolSchema>(&node.payload)) view.bool_example = bools->example;
  if (const auto* ints = std::get_if<IntSchema>(&node.payload)) view.ints = ints->examples;
  if (const auto* floats = std::get_if<FloatSchema>(&node.payload)) view.floats = floats->examples;
  if (const auto* strings = std::get_if<StrSchema>(&node.payload)) view.strings = strings->examples;
  return append_scalar_view(out, view, show_examples, limits);
}

bool append_scalar_text(std::string& out, const SummaryNode& node, bool show_examples, const ExampleLimits& limits) {
  ScalarView view;
  switch (node.shown_kind()) {
    case kNoKind:
    case kNullTag:
      break;
    case kBoolTag:
      view.kind = Schema::Kind::Bool;
      view.bool_example = node.bool_example;
      break;
    case kIntTag:
      view.kind = Schema::Kind::Int;
      view.ints = node.ints;
      break;
    case kFloatTag:
      view.kind = Schema::Kind::Float;
      view.floats = node.floats;
      break;
    case kStrTag:
      view.kind = Schema::Kind::Str;
      view.strings = node.strings;
      break;
    default:
      return false;
  }
  return append_scalar_view(out, view, show_examples, limits);
}

}  // namespace plomet
