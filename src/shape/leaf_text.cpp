#include "shape/leaf_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "core/interrupt_poll.h"
#include "shape/schema.h"

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
    append_int_text(out, static_cast<std::int64_t>(examples.size() - shown));
    out.append(" more)");
  }
  return true;
}

// Bytes that json_string_text escapes: controls, the double quote and the
// backslash.
constexpr bool needs_escape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

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
          !append_examples(out, examples, limits.max_examples, [&](std::int64_t v) { append_int_text(out, v); })) {
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
        append_int_text(out, static_cast<std::int64_t>(cut.cut_chars));
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

std::optional<std::string> scalar_text(const Schema& node, bool show_examples) {
  std::string text;
  if (!append_scalar_text(text, node, show_examples)) return std::nullopt;
  return text;
}

void append_int_text(std::string& out, std::int64_t value) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;  // 24 bytes hold every 64-bit value
  out.append(digits, end);
}

std::string int_text(std::int64_t value) {
  std::string text;
  append_int_text(text, value);
  return text;
}

void append_float_text(std::string& out, double value) {
  if (std::signbit(value)) out.push_back('-');
  if (value == 0.0) {
    out.push_back('0');
    return;
  }
  // Shortest round-trip form "d[.ddd]e±XX": the digits d1..dk and an exponent
  // E with value = d1.d2..dk × 10^E, that is 0.d1..dk × 10^(E+1).
  char scientific[40];
  auto [end, error] = std::to_chars(scientific, scientific + sizeof scientific, std::fabs(value),
                                    std::chars_format::scientific);
  (void)error;  // 40 bytes hold the longest form, 17 digits and a 3-digit exponent
  const char* e_mark = scientific;
  while (e_mark != end && *e_mark != 'e') ++e_mark;
  char digits[24];
  std::size_t k = 0;
  for (const char* p = scientific; p != e_mark; ++p) {
    if (*p != '.') digits[k++] = *p;
  }
  while (k > 1 && digits[k - 1] == '0') --k;
  int exponent = 0;
  const char* exponent_start = e_mark + 1;
  if (exponent_start != end && *exponent_start == '+') ++exponent_start;
  std::from_chars(exponent_start, end, exponent);
  const long e = exponent + 1L;
  const long count = static_cast<long>(k);
  if (e <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-e), '0');
    out.append(digits, k);
  } else if (e < count) {
    out.append(digits, static_cast<std::size_t>(e));
    out.push_back('.');
    out.append(digits + e, static_cast<std::size_t>(count - e));
  } else {
    out.append(digits, k);
    out.append(static_cast<std::size_t>(e - count), '0');
  }
}

std::string float_text(double value) {
  std::string text;
  append_float_text(text, value);
  return text;
}

void append_json_string_text(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (!needs_escape(byte)) continue;
    out.append(text, run_start, i - run_start);
    run_start = i + 1;
    out.push_back('\\');
    switch (byte) {
      case '"': out.push_back('"'); break;
      case '\\': out.push_back('\\'); break;
      case '\b': out.push_back('b'); break;
      case '\t': out.push_back('t'); break;
      case '\n': out.push_back('n'); break;
      case '\f': out.push_back('f'); break;
      case '\r': out.push_back('r'); break;
      default: {
        const char code[] = {'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
        out.append(code, sizeof code);
      }
    }
  }
  out.append(text, run_start, text.size() - run_start);
  out.push_back('"');
}

std::string json_string_text(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  append_json_string_text(quoted, text);
  return quoted;
}

}  // namespace plomet
