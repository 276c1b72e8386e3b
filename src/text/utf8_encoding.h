// Encoding code points as UTF-8, for hosts that hand over text as code points.
#pragma once

#include <cstddef>

namespace plomet {

// Most bytes the UTF-8 form of one code point takes.
inline constexpr std::size_t kMaxUtf8BytesPerCodePoint = 4;

// Writes the UTF-8 form of c, which is at most U+10FFFF, and returns the end
// of what it wrote. Surrogates are written as their three-byte pattern.
inline char* write_utf8(char32_t c, char* out) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Writes the UTF-8 form of count code points to out, which must have room for
// kMaxUtf8BytesPerCodePoint * count bytes, and returns the end of what it
// wrote. Returns nullptr, having written an unspecified prefix, when a code
// point is a surrogate or above U+10FFFF: such text has no UTF-8 form.
char* encode_utf8(const char32_t* code_points, std::size_t count, char* out);

}  // namespace plomet
