// Leaf texts as strings, for tests: the product appends them to its output,
// tests compare them whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shape/leaf_text.h"
#include "shape/schema.h"
#include "text/float_text.h"
#include "text/json_string_text.h"
#include "text/number_text.h"

namespace plomet {

inline std::string int_text(std::int64_t value) {
  std::string text;
  number_text::append_integer_text(text, value);
  return text;
}

inline std::string float_text(double value) {
  std::string text;
  append_float_text(text, value);
  return text;
}

inline std::string json_string_text(std::string_view value) {
  std::string text;
  append_json_string_text(text, value);
  return text;
}

inline std::optional<std::string> scalar_text(const Schema& node, bool show_examples) {
  std::string text;
  if (!append_scalar_text(text, node, show_examples)) return std::nullopt;
  return text;
}

}  // namespace plomet
