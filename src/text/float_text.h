// Float texts: both ways this system writes a finite double, each from the
// shortest digits that read back as the same double.
#pragma once

#include <string>

#include "core/page_memory.h"

namespace plomet {

// The shortest round-trip digits of a finite, positive double:
// value = d1.d2..dk × 10^exponent, with no trailing zero digit.
struct ShortestFloatDigits {
  char digits[20];
  std::size_t count = 0;
  int exponent = 0;
};
ShortestFloatDigits shortest_float_digits(double magnitude);
// The same from the general conversion (std::to_chars) alone, which
// shortest_float_digits takes for the values its fast path leaves.
ShortestFloatDigits shortest_float_digits_by_conversion(double magnitude);

// The outline's float text: positional, never with an exponent (1e+16 is
// 10000000000000000, 1.5e-7 is 0.00000015), and 0 for zero.
void append_float_text(std::string& out, double value);

// The compact JSON writer's float text: positional with a fractional part
// when the leading digit's decimal exponent is from -5 to 15 (0.0, 2.0,
// 0.00001), otherwise with an exponent (1e+16, 1.5e-7).
template <class Out>
void append_compact_float(Out& out, double value);
extern template void append_compact_float(std::string& out, double value);
extern template void append_compact_float(Text& out, double value);

}  // namespace plomet
