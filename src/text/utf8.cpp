#include "text/utf8.h"

#include "text/utf8_encoding_x86.h"
#include "text/utf8_validation_x86.h"

namespace plomet::scan {

DecodedChar decode_non_ascii(std::string_view text, std::size_t pos) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = at(pos);
  std::uint8_t length;
  char32_t c;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return kMalformedByte;
  }
  if (pos + length > text.size()) return kMalformedByte;
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char b = at(pos + i);
    if ((b & 0xC0) != 0x80) return kMalformedByte;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kMalformedByte;
  return {c, length};
}

std::size_t find_invalid_utf8_scalar(std::string_view bytes, std::size_t pos) {
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    DecodedChar d = decode_non_ascii(bytes, pos);
    if (is_malformed(d)) return pos;
    pos += d.length;
  }
  return kValidUtf8;
}

bool cpu_runs(Utf8Kernel kernel) {
  switch (kernel) {
    case Utf8Kernel::kScalar:
      return true;
#if defined(__x86_64__)
    case Utf8Kernel::kSse42:
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse4.2");
    case Utf8Kernel::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

namespace {

Utf8Kernel fastest_utf8_kernel() {
  for (auto it = kUtf8Kernels.rbegin(); it != kUtf8Kernels.rend(); ++it) {
    if (cpu_runs(*it)) return *it;
  }
  return Utf8Kernel::kScalar;
}

// Chosen once, before main; a call from another static initialiser that
// runs first finds it zero, the scalar kernel, which gives the same results.
const Utf8Kernel kFastestUtf8Kernel = fastest_utf8_kernel();

template <typename Unit>
char* encode_utf8_with(const Unit* code_points, std::size_t count, char* out, Utf8Kernel kernel) {
  switch (kernel) {
#if defined(__x86_64__)
    case Utf8Kernel::kSse42:
      return encode_utf8_sse42(code_points, count, out);
    case Utf8Kernel::kAvx2:
      return encode_utf8_avx2(code_points, count, out);
#endif
    default:
      return encode_utf8_scalar(code_points, count, out);
  }
}

}  // namespace

char* encode_utf8(const std::uint8_t* code_points, std::size_t count, char* out, Utf8Kernel kernel) {
  return encode_utf8_with(code_points, count, out, kernel);
}

char* encode_utf8(const std::uint16_t* code_points, std::size_t count, char* out, Utf8Kernel kernel) {
  return encode_utf8_with(code_points, count, out, kernel);
}

char* encode_utf8(const std::uint32_t* code_points, std::size_t count, char* out, Utf8Kernel kernel) {
  return encode_utf8_with(code_points, count, out, kernel);
}

char* encode_utf8(const std::uint8_t* code_points, std::size_t count, char* out) {
  return encode_utf8_with(code_points, count, out, kFastestUtf8Kernel);
}

char* encode_utf8(const std::uint16_t* code_points, std::size_t count, char* out) {
  return encode_utf8_with(code_points, count, out, kFastestUtf8Kernel);
}

char* encode_utf8(const std::uint32_t* code_points, std::size_t count, char* out) {
  return encode_utf8_with(code_points, count, out, kFastestUtf8Kernel);
}

std::size_t find_invalid_utf8(std::string_view bytes, Utf8Kernel kernel) {
  switch (kernel) {
#if defined(__x86_64__)
    case Utf8Kernel::kSse42:
      return find_invalid_utf8_sse42(bytes);
    case Utf8Kernel::kAvx2:
      return find_invalid_utf8_avx2(bytes);
#endif
    default:
      return find_invalid_utf8_scalar(bytes, 0);
  }
}

std::size_t find_invalid_utf8(std::string_view bytes) { return find_invalid_utf8(bytes, kFastestUtf8Kernel); }

}  // namespace plomet::scan
