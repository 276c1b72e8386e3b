#include "text/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

char* encode_utf8(const char32_t* code_points, std::size_t count, char* out) {
  const char32_t* p = code_points;
  const char32_t* const end = code_points + count;
  while (p < end) {
#if defined(__SSE2__)
    // Sixteen ASCII code points at a time: the common case in JSON text.
    while (end - p >= 16) {
      const auto* v = reinterpret_cast<const __m128i*>(p);
      __m128i a = _mm_loadu_si128(v), b = _mm_loadu_si128(v + 1);
      __m128i c = _mm_loadu_si128(v + 2), d = _mm_loadu_si128(v + 3);
      __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(any, 7), _mm_setzero_si128())) != 0xFFFF) break;
      __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      p += 16;
      out += 16;
    }
    if (p == end) break;
#endif
    // One code point, and the non-ASCII ones that follow it.
    do {
      const char32_t c = *p++;
      if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return nullptr;
      out = write_utf8(c, out);
    } while (p < end && *p >= 0x80);
  }
  return out;
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

bool cpu_runs(Utf8Validator validator) {
  switch (validator) {
    case Utf8Validator::kScalar:
      return true;
#if defined(__x86_64__)
    case Utf8Validator::kSse42:
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse4.2");
    case Utf8Validator::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

std::size_t find_invalid_utf8(std::string_view bytes, Utf8Validator validator) {
  switch (validator) {
#if defined(__x86_64__)
    case Utf8Validator::kSse42:
      return find_invalid_utf8_sse42(bytes);
    case Utf8Validator::kAvx2:
      return find_invalid_utf8_avx2(bytes);
#endif
    default:
      return find_invalid_utf8_scalar(bytes, 0);
  }
}

namespace {

Utf8Validator fastest_utf8_validator() {
  for (auto it = kUtf8Validators.rbegin(); it != kUtf8Validators.rend(); ++it) {
    if (cpu_runs(*it)) return *it;
  }
  return Utf8Validator::kScalar;
}

}  // namespace

std::size_t find_invalid_utf8(std::string_view bytes) {
  static const Utf8Validator fastest = fastest_utf8_validator();
  return find_invalid_utf8(bytes, fastest);
}

}  // namespace plomet::scan
