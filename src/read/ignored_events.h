// A consumer of the JSON5 reader's events that takes no text and keeps
// nothing: for reads that only tell whether a text reads.
#pragma once

#include <string_view>

#include "read/json5_number.h"

namespace plomet {

struct IgnoredEvents {
  void begin_array() {}
  void end_array() {}
  void begin_object() {}
  void end_object() {}
  static bool key(std::string_view /*key*/, bool /*transient*/) { return true; }
  void null_value() {}
  void bool_value(bool /*value*/) {}
  void number_value(const NumberToken& /*number*/) {}
  void string_value(std::string_view /*text*/, bool /*transient*/, bool /*has_controls*/) {}
  static bool wants_key_text() { return false; }
  static bool wants_string_text() { return false; }
};

}  // namespace plomet
