#include "text/number_text.h"

#include <algorithm>

namespace plomet::number_text {
namespace {

// End of the run of ASCII digits that starts at from.
std::size_t digit_run_end(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && is_digit(text[end])) ++end;
  return end;
}

}  // namespace

bool is_digit_run(std::string_view text) { return !text.empty() && digit_run_end(text, 0) == text.size(); }

SignedText split_sign(std::string_view text) {
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return {0, text};
  return {text[0], text.substr(1)};
}

std::optional<std::int64_t> decimal_float_leading_power(std::string_view text) {
  const std::size_t integer_end = digit_run_end(text, 0);
  std::size_t pos = integer_end;
  std::size_t fraction_end = integer_end;
  if (pos < text.size() && text[pos] == '.') {
    fraction_end = digit_run_end(text, pos + 1);
    pos = fraction_end;
  }
  const bool has_fraction = fraction_end > integer_end;
  const std::size_t fraction_digits = has_fraction ? fraction_end - integer_end - 1 : 0;
  if (integer_end == 0 && fraction_digits == 0) return std::nullopt;
  std::int64_t exponent = 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    const SignedText exponent_text = split_sign(text.substr(pos + 1));
    if (!is_digit_run(exponent_text.magnitude)) return std::nullopt;
    // Saturates far beyond any digit count a text can hold.
    constexpr std::int64_t kSaturated = std::int64_t{1} << 50;
    for (char c : exponent_text.magnitude) {
      if (exponent < kSaturated) exponent = exponent * 10 + (c - '0');
    }
    if (exponent_text.sign == '-') exponent = -exponent;
    pos = text.size();
  }
  if (pos != text.size()) return std::nullopt;
  const std::size_t first_nonzero = std::min(text.find_first_not_of('0'), integer_end);
  if (first_nonzero < integer_end) return static_cast<std::int64_t>(integer_end - first_nonzero) - 1 + exponent;
  if (!has_fraction) return 0;
  const std::size_t fraction_start = integer_end + 1;
  const std::size_t fraction_nonzero = std::min(text.find_first_not_of('0', fraction_start), fraction_end);
  if (fraction_nonzero == fraction_end) return 0;
  return -static_cast<std::int64_t>(fraction_nonzero - fraction_start) - 1 + exponent;
}

std::optional<double> exact_small_decimal(std::string_view text) {
  constexpr int kMostDigits = 15;
  std::uint64_t digits = 0;
  int significant = 0;
  int power = 0;  // of the last digit taken
  bool any_digit = false;
  std::size_t pos = 0;
  const auto take_digits = [&](bool fraction) {
    for (; pos < text.size() && is_digit(text[pos]); ++pos) {
      any_digit = true;
      power -= fraction ? 1 : 0;
      const auto digit = static_cast<unsigned>(text[pos] - '0');
      if (digits == 0 && digit == 0) continue;
      if (++significant > kMostDigits) return false;
      digits = digits * 10 + digit;
    }
    return true;
  };
  if (!take_digits(false)) return std::nullopt;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    if (!take_digits(true)) return std::nullopt;
  }
  if (!any_digit) return std::nullopt;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    const SignedText exponent = split_sign(text.substr(pos + 1));
    if (!is_digit_run(exponent.magnitude) || exponent.magnitude.size() > 4) return std::nullopt;
    int value = 0;
    for (char c : exponent.magnitude) value = value * 10 + (c - '0');
    power += exponent.sign == '-' ? -value : value;
    pos = text.size();
  }
  if (pos != text.size()) return std::nullopt;
  if (digits == 0) return 0.0;
  if (power < -kLargestExactPower || power > kLargestExactPower) return std::nullopt;
  const auto exact = static_cast<double>(digits);
  return power >= 0 ? exact * kExactPowersOfTen[power] : exact / kExactPowersOfTen[-power];
}

DecimalRead read_unsigned_decimal(std::string_view text) {
  // From a digit or a point on, from_chars takes exactly the decimal float
  // form; its words ("inf", "nan") and signs are kept out here.
  if (text.empty() || !(is_digit(text[0]) || text[0] == '.')) return {};
  if (const std::optional<double> exact = exact_small_decimal(text)) return {DecimalRead::Status::Value, *exact};
  const char* end = text.data() + text.size();
  double value = 0;
  const std::from_chars_result read = std::from_chars(text.data(), end, value);
  if (read.ptr != end) return {};
  if (read.ec == std::errc::result_out_of_range) {
    // Out of range is either past the largest double or below half the
    // smallest denormal: values far from 1, on one side or the other, so the
    // power of ten of the leading digit tells which.
    const std::optional<std::int64_t> leading_power = decimal_float_leading_power(text);
    if (!leading_power) return {};
    if (*leading_power > 0) return {DecimalRead::Status::TooLarge, 0};
    return {DecimalRead::Status::Value, 0};
  }
  if (read.ec != std::errc()) return {};
  return {DecimalRead::Status::Value, value};
}

DecimalRead read_signed_decimal(std::string_view text) {
  const SignedText signed_text = split_sign(text);
  DecimalRead read = read_unsigned_decimal(signed_text.magnitude);
  if (signed_text.sign == '-') read.value = -read.value;
  return read;
}

bool is_json5_non_finite_word(std::string_view text) {
  if (text.empty() || (text.back() != 'N' && text.back() != 'y')) return false;
  return text == "NaN" || text == "-NaN" || text == "Infinity" || text == "-Infinity";
}

bool is_loose_non_finite_word(std::string_view text) {
  auto equals_ignoring_case = [text](std::string_view lower_word) {
    return std::equal(text.begin(), text.end(), lower_word.begin(), lower_word.end(), [](char c, char lower) {
      return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower;
    });
  };
  return equals_ignoring_case("inf") || equals_ignoring_case("infinity") || equals_ignoring_case("nan");
}

}  // namespace plomet::number_text
