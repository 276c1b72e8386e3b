#include "text/simd_scan.h"

#include <algorithm>
#include <cstring>

namespace plomet::scan {

const char* skip_blank_bytes(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i space_v = _mm_set1_epi8(' ');
  const __m128i lf_v = _mm_set1_epi8('\n');
  const __m128i cr_v = _mm_set1_epi8('\r');
  const __m128i tab_v = _mm_set1_epi8('\t');
  const auto stops = [&](const char* block) {
    const __m128i chunk = load_block(block);
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, space_v), _mm_cmpeq_epi8(chunk, lf_v)),
                                       _mm_or_si128(_mm_cmpeq_epi8(chunk, cr_v), _mm_cmpeq_epi8(chunk, tab_v)));
    return ~bits_of(blank) & 0xFFFFu;
  };
  if (find_in_blocks(p, end, stops)) return p;
#endif
  while (p < end && is_blank_byte(*p)) ++p;
  return p;
}

const char* skip_blank_bytes_back(const char* begin, const char* end) {
#if defined(__SSE2__)
  const __m128i space_v = _mm_set1_epi8(' ');
  const __m128i lf_v = _mm_set1_epi8('\n');
  const __m128i cr_v = _mm_set1_epi8('\r');
  const __m128i tab_v = _mm_set1_epi8('\t');
  while (end - begin >= 16) {
    const __m128i chunk = load_block(end - 16);
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, space_v), _mm_cmpeq_epi8(chunk, lf_v)),
                                       _mm_or_si128(_mm_cmpeq_epi8(chunk, cr_v), _mm_cmpeq_epi8(chunk, tab_v)));
    if (const unsigned other = ~bits_of(blank) & 0xFFFFu) return end - 16 + (31 - __builtin_clz(other)) + 1;
    end -= 16;
  }
#endif
  while (end > begin && is_blank_byte(end[-1])) --end;
  return end;
}

std::size_t common_prefix_length(std::string_view a, std::string_view b) {
  const std::size_t size = std::min(a.size(), b.size());
  // Texts that agree for long stretches: memcmp passes over whole chunks.
  constexpr std::size_t kChunk = 4096;
  std::size_t at = 0;
  while (size - at >= kChunk && std::memcmp(a.data() + at, b.data() + at, kChunk) == 0) at += kChunk;
#if defined(__SSE2__)
  for (; size - at >= 16; at += 16) {
    const unsigned differ = ~bits_of(_mm_cmpeq_epi8(load_block(a.data() + at), load_block(b.data() + at))) & 0xFFFFu;
    if (differ != 0) return at + static_cast<std::size_t>(__builtin_ctz(differ));
  }
#endif
  while (at < size && a[at] == b[at]) ++at;
  return at;
}

}  // namespace plomet::scan
