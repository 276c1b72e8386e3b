// Validates 64 bytes at a time. A block of ASCII bytes is passed over after
// one test. Other blocks are checked byte by byte in vector registers with
// the lookup-table method of Keiser and Lemire: each byte is judged together
// with the byte before it, through three 16-entry tables indexed by the high
// and low nibble of the previous byte and the high nibble of the byte. An
// entry holds the faults its nibble can take part in; a pair of bytes is at
// fault where the three entries share a bit. Continuation bytes in third and
// fourth position are checked against the bytes two and three back.
//
// The vectors find that a block holds a fault, not where the scalar search
// would stop: on a faulty block the scalar search resumes at the start of
// the character that runs into the block, and reports the exact offset.
#include "text/utf8_validation_x86.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "text/utf8.h"

#define PLOMET_TARGET_SSE42 __attribute__((target("sse4.2")))
#define PLOMET_TARGET_AVX2 __attribute__((target("avx2")))

namespace plomet::scan {
namespace {

constexpr std::size_t kBlockSize = 64;

// The faults of a pair (previous byte, byte), one bit each.
constexpr std::uint8_t kTooShort = 1 << 0;        // lead byte, then no continuation byte
constexpr std::uint8_t kTooLong = 1 << 1;         // ASCII, then a continuation byte
constexpr std::uint8_t kOverlong3 = 1 << 2;       // E0 80..9F
constexpr std::uint8_t kTooLarge = 1 << 3;        // F4..FF 90..BF
constexpr std::uint8_t kSurrogate = 1 << 4;       // ED A0..BF
constexpr std::uint8_t kOverlong2 = 1 << 5;       // C0 or C1, then a continuation byte
constexpr std::uint8_t kTooLarge1000 = 1 << 6;    // F5..FF 80..8F
constexpr std::uint8_t kOverlong4 = 1 << 6;       // F0 80..8F; told from F5..FF by the low nibble
constexpr std::uint8_t kTwoContinuations = 1 << 7;  // a fault unless a third or fourth byte
// The faults that do not depend on the previous byte's low nibble.
constexpr std::uint8_t kCarry = kTooShort | kTooLong | kTwoContinuations;

using NibbleTable = std::array<std::uint8_t, 16>;

constexpr NibbleTable kPreviousHighNibble = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,  // 0_ to 7_
    kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,      // 8_ to B_
    kTooShort | kOverlong2,                                                          // C_
    kTooShort,                                                                       // D_
    kTooShort | kOverlong3 | kSurrogate,                                             // E_
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4,                              // F_
};

constexpr NibbleTable kPreviousLowNibble = {
    kCarry | kOverlong2 | kOverlong3 | kOverlong4,  // _0
    kCarry | kOverlong2,                            // _1
    kCarry,
    kCarry,
    kCarry | kTooLarge,  // _4
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,  // _D
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
};

constexpr NibbleTable kHighNibble = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,  // 0_ to 7_
    kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge1000 | kOverlong4,      // 8_
    kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge,                      // 9_
    kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,                      // A_
    kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,                      // B_
    kTooShort, kTooShort, kTooShort, kTooShort,                                              // C_ to F_
};

// A table in each 128-bit lane of a block, as the lane-wise byte shuffles
// read it; vectors shorter than the block take its start.
constexpr std::array<std::uint8_t, kBlockSize> in_each_lane(const NibbleTable& table) {
  std::array<std::uint8_t, kBlockSize> lanes{};
  for (std::size_t i = 0; i < lanes.size(); ++i) lanes[i] = table[i % table.size()];
  return lanes;
}
constexpr auto kPreviousHighNibbleLanes = in_each_lane(kPreviousHighNibble);
constexpr auto kPreviousLowNibbleLanes = in_each_lane(kPreviousLowNibble);
constexpr auto kHighNibbleLanes = in_each_lane(kHighNibble);

// Per byte of a block, the largest value that leaves no sequence open at the
// block's end: a lead byte in the last position, a lead of three or four
// bytes in the second last, of four in the third last. Vectors shorter than
// the block take the end of the table.
constexpr std::array<std::uint8_t, kBlockSize> kLargestClosedTail = [] {
  std::array<std::uint8_t, kBlockSize> largest{};
  largest.fill(0xFF);
  largest[kBlockSize - 3] = 0xEF;
  largest[kBlockSize - 2] = 0xDF;
  largest[kBlockSize - 1] = 0xBF;
  return largest;
}();

// Where the scalar search resumes for a faulty block: the lead byte among
// the three bytes before the block, unless an ASCII byte comes first. The
// text before the block passed, so that lead starts a character.
std::size_t character_start_before(std::string_view bytes, std::size_t block_start) {
  for (std::size_t back = 1; back <= 3 && back <= block_start; ++back) {
    const auto byte = static_cast<unsigned char>(bytes[block_start - back]);
    if (byte < 0x80) break;
    if (byte >= 0xC0) return block_start - back;
  }
  return block_start;
}

std::size_t find_invalid_utf8_in_block(std::string_view bytes, std::size_t block_start) {
  return find_invalid_utf8_scalar(bytes, character_start_before(bytes, block_start));
}

// Runs the block check of Blocks over the whole blocks, then over the rest
// padded with zero bytes: the first padding byte shows a sequence the text
// cuts short.
template <typename Blocks>
inline std::size_t find_invalid_utf8_by_block(std::string_view bytes, Blocks& blocks) {
  std::size_t pos = 0;
  for (; bytes.size() - pos >= kBlockSize; pos += kBlockSize) {
    if (!blocks.next_is_valid(bytes.data() + pos)) return find_invalid_utf8_in_block(bytes, pos);
  }
  char tail[kBlockSize] = {};
  if (pos < bytes.size()) std::memcpy(tail, bytes.data() + pos, bytes.size() - pos);
  if (!blocks.next_is_valid(tail)) return find_invalid_utf8_in_block(bytes, pos);
  return kValidUtf8;
}

// ---- SSE4.2: four vectors of 16 bytes per block.

PLOMET_TARGET_SSE42 inline __m128i load_sse42(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

PLOMET_TARGET_SSE42 inline __m128i high_nibbles_sse42(__m128i bytes) {
  return _mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F));
}

// Nonzero bytes where input, after the vector previous, breaks a sequence.
PLOMET_TARGET_SSE42 inline __m128i faults_sse42(__m128i input, __m128i previous) {
  const __m128i previous1 = _mm_alignr_epi8(input, previous, 15);
  const __m128i previous2 = _mm_alignr_epi8(input, previous, 14);
  const __m128i previous3 = _mm_alignr_epi8(input, previous, 13);
  const __m128i pair_faults = _mm_and_si128(
      _mm_and_si128(_mm_shuffle_epi8(load_sse42(kPreviousHighNibbleLanes.data()), high_nibbles_sse42(previous1)),
                    _mm_shuffle_epi8(load_sse42(kPreviousLowNibbleLanes.data()),
                                     _mm_and_si128(previous1, _mm_set1_epi8(0x0F)))),
      _mm_shuffle_epi8(load_sse42(kHighNibbleLanes.data()), high_nibbles_sse42(input)));
  // The high bit is set where a byte must be a third or fourth continuation
  // byte: two after a lead of E0 and up, or three after one of F0 and up.
  const __m128i third = _mm_subs_epu8(previous2, _mm_set1_epi8(0xE0 - 0x80));
  const __m128i fourth = _mm_subs_epu8(previous3, _mm_set1_epi8(0xF0 - 0x80));
  const __m128i must_continue =
      _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(static_cast<char>(0x80)));
  return _mm_xor_si128(pair_faults, must_continue);
}

PLOMET_TARGET_SSE42 inline bool is_zero_sse42(__m128i v) { return _mm_testz_si128(v, v) != 0; }

// The blocks so far: the last vector, and where it leaves a sequence open
// (zero bytes when none is).
struct Sse42Blocks {
  __m128i previous;
  __m128i open_sequence;

  // Whether the 64 bytes at p continue the text without a fault.
  PLOMET_TARGET_SSE42 bool next_is_valid(const char* p);
};

PLOMET_TARGET_SSE42 bool Sse42Blocks::next_is_valid(const char* p) {
  const __m128i v0 = load_sse42(p);
  const __m128i v1 = load_sse42(p + 16);
  const __m128i v2 = load_sse42(p + 32);
  const __m128i v3 = load_sse42(p + 48);
  const __m128i any = _mm_or_si128(_mm_or_si128(v0, v1), _mm_or_si128(v2, v3));
  if (_mm_movemask_epi8(any) == 0) {
    const bool valid = is_zero_sse42(open_sequence);
    previous = v3;
    open_sequence = _mm_setzero_si128();
    return valid;
  }
  const __m128i faults = _mm_or_si128(
      _mm_or_si128(faults_sse42(v0, previous), faults_sse42(v1, v0)),
      _mm_or_si128(faults_sse42(v2, v1), faults_sse42(v3, v2)));
  previous = v3;
  open_sequence = _mm_subs_epu8(v3, load_sse42(kLargestClosedTail.data() + 48));
  return is_zero_sse42(faults);
}

// ---- AVX2: two vectors of 32 bytes per block.

PLOMET_TARGET_AVX2 inline __m256i load_avx2(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

PLOMET_TARGET_AVX2 inline __m256i high_nibbles_avx2(__m256i bytes) {
  return _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
}

PLOMET_TARGET_AVX2 inline __m256i faults_avx2(__m256i input, __m256i previous) {
  // The byte shifts work within 128-bit lanes: the low lane takes its
  // earlier bytes from the high lane of previous.
  const __m256i straddle = _mm256_permute2x128_si256(previous, input, 0x21);
  const __m256i previous1 = _mm256_alignr_epi8(input, straddle, 15);
  const __m256i previous2 = _mm256_alignr_epi8(input, straddle, 14);
  const __m256i previous3 = _mm256_alignr_epi8(input, straddle, 13);
  const __m256i pair_faults = _mm256_and_si256(
      _mm256_and_si256(
          _mm256_shuffle_epi8(load_avx2(kPreviousHighNibbleLanes.data()), high_nibbles_avx2(previous1)),
          _mm256_shuffle_epi8(load_avx2(kPreviousLowNibbleLanes.data()),
                              _mm256_and_si256(previous1, _mm256_set1_epi8(0x0F)))),
      _mm256_shuffle_epi8(load_avx2(kHighNibbleLanes.data()), high_nibbles_avx2(input)));
  const __m256i third = _mm256_subs_epu8(previous2, _mm256_set1_epi8(0xE0 - 0x80));
  const __m256i fourth = _mm256_subs_epu8(previous3, _mm256_set1_epi8(0xF0 - 0x80));
  const __m256i must_continue =
      _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
  return _mm256_xor_si256(pair_faults, must_continue);
}

PLOMET_TARGET_AVX2 inline bool is_zero_avx2(__m256i v) { return _mm256_testz_si256(v, v) != 0; }

struct Avx2Blocks {
  __m256i previous;
  __m256i open_sequence;

  PLOMET_TARGET_AVX2 bool next_is_valid(const char* p);
};

PLOMET_TARGET_AVX2 bool Avx2Blocks::next_is_valid(const char* p) {
  const __m256i v0 = load_avx2(p);
  const __m256i v1 = load_avx2(p + 32);
  if (_mm256_movemask_epi8(_mm256_or_si256(v0, v1)) == 0) {
    const bool valid = is_zero_avx2(open_sequence);
    previous = v1;
    open_sequence = _mm256_setzero_si256();
    return valid;
  }
  const __m256i faults = _mm256_or_si256(faults_avx2(v0, previous), faults_avx2(v1, v0));
  previous = v1;
  open_sequence = _mm256_subs_epu8(v1, load_avx2(kLargestClosedTail.data() + 32));
  return is_zero_avx2(faults);
}

}  // namespace

// flatten: the block check, compiled for the same instructions, goes into the
// loop with its tables in registers rather than being called per block.
__attribute__((flatten)) PLOMET_TARGET_SSE42 std::size_t find_invalid_utf8_sse42(std::string_view bytes) {
  Sse42Blocks blocks{_mm_setzero_si128(), _mm_setzero_si128()};
  return find_invalid_utf8_by_block(bytes, blocks);
}

__attribute__((flatten)) PLOMET_TARGET_AVX2 std::size_t find_invalid_utf8_avx2(std::string_view bytes) {
  Avx2Blocks blocks{_mm256_setzero_si256(), _mm256_setzero_si256()};
  return find_invalid_utf8_by_block(bytes, blocks);
}

}  // namespace plomet::scan

#endif
