#include "text/utf8_encoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plomet {

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

}  // namespace plomet
