// UTF-8 validation for hosts that read bytes (the command-line tool, the
// fuzzers); the module receives text that Python already validated.
#pragma once

#include <cstddef>
#include <string_view>

namespace plomet::scan {

inline constexpr std::size_t kValidUtf8 = static_cast<std::size_t>(-1);

// Offset of the first byte that does not start a well-formed UTF-8 sequence,
// or kValidUtf8.
std::size_t find_invalid_utf8(std::string_view bytes);

}  // namespace plomet::scan
