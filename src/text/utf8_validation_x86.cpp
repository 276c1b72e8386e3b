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

// The block check, written once in utf8_validation_x86_blocks.inc and
// compiled for each instruction set, which names its target and intrinsics,
// and where a vector's earlier bytes come from: the byte shifts work within
// 128-bit lanes, so an AVX2 vector's low lane takes them from the high lane
// of the vector before it.

namespace sse42 {
#define PLOMET_VECTOR_TARGET __attribute__((target("sse4.2")))
#define PLOMET_VECTOR_OP(op) _mm_##op
#define PLOMET_VECTOR_BITS_OP(op) _mm_##op##128
#define PLOMET_VECTOR_EARLIER_LANES(previous, input) (previous)
#include "text/utf8_validation_x86_blocks.inc"
}  // namespace sse42

namespace avx2 {
#define PLOMET_VECTOR_TARGET __attribute__((target("avx2")))
#define PLOMET_VECTOR_OP(op) _mm256_##op
#define PLOMET_VECTOR_BITS_OP(op) _mm256_##op##256
#define PLOMET_VECTOR_EARLIER_LANES(previous, input) _mm256_permute2x128_si256(previous, input, 0x21)
#include "text/utf8_validation_x86_blocks.inc"
}  // namespace avx2

}  // namespace

// flatten: the block check, compiled for the same instructions, goes into the
// loop with its tables in registers rather than being called per block.
__attribute__((flatten, target("sse4.2"))) std::size_t find_invalid_utf8_sse42(std::string_view bytes) {
  sse42::Blocks blocks;
  return find_invalid_utf8_by_block(bytes, blocks);
}

__attribute__((flatten, target("avx2"))) std::size_t find_invalid_utf8_avx2(std::string_view bytes) {
  avx2::Blocks blocks;
  return find_invalid_utf8_by_block(bytes, blocks);
}

}  // namespace plomet::scan

#endif
