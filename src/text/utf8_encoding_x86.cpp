// Encodes stored code points a block at a time. A block of ASCII code points
// is narrowed to bytes and stored whole. Other blocks are widened to one code
// point per 32-bit lane; where every code point of a group of lanes is below
// U+10000, each lane is given its UTF-8 bytes (lead byte first) with shifts
// and blends, and a byte shuffle, chosen by which lanes take two and three
// bytes, packs each four of them. A group with a code point beyond U+FFFF is
// encoded one code point at a time; a surrogate ends the encoding.
#include "text/utf8_encoding_x86.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <array>

#include "text/utf8.h"

namespace plomet::scan {
namespace {

// A gathered group of four is stored as 16 bytes whatever its length. The
// blocks stop this many code points before the end, so that even at two
// bytes of room per code point the store stays within the caller's buffer.
constexpr std::ptrdiff_t kStoreSlack = 8;

// A block that is not all ASCII takes a branch the processor cannot predict,
// which drops the loads it had started ahead; so the lines this far ahead
// are fetched explicitly, and the loop keeps up with memory.
constexpr std::ptrdiff_t kPrefetchBytes = 2048;
constexpr std::ptrdiff_t kCacheLineBytes = 64;

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

// The loop of every encoder. Blocks says, for its instruction set, how many
// code points a block holds (kUnits), stores a block of ASCII
// (store_if_ascii), and writes any other block (encode_mixed, nullptr for a
// surrogate); the code points after the last block are written one at a
// time.
template <typename Blocks, typename Unit>
inline char* encode_by_block(const Unit* code_points, std::size_t count, char* out) {
  const Unit* p = code_points;
  const Unit* const end = code_points + count;
  for (; end - p >= Blocks::kUnits + kStoreSlack; p += Blocks::kUnits) {
    const char* ahead = reinterpret_cast<const char*>(p) + kPrefetchBytes;
    for (std::ptrdiff_t line = 0; line < Blocks::kUnits * static_cast<std::ptrdiff_t>(sizeof(Unit)); line += kCacheLineBytes) {
      _mm_prefetch(ahead + line, _MM_HINT_T0);
    }
    if (Blocks::store_if_ascii(p, out)) {
      out += Blocks::kUnits;
      continue;
    }
    out = Blocks::encode_mixed(p, out);
    if (out == nullptr) return nullptr;
  }
  return encode_utf8_scalar(p, static_cast<std::size_t>(end - p), out);
}

// Blocks of 16 code points in 128-bit vectors.
struct Sse42Blocks {
  static constexpr std::ptrdiff_t kUnits = 16;

  // Each lane's UTF-8 bytes, lead byte first, for code points below U+10000.
  [[gnu::target("sse4.2")]] static __m128i lane_bytes(__m128i c, __m128i two, __m128i three) {
    const __m128i low_six = _mm_set1_epi32(0x3F);
    const __m128i continuation = _mm_set1_epi32(0x80);
    const __m128i last = _mm_or_si128(_mm_and_si128(c, low_six), continuation);
    const __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 6), low_six), continuation);
    const __m128i as_two =
        _mm_or_si128(_mm_or_si128(_mm_srli_epi32(c, 6), _mm_set1_epi32(0xC0)), _mm_slli_epi32(last, 8));
    const __m128i as_three = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(c, 12), _mm_set1_epi32(0xE0)),
                                          _mm_or_si128(_mm_slli_epi32(middle, 8), _mm_slli_epi32(last, 16)));
    return _mm_blendv_epi8(_mm_blendv_epi8(c, as_two, two), as_three, three);
  }

  // Writes four code points below U+10000, none a surrogate; stores 16 bytes.
  [[gnu::target("sse4.2")]] static char* encode_four(__m128i c, char* out) {
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
  [[gnu::target("sse4.2")]] static bool has_surrogate(__m128i v) {
    const __m128i surrogates = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))),
                                               _mm_set1_epi16(static_cast<short>(0xD800)));
    return !_mm_testz_si128(surrogates, surrogates);
  }

  [[gnu::target("sse4.2")]] static __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
  }

  [[gnu::target("sse4.2")]] static bool store_if_ascii(const std::uint8_t* p, char* out) {
    const __m128i v = load(p);
    if (_mm_movemask_epi8(v) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    return true;
  }

  [[gnu::target("sse4.2")]] static char* encode_mixed(const std::uint8_t* p, char* out) {
    const __m128i v = load(p);
    out = encode_four(_mm_cvtepu8_epi32(v), out);
    out = encode_four(_mm_cvtepu8_epi32(_mm_srli_si128(v, 4)), out);
    out = encode_four(_mm_cvtepu8_epi32(_mm_srli_si128(v, 8)), out);
    return encode_four(_mm_cvtepu8_epi32(_mm_srli_si128(v, 12)), out);
  }

  [[gnu::target("sse4.2")]] static bool store_if_ascii(const std::uint16_t* p, char* out) {
    const __m128i a = load(p);
    const __m128i b = load(p + 8);
    if (!_mm_testz_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)))) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
    return true;
  }

  [[gnu::target("sse4.2")]] static char* encode_mixed(const std::uint16_t* p, char* out) {
    const __m128i a = load(p);
    const __m128i b = load(p + 8);
    if (has_surrogate(a) || has_surrogate(b)) return nullptr;
    const __m128i zero = _mm_setzero_si128();
    out = encode_four(_mm_unpacklo_epi16(a, zero), out);
    out = encode_four(_mm_unpackhi_epi16(a, zero), out);
    out = encode_four(_mm_unpacklo_epi16(b, zero), out);
    return encode_four(_mm_unpackhi_epi16(b, zero), out);
  }

  [[gnu::target("sse4.2")]] static bool store_if_ascii(const std::uint32_t* p, char* out) {
    const __m128i a = load(p), b = load(p + 4), c = load(p + 8), d = load(p + 12);
    if (!_mm_testz_si128(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)), _mm_set1_epi32(~0x7F))) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    return true;
  }

  [[gnu::target("sse4.2")]] static char* encode_mixed(const std::uint32_t* p, char* out) {
    for (int group = 0; group < kUnits; group += 4) {
      const __m128i c = load(p + group);
      if (_mm_testz_si128(c, _mm_set1_epi32(~0xFFFF))) {
        if (has_surrogate(c)) return nullptr;
        out = encode_four(c, out);
      } else {
        out = encode_utf8_scalar(p + group, 4, out);
        if (out == nullptr) return nullptr;
      }
    }
    return out;
  }
};

// Blocks of 32 code points in 256-bit vectors, whose byte shuffles and packs
// work within each 128-bit lane.
struct Avx2Blocks {
  static constexpr std::ptrdiff_t kUnits = 32;

  [[gnu::target("avx2")]] static __m256i lane_bytes(__m256i c, __m256i two, __m256i three) {
    const __m256i low_six = _mm256_set1_epi32(0x3F);
    const __m256i continuation = _mm256_set1_epi32(0x80);
    const __m256i last = _mm256_or_si256(_mm256_and_si256(c, low_six), continuation);
    const __m256i middle = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(c, 6), low_six), continuation);
    const __m256i as_two = _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(c, 6), _mm256_set1_epi32(0xC0)),
                                           _mm256_slli_epi32(last, 8));
    const __m256i as_three =
        _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(c, 12), _mm256_set1_epi32(0xE0)),
                        _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(last, 16)));
    return _mm256_blendv_epi8(_mm256_blendv_epi8(c, as_two, two), as_three, three);
  }

  // Writes eight code points below U+10000, none a surrogate, as two groups
  // of four; each group stores 16 bytes.
  [[gnu::target("avx2")]] static char* encode_eight(__m256i c, char* out) {
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

  [[gnu::target("avx2")]] static bool has_surrogate(__m256i v) {
    const __m256i surrogates =
        _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xF800))),
                           _mm256_set1_epi16(static_cast<short>(0xD800)));
    return !_mm256_testz_si256(surrogates, surrogates);
  }

  [[gnu::target("avx2")]] static __m256i load(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
  }

  [[gnu::target("avx2")]] static bool store_if_ascii(const std::uint8_t* p, char* out) {
    const __m256i v = load(p);
    if (_mm256_movemask_epi8(v) != 0) return false;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
    return true;
  }

  [[gnu::target("avx2")]] static char* encode_mixed(const std::uint8_t* p, char* out) {
    for (int eight = 0; eight < kUnits; eight += 8) {
      out = encode_eight(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + eight))), out);
    }
    return out;
  }

  [[gnu::target("avx2")]] static bool store_if_ascii(const std::uint16_t* p, char* out) {
    const __m256i a = load(p);
    const __m256i b = load(p + 16);
    if (!_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_set1_epi16(static_cast<short>(0xFF80)))) return false;
    // The pack interleaves a's and b's 128-bit halves.
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0b11'01'10'00);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
    return true;
  }

  [[gnu::target("avx2")]] static char* encode_mixed(const std::uint16_t* p, char* out) {
    if (has_surrogate(load(p)) || has_surrogate(load(p + 16))) return nullptr;
    for (int eight = 0; eight < kUnits; eight += 8) {
      out = encode_eight(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + eight))), out);
    }
    return out;
  }

  [[gnu::target("avx2")]] static bool store_if_ascii(const std::uint32_t* p, char* out) {
    const __m256i a = load(p), b = load(p + 8), c = load(p + 16), d = load(p + 24);
    const __m256i any = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
    if (!_mm256_testz_si256(any, _mm256_set1_epi32(~0x7F))) return false;
    // Each 32-bit piece of the packs is four code points, the pieces in the
    // order 0 2 4 6 1 3 5 7.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d));
    const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), ordered);
    return true;
  }

  [[gnu::target("avx2")]] static char* encode_mixed(const std::uint32_t* p, char* out) {
    for (int group = 0; group < kUnits; group += 8) {
      const __m256i c = load(p + group);
      if (_mm256_testz_si256(c, _mm256_set1_epi32(~0xFFFF))) {
        if (has_surrogate(c)) return nullptr;
        out = encode_eight(c, out);
      } else {
        out = encode_utf8_scalar(p + group, 8, out);
        if (out == nullptr) return nullptr;
      }
    }
    return out;
  }
};

}  // namespace

// flatten: the block functions, compiled for the same instructions, go into
// the loop with their constants in registers.

__attribute__((flatten, target("sse4.2"))) char* encode_utf8_sse42(const std::uint8_t* code_points,
                                                                     std::size_t count, char* out) {
  return encode_by_block<Sse42Blocks>(code_points, count, out);
}

__attribute__((flatten, target("sse4.2"))) char* encode_utf8_sse42(const std::uint16_t* code_points,
                                                                     std::size_t count, char* out) {
  return encode_by_block<Sse42Blocks>(code_points, count, out);
}

__attribute__((flatten, target("sse4.2"))) char* encode_utf8_sse42(const std::uint32_t* code_points,
                                                                     std::size_t count, char* out) {
  return encode_by_block<Sse42Blocks>(code_points, count, out);
}

__attribute__((flatten, target("avx2"))) char* encode_utf8_avx2(const std::uint8_t* code_points, std::size_t count,
                                                                  char* out) {
  return encode_by_block<Avx2Blocks>(code_points, count, out);
}

__attribute__((flatten, target("avx2"))) char* encode_utf8_avx2(const std::uint16_t* code_points, std::size_t count,
                                                                  char* out) {
  return encode_by_block<Avx2Blocks>(code_points, count, out);
}

__attribute__((flatten, target("avx2"))) char* encode_utf8_avx2(const std::uint32_t* code_points, std::size_t count,
                                                                  char* out) {
  return encode_by_block<Avx2Blocks>(code_points, count, out);
}

}  // namespace plomet::scan

#endif
