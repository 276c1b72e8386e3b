#include "shape/leaf_text.h"
#include "text/json_string_text.h"

#include <algorithm>

#include "core/interrupt_poll.h"
#include "shape/schema.h"
#include "text/float_text.h"
#include "text/number_text.h"

namespace plomet {

namespace {

constexpr std::string_view kExampleSeparator = ", ";

template <class T, class AppendOne>
bool append_examples(std::string& out, const std::vector<T>& examples, std::size_t max_examples,
                     AppendOne append_one) {
  if (examples.empty()) return false;
  const std::size_t shown = std::min(examples.size(), max_examples);
  for (std::size_t i = 0; i < shown; ++i) {
    if (interrupt::poll(interrupt::kValueUnits)) break;
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

bool append_scalar_text(std::string& out, const Schema& node, bool show_examples, const ExampleLimits& limits) {
  switch (static_cast<Schema::Kind>(node.payload.index())) {
    case Schema::Kind::Null:
      out.append("null");
      return true;
    case Schema::Kind::Bool: {
      const std::optional<bool>& example = std::get<BoolSchema>(node.payload).example;
      out.append(!show_examples || !example ? "bool" : *example ? "true" : "false");
      return true;
    }
    case Schema::Kind::Int: {
      const auto& examples = std::get<IntSchema>(node.payload).examples;
      if (!show_examples ||
          !append_examples(out, examples, limits.max_examples, [&](std::int64_t v) { number_text::append_integer_text(out, v); })) {
        out.append("int");
      }
      return true;
    }
    case Schema::Kind::Float: {
      const auto& examples = std::get<FloatSchema>(node.payload).examples;
      if (!show_examples || !append_examples(out, examples, limits.max_examples, [&](double v) { append_float_text(out, v); })) {
        out.append("float");
      }
      return true;
    }
    case Schema::Kind::Str: {
      const auto& examples = std::get<StrSchema>(node.payload).examples;
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
      if (!show_examples || !append_examples(out, examples, limits.max_examples, append_quoted)) out.append("str");
      return true;
    }
    case Schema::Kind::Array:
    case Schema::Kind::Object:
      break;
  }
  return false;
}



}  // namespace plomet
