// UTF-8 in one place: decoding one character, the bytes of the line and
// paragraph separators, encoding code points (one at a time, or a host's
// stored string: scalar, which is the reference, and the vectorised encoders
// of utf8_encoding_x86.cpp), and validation (a scalar search, which is the
// reference, and the vectorised searches of utf8_validation_x86.cpp). The
// vectorised kernels are chosen at run time.
//
// Decoding never fails: a byte that does not start a well-formed sequence
// (overlong, surrogate, past U+10FFFF, cut short, a stray continuation byte)
// decodes as U+FFFD with a length of one byte, so a scan always advances and
// copying by byte ranges keeps the input bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plomet::scan {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Most bytes the UTF-8 form of one code point takes.
inline constexpr std::size_t kMaxUtf8BytesPerCodePoint = 4;

struct DecodedChar {
  char32_t code_point;
  std::uint8_t length;  // bytes taken from the text, 1 to 4
};

// What a malformed byte decodes as.
inline constexpr DecodedChar kMalformedByte = {kReplacementChar, 1};

// Whether d stands for a malformed byte rather than a character; a real
// U+FFFD is three bytes long.
inline bool is_malformed(DecodedChar d) { return d.code_point == kReplacementChar && d.length == 1; }

// Decodes the character whose lead byte, at pos, is not ASCII.
DecodedChar decode_non_ascii(std::string_view text, std::size_t pos);

// Decodes the character that starts at byte pos (pos < text.size()).
inline DecodedChar decode_at(std::string_view text, std::size_t pos) {
  auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) return {byte, 1};
  return decode_non_ascii(text, pos);
}

// Whether the three bytes at p are U+2028 or U+2029 (E2 80 A8, E2 80 A9).
inline bool is_line_or_paragraph_separator(const char* p) {
  return p[0] == '\xE2' && p[1] == '\x80' && (p[2] == '\xA8' || p[2] == '\xA9');
}

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

inline void append_utf8(std::string& out, char32_t c) {
  char bytes[kMaxUtf8BytesPerCodePoint];
  out.append(bytes, write_utf8(c, bytes));
}

// The implementations of the UTF-8 kernels that work on many characters at
// once (encoding stored code points, validation), each giving the same
// results: one character at a time, or with SSE4.2 or AVX2 instructions
// (x86-64 only). kUtf8Kernels lists them slowest first.
enum class Utf8Kernel : std::uint8_t { kScalar, kSse42, kAvx2 };
inline constexpr std::array kUtf8Kernels = {Utf8Kernel::kScalar, Utf8Kernel::kSse42, Utf8Kernel::kAvx2};

// Whether this processor (and build) runs the kernel.
bool cpu_runs(Utf8Kernel kernel);

// ---- Encoding code points as a host stores them: one, two or four bytes
// each (a CPython str stores them so, by the largest code point it holds).
// Each stored unit is a code point: 16-bit units are not UTF-16, and a
// surrogate among them is a lone surrogate whatever follows it.

// Most UTF-8 bytes that one code point stored in a Unit takes.
template <typename Unit>
inline constexpr std::size_t kMaxUtf8BytesPerUnit = sizeof(Unit) == 1 ? 2 : sizeof(Unit) == 2 ? 3 : 4;

// Writes the UTF-8 form of count code points to out, which must have room for
// kMaxUtf8BytesPerUnit<Unit> * count bytes, and returns the end of what it
// wrote. Returns nullptr, having written an unspecified prefix, when a code
// point is a surrogate or above U+10FFFF: such text has no UTF-8 form. Runs
// the fastest encoder this processor supports.
char* encode_utf8(const std::uint8_t* code_points, std::size_t count, char* out);
char* encode_utf8(const std::uint16_t* code_points, std::size_t count, char* out);
char* encode_utf8(const std::uint32_t* code_points, std::size_t count, char* out);

// encode_utf8 with the given kernel, which the processor must run.
char* encode_utf8(const std::uint8_t* code_points, std::size_t count, char* out, Utf8Kernel kernel);
char* encode_utf8(const std::uint16_t* code_points, std::size_t count, char* out, Utf8Kernel kernel);
char* encode_utf8(const std::uint32_t* code_points, std::size_t count, char* out, Utf8Kernel kernel);

// encode_utf8 one code point at a time: the reference of the vectorised
// encoders, and their way through what they leave to it.
template <typename Unit>
char* encode_utf8_scalar(const Unit* code_points, std::size_t count, char* out) {
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t c = code_points[i];
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return nullptr;
    out = write_utf8(c, out);
  }
  return out;
}

// ---- Validation, for hosts that read bytes (the command-line tool, the
// fuzzers) and for the reader, which checks strings faster in valid text.

inline constexpr std::size_t kValidUtf8 = static_cast<std::size_t>(-1);

// Offset of the first byte that does not start a well-formed UTF-8 sequence,
// or kValidUtf8. Runs the fastest validator this processor supports: the
// scalar one, or 64 bytes at a time.
std::size_t find_invalid_utf8(std::string_view bytes);

// find_invalid_utf8 with the given kernel, which the processor must run.
std::size_t find_invalid_utf8(std::string_view bytes, Utf8Kernel kernel);

// The first byte at or after pos that does not start a well-formed sequence,
// decoding one character at a time; pos must start a character. The
// reference of the vectorised validators, and their way to the exact offset
// inside a faulty block.
std::size_t find_invalid_utf8_scalar(std::string_view bytes, std::size_t pos);

}  // namespace plomet::scan
