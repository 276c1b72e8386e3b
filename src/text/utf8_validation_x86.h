// The vectorised UTF-8 validators for x86-64, compiled for their instruction
// sets function by function so the library still runs on any x86-64; callers
// check the processor first (cpu_runs).
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__x86_64__)

namespace plomet::scan {

// find_invalid_utf8 64 bytes at a time; needs SSE4.2.
std::size_t find_invalid_utf8_sse42(std::string_view bytes);
// find_invalid_utf8 64 bytes at a time; needs AVX2.
std::size_t find_invalid_utf8_avx2(std::string_view bytes);

}  // namespace plomet::scan

#endif
