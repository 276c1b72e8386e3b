// The vectorised encoders of stored code points for x86-64, compiled for
// their instruction sets function by function so the library still runs on
// any x86-64; callers check the processor first (cpu_runs).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)

namespace plomet::scan {

// encode_utf8 16 code points at a time; needs SSE4.2.
char* encode_utf8_sse42(const std::uint8_t* code_points, std::size_t count, char* out);
char* encode_utf8_sse42(const std::uint16_t* code_points, std::size_t count, char* out);
char* encode_utf8_sse42(const std::uint32_t* code_points, std::size_t count, char* out);
// encode_utf8 32 code points at a time; needs AVX2.
char* encode_utf8_avx2(const std::uint8_t* code_points, std::size_t count, char* out);
char* encode_utf8_avx2(const std::uint16_t* code_points, std::size_t count, char* out);
char* encode_utf8_avx2(const std::uint32_t* code_points, std::size_t count, char* out);

}  // namespace plomet::scan

#endif
