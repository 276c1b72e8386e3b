// UTF-8 validation for hosts that read bytes (the command-line tool, the
// fuzzers); the module receives text that Python already validated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plomet::scan {

inline constexpr std::size_t kValidUtf8 = static_cast<std::size_t>(-1);

// Offset of the first byte that does not start a well-formed UTF-8 sequence,
// or kValidUtf8. Runs the fastest validator this processor supports.
std::size_t find_invalid_utf8(std::string_view bytes);

// The implementations of find_invalid_utf8, each giving the same offsets:
// one character at a time, or 64 bytes at a time with SSE4.2 or AVX2
// instructions (x86-64 only). kUtf8Validators lists them slowest first.
enum class Utf8Validator : std::uint8_t { kScalar, kSse42, kAvx2 };
inline constexpr std::array kUtf8Validators = {Utf8Validator::kScalar, Utf8Validator::kSse42,
                                               Utf8Validator::kAvx2};

// Whether this processor (and build) runs the validator.
bool cpu_runs(Utf8Validator validator);

// find_invalid_utf8 with the given validator, which the processor must run.
std::size_t find_invalid_utf8(std::string_view bytes, Utf8Validator validator);

// The first byte at or after pos that does not start a well-formed sequence,
// decoding one character at a time; pos must start a character.
std::size_t find_invalid_utf8_scalar(std::string_view bytes, std::size_t pos);

}  // namespace plomet::scan
