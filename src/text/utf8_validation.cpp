#include "text/utf8_validation.h"

#include "text/text_scan.h"
#include "text/utf8_validation_x86.h"

namespace plomet::scan {

std::size_t find_invalid_utf8_scalar(std::string_view bytes, std::size_t pos) {
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    DecodedChar d = decode_slow(bytes, pos);
    // decode_slow reports malformed input as U+FFFD over one byte; a real
    // U+FFFD is three bytes long.
    if (d.code_point == kReplacementChar && d.length == 1) return pos;
    pos += d.length;
  }
  return kValidUtf8;
}

bool cpu_runs(Utf8Validator validator) {
  switch (validator) {
    case Utf8Validator::kScalar:
      return true;
#if defined(__x86_64__)
    case Utf8Validator::kSse42:
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse4.2");
    case Utf8Validator::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

std::size_t find_invalid_utf8(std::string_view bytes, Utf8Validator validator) {
  switch (validator) {
#if defined(__x86_64__)
    case Utf8Validator::kSse42:
      return find_invalid_utf8_sse42(bytes);
    case Utf8Validator::kAvx2:
      return find_invalid_utf8_avx2(bytes);
#endif
    default:
      return find_invalid_utf8_scalar(bytes, 0);
  }
}

namespace {

Utf8Validator fastest_utf8_validator() {
  for (auto it = kUtf8Validators.rbegin(); it != kUtf8Validators.rend(); ++it) {
    if (cpu_runs(*it)) return *it;
  }
  return Utf8Validator::kScalar;
}

}  // namespace

std::size_t find_invalid_utf8(std::string_view bytes) {
  static const Utf8Validator fastest = fastest_utf8_validator();
  return find_invalid_utf8(bytes, fastest);
}

}  // namespace plomet::scan
