// Number texts: the grammar pieces the JSON5 reader and the loose scalar
// reader share (digit runs, the decimal float form, the exponent), reading a
// decimal float with the decision between overflow and underflow, and
// integer texts.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plomet::number_text {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of a hexadecimal digit of either case, or -1.
inline int hex_digit_value(char c) {
  if (is_digit(c)) return c - '0';
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// The characters a rough number run is made of: digits, signs, `e` `E` and
// the point. The loose tokenizer, the comma pass and the normalisation cut
// numbers out of a text with it.
inline bool continues_number_run(char32_t c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == 'e' || c == 'E' || c == '.';
}

// Whether text is one or more ASCII digits and nothing else.
bool is_digit_run(std::string_view text);

// A text split at its optional leading `+` or `-`.
struct SignedText {
  char sign = 0;  // '+', '-' or 0 for none
  std::string_view magnitude;
};
SignedText split_sign(std::string_view text);

// An unsigned decimal float: digits, an optional `.` with optional digits (or
// a `.` and digits), then an optional exponent `e`/`E` with an optional sign
// and digits; at least one digit before the exponent. Nothing when text is
// not exactly that. leading_power is the power of ten of the first nonzero
// digit, exponent included (saturating far beyond any text length); 0 when
// every digit is zero.
std::optional<std::int64_t> decimal_float_leading_power(std::string_view text);

// The outcome of reading an unsigned decimal float.
struct DecimalRead {
  enum class Status : std::uint8_t { Value, TooLarge, NotDecimal };
  Status status = Status::NotDecimal;
  double value = 0;  // Value: correctly rounded; 0 below the smallest denormal
};
// 10^0 to 10^22: every power of ten that a double holds exactly.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kLargestExactPower = 22;

// The double of an unsigned decimal float text (digits with an optional
// point, then an optional exponent) when one rounding gives it: at most 15
// significant digits, which are an exact double, and a power of ten from
// -22 to 22, also exact, so that one multiplication or division rounds
// correctly. Nothing for any other text, which takes the general path.
std::optional<double> exact_small_decimal(std::string_view text);

// Reads text, which must be a decimal float from its first character (a
// digit or `.`) to its last. A value past the largest double is TooLarge; one
// too small to represent reads as 0.
DecimalRead read_unsigned_decimal(std::string_view text);
// The same after an optional sign, negated after a minus.
DecimalRead read_signed_decimal(std::string_view text);

// The words for values a double cannot hold. JSON5's: NaN and Infinity, with
// an optional minus, exactly. The loose reader's: inf, infinity or nan in any
// letter case, with no sign.
bool is_json5_non_finite_word(std::string_view text);
bool is_loose_non_finite_word(std::string_view text);

// Appends the decimal digits of an integer, with a `-` when negative.
template <class Out, class Integer>
void append_integer_text(Out& out, Integer value) {
  char digits[24];  // every 64-bit value and its sign
  const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, written.ptr);
}

}  // namespace plomet::number_text
