// Why and where a text does not read as JSON5.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plomet {

// A text that does not read as JSON5: the grammar stopped, or a value or
// escape does not convert. The message says why, without where; offset is
// the byte of the text where the read stopped or the value begins.
struct Json5ReadError {
  enum class Kind : std::uint8_t { Grammar, Conversion };
  Kind kind;
  std::string message;
  std::size_t offset;

  // The message followed by " at line L, column C" of the offset in text.
  std::string message_with_position(std::string_view text) const;
};

}  // namespace plomet
