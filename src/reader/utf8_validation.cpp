#include "reader/utf8_validation.h"

#include "reader/text_scan.h"

namespace plomet::scan {

std::size_t find_invalid_utf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    DecodedChar d = decode_slow(bytes, pos);
    // decode_slow reports malformed input as U+FFFD over one byte; a real
    // U+FFFD is three bytes long.
    if (d.code_point == kReplacementChar && d.length == 1) return pos;
    pos += d.length;
  }
  return kValidUtf8;
}

}  // namespace plomet::scan
