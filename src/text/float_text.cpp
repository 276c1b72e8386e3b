#include "text/float_text.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "text/number_text.h"

namespace plomet {
namespace {

// The shortest round-trip digits of a finite, positive double:
// value = d1.d2..dk × 10^exponent, with no trailing zero digit.
struct ShortestFloatDigits {
  char digits[20];
  std::size_t count = 0;
  int exponent = 0;
};

ShortestFloatDigits shortest_float_digits(double magnitude) {
  // Shortest round-trip form "d[.ddd]e±XX"; 40 bytes hold the longest, 17
  // digits and a 3-digit exponent.
  char scientific[40];
  const std::to_chars_result written =
      std::to_chars(scientific, scientific + sizeof scientific, magnitude, std::chars_format::scientific);
  const std::string_view form(scientific, static_cast<std::size_t>(written.ptr - scientific));
  const std::size_t e_mark = form.find('e');
  ShortestFloatDigits shortest;
  for (char c : form.substr(0, e_mark)) {
    if (c != '.') shortest.digits[shortest.count++] = c;
  }
  while (shortest.count > 1 && shortest.digits[shortest.count - 1] == '0') --shortest.count;
  std::string_view exponent = form.substr(e_mark + 1);
  if (exponent.front() == '+') exponent.remove_prefix(1);
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), shortest.exponent);
  return shortest;
}

// Appends the sign of value (`-` also for -0.0), and zero_text when it is
// zero; otherwise returns the shortest digits of its magnitude.
template <class Out>
std::optional<ShortestFloatDigits> append_sign_or_zero(Out& out, double value, std::string_view zero_text) {
  if (std::signbit(value)) out.push_back('-');
  if (value != 0) return shortest_float_digits(std::fabs(value));
  out.append(zero_text);
  return std::nullopt;
}

}  // namespace

void append_float_text(std::string& out, double value) {
  const std::optional<ShortestFloatDigits> shortest = append_sign_or_zero(out, value, "0");
  if (!shortest) return;
  const std::string_view digits(shortest->digits, shortest->count);
  // The digits before the point: value = 0.d1..dk × 10^integer_digits.
  const long integer_digits = shortest->exponent + 1L;
  if (integer_digits <= 0) {
    out.append("0.").append(static_cast<std::size_t>(-integer_digits), '0').append(digits);
  } else if (static_cast<std::size_t>(integer_digits) < digits.size()) {
    const auto split = static_cast<std::size_t>(integer_digits);
    out.append(digits.substr(0, split)).append(".").append(digits.substr(split));
  } else {
    out.append(digits).append(static_cast<std::size_t>(integer_digits) - digits.size(), '0');
  }
}

template <class Out>
void append_compact_float(Out& out, double value) {
  const std::optional<ShortestFloatDigits> shortest = append_sign_or_zero(out, value, "0.0");
  if (!shortest) return;
  const int exponent = shortest->exponent;
  const std::string_view digits(shortest->digits, shortest->count);
  if (exponent < -5 || exponent > 15) {
    out.push_back(digits.front());
    if (digits.size() > 1) out.append(".").append(digits.substr(1));
    out.append(exponent < 0 ? "e-" : "e+");
    number_text::append_integer_text(out, exponent < 0 ? -exponent : exponent);
    return;
  }
  if (exponent < 0) {
    out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    return;
  }
  const std::size_t integer_digits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() > integer_digits) {
    out.append(digits.substr(0, integer_digits)).append(".").append(digits.substr(integer_digits));
  } else {
    out.append(digits).append(integer_digits - digits.size(), '0').append(".0");
  }
}

template void append_compact_float(std::string& out, double value);
template void append_compact_float(Text& out, double value);

}  // namespace plomet
