// What both inference engines take from the reader's events: key equality,
// the integer and double of a number, and the clean-up of string values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "core/context.h"
#include "document/json_value.h"
#include "text/text_scan.h"

namespace plomet::event_values {

// Keys are mostly short: compared in place rather than through memcmp.
inline bool same_key(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() > 16) return std::memcmp(a.data(), b.data(), a.size()) == 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The reader's integers are within the signed 64-bit range.
inline std::int64_t integer_of(const JsonNumber& integer) {
  return integer.kind == JsonNumber::Kind::I64 ? integer.i64_value : static_cast<std::int64_t>(integer.u64_value);
}

inline double double_of(const JsonNumber& integer) {
  return integer.kind == JsonNumber::Kind::I64 ? static_cast<double>(integer.i64_value)
                                               : static_cast<double>(integer.u64_value);
}

// The clean-up's event, for a string value it changed and for each
// container around one.
inline void note_cleaned_value(Context& context) {
  PLOMET_REPAIR_EVENT(context, "repair_json_remove_control_characters_in_value", "Removed control characters from JSON value.");
}

// The string as the clean-up leaves it, without the control characters other
// than LF, written into buffer; emits the clean-up's event.
inline std::string_view cleaned_string(Context& context, std::string_view text, std::string& buffer) {
  buffer.clear();
  std::copy_if(text.begin(), text.end(), std::back_inserter(buffer),
               [](char c) { return !scan::is_removed_control_byte(c); });
  note_cleaned_value(context);
  return buffer;
}

}  // namespace plomet::event_values
