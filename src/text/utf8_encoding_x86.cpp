// Encodes stored code points a block at a time. A block of ASCII code points
// is narrowed to bytes and stored whole. Other blocks are widened to one code
// point per 32-bit lane; where every code point of a group of four is below
// U+10000, each lane is given its UTF-8 bytes (lead byte first) with shifts
// and blends, and a byte shuffle, chosen by which lanes take two and three
// bytes, packs them. A group with a code point beyond U+FFFF is encoded one
// code point at a time; a surrogate ends the encoding.
#include "text/utf8_encoding_x86.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <array>

#include "text/utf8.h"

namespace plomet::scan {
namespace {

// A gathered group is stored as 16 bytes whatever its length. The blocks stop
// this many code points before the end, so that even at two bytes of room per
// code point the store stays within the caller's buffer.
constexpr std::ptrdiff_t kStoreSlack = 8;

// A block that is not all ASCII takes a branch the processor cannot predict,
// which drops the loads it had started ahead; so the lines this far ahead
// are fetched explicitly, and the loop keeps up with memory.
constexpr std::ptrdiff_t kPrefetchBytes = 2048;
constexpr std::ptrdiff_t kCacheLineBytes = 64;

template <typename Unit>
inline void prefetch_ahead_of(const Unit* block, std::ptrdiff_t units) {
  const char* ahead = reinterpret_cast<const char*>(block) + kPrefetchBytes;
  for (std::ptrdiff_t line = 0; line < units * static_cast<std::ptrdiff_t>(sizeof(Unit)); line += kCacheLineBytes) {
    _mm_prefetch(ahead + line, _MM_HINT_T0);
  }
}

// How the UTF-8 bytes of four code points, held in the 32-bit lanes of a
// vector, are packed: the byte shuffle and the number of bytes. Indexed by
// the mask of lanes that take two bytes or more, plus 16 times the mask of
// those that take three.
struct Gather {
  std::array<std::uint8_t, 16> shuffle;
  std::uint8_t length;
};

constexpr std::array<Gather, 256> kGathers = [] {
  std::array<Gather, 256> gathers{};
  for (unsigned index = 0; index < gathers.size(); ++index) {
    Gather& gather = gathers[index];
    gather.shuffle.fill(0x80);  // writes a zero byte
    std::uint8_t length = 0;
    for (unsigned lane = 0; lane < 4; ++lane) {
      const unsigned bytes = 1 + ((index >> lane) & 1) + ((index >> (4 + lane)) & 1);
      for (unsigned byte = 0; byte < bytes; ++byte) gather.shuffle[length++] = static_cast<std::uint8_t>(4 * lane + byte);
    }
    gather.length = length;
  }
  return gathers;
}();

namespace sse42 {

constexpr std::ptrdiff_t kBlock = 16;

// Each lane's UTF-8 bytes, lead byte first, for code points below U+10000.
[[gnu::target("sse4.2")]] inline __m128i lane_bytes(__m128i c, __m128i two, __m128i three) {
  const __m128i low_six = _mm_set1_epi32(0x3F);
  const __m128i continuation = _mm_set1_epi32(0x80);
  const __m128i last = _mm_or_si128(_mm_and_si128(c, low_six), continuation);
  const __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 6), low_six), continuation);
  const __m128i as_two = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(c, 6), _mm_set1_epi32(0xC0)), _mm_slli_epi32(last, 8));
  const __m128i as_three = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(c, 12), _mm_set1_epi32(0xE0)),
                                        _mm_or_si128(_mm_slli_epi32(middle, 8), _mm_slli_epi32(last, 16)));
  return _mm_blendv_epi8(_mm_blendv_epi8(c, as_two, two), as_three, three);
}

// Writes four code points below U+10000, none a surrogate; stores 16 bytes.
[[gnu::target("sse4.2")]] inline char* encode_four(__m128i c, char* out) {
  const __m128i two = _mm_cmpgt_epi32(c, _mm_set1_epi32(0x7F));
  const __m128i three = _mm_cmpgt_epi32(c, _mm_set1_epi32(0x7FF));
  const auto index = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(two)) |
                                           (_mm_movemask_ps(_mm_castsi128_ps(three)) << 4));
  const Gather& gather = kGathers[index];
  const __m128i shuffle = _mm_loadu_si128(reinterpret_cast<const __m128i*>(gather.shuffle.data()));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(lane_bytes(c, two, three), shuffle));
  return out + gather.length;
}

// Whether a 16-bit unit is a surrogate; so too for 32-bit lanes below U+10000.
[[gnu::target("sse4.2")]] inline bool has_surrogate(__m128i v) {
  const __m128i surrogates = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))),
                                             _mm_set1_epi16(static_cast<short>(0xD800)));
  return !_mm_testz_si128(surrogates, surrogates);
}

}  // namespace sse42

namespace avx2 {

constexpr std::ptrdiff_t kBlock = 32;

[[gnu::target("avx2")]] inline __m256i lane_bytes(__m256i c, __m256i two, __m256i three) {
  const __m256i low_six = _mm256_set1_epi32(0x3F);
  const __m256i continuation = _mm256_set1_epi32(0x80);
  const __m256i last = _mm256_or_si256(_mm256_and_si256(c, low_six), continuation);
  const __m256i middle = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(c, 6), low_six), continuation);
  const __m256i as_two =
      _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(c, 6), _mm256_set1_epi32(0xC0)), _mm256_slli_epi32(last, 8));
  const __m256i as_three = _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(c, 12), _mm256_set1_epi32(0xE0)),
                                           _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(last, 16)));
  return _mm256_blendv_epi8(_mm256_blendv_epi8(c, as_two, two), as_three, three);
}

// Writes eight code points below U+10000, none a surrogate, as two groups of
// four; each group stores 16 bytes.
[[gnu::target("avx2")]] inline char* encode_eight(__m256i c, char* out) {
  const __m256i two = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7F));
  const __m256i three = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7FF));
  const auto takes_two = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(two)));
  const auto takes_three = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(three)));
  const Gather& low = kGathers[(takes_two & 0xF) | ((takes_three & 0xF) << 4)];
  const Gather& high = kGathers[(takes_two >> 4) | ((takes_three >> 4) << 4)];
  const __m256i shuffle =
      _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(high.shuffle.data())),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(low.shuffle.data())));
  const __m256i bytes = _mm256_shuffle_epi8(lane_bytes(c, two, three), shuffle);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
  out += low.length;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_extracti128_si256(bytes, 1));
  return out + high.length;
}

[[gnu::target("avx2")]] inline bool has_surrogate(__m256i v) {
  const __m256i surrogates = _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xF800))),
                                                _mm256_set1_epi16(static_cast<short>(0xD800)));
  return !_mm256_testz_si256(surrogates, surrogates);
}

}  // namespace avx2

}  // namespace

// flatten: the helpers, compiled for the same instructions, go into the
// loops with their constants in registers.

__attribute__((flatten, target("sse4.2"))) char* encode_utf8_sse42(const std::uint8_t* code_points,
                                                                     std::size_t count, char* out) {
  using namespace sse42;
  const std::uint8_t* p = code_points;
  const std::uint8_t* const end = code_points + count;
  for (; end - p >= kBlock + kStoreSlack; p += kBlock) {
    prefetch_ahead_of(p, kBlock);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(v) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
      out += kBlock;
      continue;
    }
    out = encode_four(_mm_cvtepu8_epi32(v), out);
    out = encode_four(_mm_cvtepu8_epi32(_mm_srli_si128(v, 4)), out);
    out = encode_four(_mm_cvtepu8_epi32(_mm_srli_si128(v, 8)), out);
    out = encode_four(_mm_cvtepu8_epi32(_mm_srli_si128(v, 12)), out);
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

__attribute__((flatten, target("sse4.2"))) char* encode_utf8_sse42(const std::uint16_t* code_points,
                                                                     std::size_t count, char* out) {
  using namespace sse42;
  const std::uint16_t* p = code_points;
  const std::uint16_t* const end = code_points + count;
  for (; end - p >= kBlock + kStoreSlack; p += kBlock) {
    prefetch_ahead_of(p, kBlock);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    if (_mm_testz_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)))) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
      out += kBlock;
      continue;
    }
    if (has_surrogate(a) || has_surrogate(b)) return nullptr;
    const __m128i zero = _mm_setzero_si128();
    out = encode_four(_mm_unpacklo_epi16(a, zero), out);
    out = encode_four(_mm_unpackhi_epi16(a, zero), out);
    out = encode_four(_mm_unpacklo_epi16(b, zero), out);
    out = encode_four(_mm_unpackhi_epi16(b, zero), out);
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

__attribute__((flatten, target("sse4.2"))) char* encode_utf8_sse42(const std::uint32_t* code_points,
                                                                     std::size_t count, char* out) {
  using namespace sse42;
  const std::uint32_t* p = code_points;
  const std::uint32_t* const end = code_points + count;
  for (; end - p >= kBlock + kStoreSlack; p += kBlock) {
    prefetch_ahead_of(p, kBlock);
    const auto* v = reinterpret_cast<const __m128i*>(p);
    const __m128i groups[] = {_mm_loadu_si128(v), _mm_loadu_si128(v + 1), _mm_loadu_si128(v + 2),
                              _mm_loadu_si128(v + 3)};
    const __m128i any = _mm_or_si128(_mm_or_si128(groups[0], groups[1]), _mm_or_si128(groups[2], groups[3]));
    if (_mm_testz_si128(any, _mm_set1_epi32(~0x7F))) {
      const __m128i bytes =
          _mm_packus_epi16(_mm_packs_epi32(groups[0], groups[1]), _mm_packs_epi32(groups[2], groups[3]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      out += kBlock;
      continue;
    }
    for (int group = 0; group < 4; ++group) {
      if (_mm_testz_si128(groups[group], _mm_set1_epi32(~0xFFFF))) {
        if (has_surrogate(groups[group])) return nullptr;
        out = encode_four(groups[group], out);
      } else {
        out = encode_utf8_scalar(p + 4 * group, 4, out);
        if (out == nullptr) return nullptr;
      }
    }
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

__attribute__((flatten, target("avx2"))) char* encode_utf8_avx2(const std::uint8_t* code_points, std::size_t count,
                                                                  char* out) {
  using namespace avx2;
  const std::uint8_t* p = code_points;
  const std::uint8_t* const end = code_points + count;
  for (; end - p >= kBlock + kStoreSlack; p += kBlock) {
    prefetch_ahead_of(p, kBlock);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if (_mm256_movemask_epi8(v) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
      out += kBlock;
      continue;
    }
    for (int eight = 0; eight < kBlock; eight += 8) {
      out = encode_eight(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + eight))), out);
    }
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

__attribute__((flatten, target("avx2"))) char* encode_utf8_avx2(const std::uint16_t* code_points, std::size_t count,
                                                                  char* out) {
  using namespace avx2;
  const std::uint16_t* p = code_points;
  const std::uint16_t* const end = code_points + count;
  for (; end - p >= kBlock + kStoreSlack; p += kBlock) {
    prefetch_ahead_of(p, kBlock);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16));
    if (_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_set1_epi16(static_cast<short>(0xFF80)))) {
      // The pack works within 128-bit lanes: a's and b's halves come out interleaved.
      const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0b11'01'10'00);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
      out += kBlock;
      continue;
    }
    if (has_surrogate(a) || has_surrogate(b)) return nullptr;
    for (int eight = 0; eight < kBlock; eight += 8) {
      out = encode_eight(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + eight))), out);
    }
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

__attribute__((flatten, target("avx2"))) char* encode_utf8_avx2(const std::uint32_t* code_points, std::size_t count,
                                                                  char* out) {
  using namespace avx2;
  const std::uint32_t* p = code_points;
  const std::uint32_t* const end = code_points + count;
  for (; end - p >= kBlock + kStoreSlack; p += kBlock) {
    prefetch_ahead_of(p, kBlock);
    const auto* v = reinterpret_cast<const __m256i*>(p);
    const __m256i groups[] = {_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1), _mm256_loadu_si256(v + 2),
                              _mm256_loadu_si256(v + 3)};
    const __m256i any =
        _mm256_or_si256(_mm256_or_si256(groups[0], groups[1]), _mm256_or_si256(groups[2], groups[3]));
    if (_mm256_testz_si256(any, _mm256_set1_epi32(~0x7F))) {
      // The packs work within 128-bit lanes: each 32-bit piece of the
      // result is four code points, the pieces in the order 0 2 4 6 1 3 5 7.
      const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(groups[0], groups[1]),
                                                _mm256_packs_epi32(groups[2], groups[3]));
      const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), ordered);
      out += kBlock;
      continue;
    }
    for (int group = 0; group < 4; ++group) {
      if (_mm256_testz_si256(groups[group], _mm256_set1_epi32(~0xFFFF))) {
        if (has_surrogate(groups[group])) return nullptr;
        out = encode_eight(groups[group], out);
      } else {
        out = encode_utf8_scalar(p + 8 * group, 8, out);
        if (out == nullptr) return nullptr;
      }
    }
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

}  // namespace plomet::scan

#endif
