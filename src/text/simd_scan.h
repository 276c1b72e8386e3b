// Byte-class scanning, 16 bytes at a time with SSE2 where the build has it,
// each scan with its scalar loop for the rest of the text (and for builds
// without SSE2). Every scan returns the first byte at or after p that is in
// its class, or end.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/utf8.h"

namespace plomet::scan {

#if defined(__SSE2__)
// Runs block_stops over the 16-byte blocks from p while a block and
// read_ahead more bytes fit before end; block_stops gives one bit per byte
// of the block, set where the scan stops. Returns true with p at the first
// stop, or false with p at the first byte left for the scalar loop.
template <std::ptrdiff_t kReadAhead = 0, class BlockStops>
inline bool find_in_blocks(const char*& p, const char* end, BlockStops block_stops) {
  while (end - p >= 16 + kReadAhead) {
    if (const unsigned stops = block_stops(p)) {
      p += __builtin_ctz(stops);
      return true;
    }
    p += 16;
  }
  return false;
}

inline __m128i load_block(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline unsigned bits_of(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }
#endif

// The first of the given ASCII bytes, for sets met in long runs of other text.
template <char... Bytes>
inline const char* find_first_of_bytes(const char* p, const char* end) {
#if defined(__SSE2__)
  const auto stops = [](const char* block) {
    const __m128i chunk = load_block(block);
    __m128i hit = _mm_setzero_si128();
    ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Bytes)))), ...);
    return bits_of(hit);
  };
  if (find_in_blocks(p, end, stops)) return p;
#endif
  while (p < end && ((*p != Bytes) && ...)) ++p;
  return p;
}

// The same over a text: position of the first of the bytes at or after pos,
// or text.size().
template <char... Bytes>
inline std::size_t find_first_of_bytes(std::string_view text, std::size_t pos) {
  return static_cast<std::size_t>(find_first_of_bytes<Bytes...>(text.data() + pos, text.data() + text.size()) -
                                  text.data());
}

// The length of the longest prefix a and b share.
std::size_t common_prefix_length(std::string_view a, std::string_view b);

inline bool is_blank_byte(char b) { return b == ' ' || b == '\n' || b == '\r' || b == '\t'; }

// The first byte that is not a space, LF, CR or tab.
const char* skip_blank_bytes(const char* p, const char* end);
// Looking back from end: the byte after the last one before end that is not
// a space, LF, CR or tab, or begin.
const char* skip_blank_bytes_back(const char* begin, const char* end);

// Bytes that can stay in a JSON5 string run: printable ASCII other than the
// quote and the backslash.
constexpr std::array<bool, 256> plain_string_bytes(char quote) {
  std::array<bool, 256> table{};
  for (int b = 0x20; b < 0x80; ++b) table[static_cast<std::size_t>(b)] = b != quote && b != '\\';
  return table;
}
inline constexpr std::array<bool, 256> kPlainInDoubleQuotes = plain_string_bytes('"');
inline constexpr std::array<bool, 256> kPlainInSingleQuotes = plain_string_bytes('\'');

// The first byte that is the quote, a backslash, a control character or not
// ASCII.
inline const char* skip_plain_string_bytes(const char* p, const char* end, char quote) {
#if defined(__SSE2__)
  const __m128i quote_v = _mm_set1_epi8(quote);
  const __m128i backslash_v = _mm_set1_epi8('\\');
  const __m128i space_v = _mm_set1_epi8(' ');
  const auto stops = [&](const char* block) {
    const __m128i chunk = load_block(block);
    // Signed compare: non-ASCII bytes count as below the space too.
    return bits_of(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote_v), _mm_cmpeq_epi8(chunk, backslash_v)),
                                _mm_cmplt_epi8(chunk, space_v)));
  };
  if (find_in_blocks(p, end, stops)) return p;
#endif
  const std::array<bool, 256>& plain = quote == '"' ? kPlainInDoubleQuotes : kPlainInSingleQuotes;
  while (p < end && plain[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// The same for text known to be valid UTF-8: non-ASCII characters stay in
// the run, except U+2028 and U+2029 (E2 80 A8 and E2 80 A9), which end it.
inline const char* skip_plain_valid_string_bytes(const char* p, const char* end, char quote) {
#if defined(__SSE2__)
  const __m128i quote_v = _mm_set1_epi8(quote);
  const __m128i backslash_v = _mm_set1_epi8('\\');
  const __m128i below_space_v = _mm_set1_epi8(0x1F);
  const __m128i e2_v = _mm_set1_epi8(static_cast<char>(0xE2));
  const __m128i x80_v = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i a9_v = _mm_set1_epi8(static_cast<char>(0xA9));
  const __m128i one_v = _mm_set1_epi8(1);
  // Each block reads two bytes past itself, for the separators' last bytes.
  const auto stops = [&](const char* block) {
    const __m128i chunk = load_block(block);
    const __m128i next = load_block(block + 1);
    const __m128i after = load_block(block + 2);
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(chunk, below_space_v), chunk);
    const __m128i separator =
        _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(chunk, e2_v), _mm_cmpeq_epi8(next, x80_v)),
                      _mm_cmpeq_epi8(_mm_or_si128(after, one_v), a9_v));
    return bits_of(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote_v), _mm_cmpeq_epi8(chunk, backslash_v)),
                                _mm_or_si128(control, separator)));
  };
  if (find_in_blocks<2>(p, end, stops)) return p;
#endif
  while (p < end) {
    auto b = static_cast<unsigned char>(*p);
    if (b == static_cast<unsigned char>(quote) || b == '\\' || b < 0x20) return p;
    if (b == 0xE2 && end - p >= 3 && is_line_or_paragraph_separator(p)) return p;
    ++p;
  }
  return p;
}

}  // namespace plomet::scan
