#include "text/float_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "text/number_text.h"

namespace plomet {

ShortestFloatDigits shortest_float_digits_by_conversion(double magnitude) {
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

namespace {

constexpr int kShortDigits = 15;
constexpr std::uint64_t kShortLimit = 1'000'000'000'000'000;  // 10^15

using number_text::kExactPowersOfTen;

// The 15-digit rounding of magnitude, whose leading digit has the power of
// ten `leading` (from -8 to 14, so that the scale is an exact power): the
// product is taken in extended precision, whose error is far below the half
// unit that rounding to an integer allows.
std::uint64_t fifteen_digits(double magnitude, int leading) {
  const auto scale = static_cast<long double>(kExactPowersOfTen[kShortDigits - 1 - leading]);
  const long double scaled = static_cast<long double>(magnitude) * scale;
  return static_cast<std::uint64_t>(scaled + 0.5L);
}

// The power of ten of the leading digit of a magnitude from 1e-8 to 1e15,
// as doubles compare: a value just below a power of ten may be taken for
// it, which the caller sees in its digit count.
int leading_power(double magnitude) {
  static constexpr double kFractions[] = {1, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8};
  int leading = 0;
  if (magnitude >= 1) {
    while (leading < kShortDigits - 1 && magnitude >= kExactPowersOfTen[leading + 1]) ++leading;
  } else {
    while (leading > -8 && magnitude < kFractions[-leading]) --leading;
  }
  return leading;
}

// A double that some decimal of at most 15 significant digits rounds to has
// that decimal as its shortest round-trip form, since no two such decimals
// round to the same double. So the 15-digit rounding of the value, its
// trailing zeros dropped, is the shortest form when it reads back as the
// value with one exact rounding. Nothing for any other value, which takes
// the general conversion.
std::optional<ShortestFloatDigits> shortest_short_decimal(double magnitude) {
  if (!(magnitude >= 1e-8 && magnitude < 1e15)) return std::nullopt;
  const int leading = leading_power(magnitude);
  std::uint64_t digits = fifteen_digits(magnitude, leading);
  if (digits >= kShortLimit || digits < kShortLimit / 10) return std::nullopt;
  int power = leading - (kShortDigits - 1);  // of the last digit
  while (digits % 10 == 0) {
    digits /= 10;
    ++power;
  }
  const auto exact = static_cast<double>(digits);
  const double scale = kExactPowersOfTen[power >= 0 ? power : -power];
  if ((power >= 0 ? exact * scale : exact / scale) != magnitude) return std::nullopt;
  ShortestFloatDigits shortest;
  const std::to_chars_result written = std::to_chars(shortest.digits, shortest.digits + sizeof shortest.digits, digits);
  shortest.count = static_cast<std::size_t>(written.ptr - shortest.digits);
  shortest.exponent = power + static_cast<int>(shortest.count) - 1;
  return shortest;
}

}  // namespace

ShortestFloatDigits shortest_float_digits(double magnitude) {
  if (const std::optional<ShortestFloatDigits> shortest = shortest_short_decimal(magnitude)) return *shortest;
  return shortest_float_digits_by_conversion(magnitude);
}

namespace {

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
