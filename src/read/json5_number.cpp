#include "read/json5_number.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace plomet {
namespace {

constexpr std::string_view kHexError = "error parsing hex";
constexpr std::string_view kIntegerError = "error parsing integer";
constexpr std::string_view kNumberError = "error parsing number";
constexpr std::string_view kTooLargeError = "error parsing number: too large";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  char lower = static_cast<char>(c | 0x20);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

bool has_hex_prefix(std::string_view s) { return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'); }

bool is_non_finite_word(std::string_view s) {
  if (s.empty() || (s.back() != 'N' && s.back() != 'y')) return false;
  return s == "NaN" || s == "-NaN" || s == "Infinity" || s == "-Infinity";
}

// An integer literal has no ".", and no "e" or "E" unless it begins with
// "0x" or "0X" (where they are digits), and is none of the four words.
bool is_integer_literal(std::string_view s) {
  bool has_point = false;
  bool has_e = false;
  for (char c : s) {
    has_point |= c == '.';
    has_e |= (c | 0x20) == 'e';
  }
  if (has_point || (has_e && !has_hex_prefix(s))) return false;
  return !is_non_finite_word(s);
}

Expected<JsonValue, std::string_view> convert_hex(std::string_view digits) {
  if (digits.empty()) return Unexpected(kHexError);
  std::uint64_t value = 0;
  for (char c : digits) {
    int d = hex_digit_value(c);
    if (d < 0) return Unexpected(kHexError);
    value = value * 16 + static_cast<std::uint64_t>(d);
    if (value > std::numeric_limits<std::uint32_t>::max()) return Unexpected(kHexError);
  }
  return JsonValue::number(JsonNumber::u64(value));
}

Expected<JsonValue, std::string_view> convert_decimal_integer(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return Unexpected(kIntegerError);
  // The magnitude limit: 2^63 for negative values, 2^63 - 1 otherwise.
  const std::uint64_t limit = (std::uint64_t{1} << 63) - (negative ? 0 : 1);
  std::uint64_t magnitude = 0;
  // Up to 18 digits cannot pass the limit.
  const bool may_overflow = s.size() > 18;
  for (char c : s) {
    if (!is_digit(c)) return Unexpected(kIntegerError);
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (may_overflow && magnitude > (limit - digit) / 10) return Unexpected(kIntegerError);
    magnitude = magnitude * 10 + digit;
  }
  if (!negative || magnitude == 0) return JsonValue::number(JsonNumber::u64(magnitude));
  return JsonValue::number(JsonNumber::i64(static_cast<std::int64_t>(0 - magnitude)));
}

// Checks that s (sign already removed) is digits, an optional "." with
// digits, and an optional exponent, with at least one mantissa digit. Sets
// leading_power to the power of ten of the first non-zero mantissa digit
// (saturating; kZeroMantissa when there is none), which tells overflow from
// underflow when the value is out of range.
constexpr long long kZeroMantissa = std::numeric_limits<long long>::min();

bool scan_decimal_float(std::string_view s, long long& leading_power) {
  std::size_t i = 0;
  long long mantissa_digits = 0;
  long long integer_digits = 0;
  long long first_nonzero = -1;  // index among the mantissa digits
  auto take_digits = [&] {
    for (; i < s.size() && is_digit(s[i]); ++i, ++mantissa_digits) {
      if (s[i] != '0' && first_nonzero < 0) first_nonzero = mantissa_digits;
    }
  };
  take_digits();
  integer_digits = mantissa_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    take_digits();
  }
  if (mantissa_digits == 0) return false;
  long long exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == s.size()) return false;
    constexpr long long kSaturated = 1'000'000'000'000LL;
    for (; i < s.size(); ++i) {
      if (!is_digit(s[i])) return false;
      if (exponent < kSaturated) exponent = exponent * 10 + (s[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  if (i != s.size()) return false;
  leading_power = first_nonzero < 0 ? kZeroMantissa : integer_digits - 1 - first_nonzero + exponent;
  return true;
}

Expected<JsonValue, std::string_view> convert_float(std::string_view s) {
  if (is_non_finite_word(s)) return JsonValue::null();
  bool negative = false;
  std::string_view unsigned_text = s;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    unsigned_text.remove_prefix(1);
  }
  // From a digit or a point on, from_chars takes exactly the decimal float
  // syntax (digits, optional ".", optional exponent); its words ("inf",
  // "nan") and signs are kept out here.
  if (unsigned_text.empty() || !(is_digit(unsigned_text[0]) || unsigned_text[0] == '.')) {
    return Unexpected(kNumberError);
  }
  const char* end = unsigned_text.data() + unsigned_text.size();
  double value = 0;
  auto [stop, ec] = std::from_chars(unsigned_text.data(), end, value);
  if (stop != end) return Unexpected(kNumberError);
  if (ec == std::errc::result_out_of_range) {
    // Out of range is either past the largest double or below half the
    // smallest denormal; the leading digit's power of ten tells which.
    long long leading_power = 0;
    if (!scan_decimal_float(unsigned_text, leading_power)) return Unexpected(kNumberError);
    if (leading_power > 0) return Unexpected(kTooLargeError);
    value = 0;
  } else if (ec != std::errc()) {
    return Unexpected(kNumberError);
  }
  return JsonValue::number(JsonNumber::f64(negative ? -value : value));
}

}  // namespace

Expected<JsonValue, std::string_view> convert_json5_number(std::string_view token) {
  if (!is_integer_literal(token)) return convert_float(token);
  if (has_hex_prefix(token)) return convert_hex(token.substr(2));
  return convert_decimal_integer(token);
}

}  // namespace plomet

namespace plomet {

Expected<NumberToken, std::string_view> classify_json5_number(std::string_view token) {
  auto converted = convert_json5_number(token);
  if (!converted) return Unexpected(converted.error());
  NumberToken result;
  result.text = token;
  if (converted->is(JsonValue::Kind::Null)) return result;
  const JsonNumber& n = converted->as_number();
  if (n.kind == JsonNumber::Kind::F64) {
    result.number_class = NumberToken::Class::Float;
    result.has_double = true;
    result.double_value = n.f64_value;
  } else {
    result.number_class = NumberToken::Class::Integer;
    result.integer = n;
  }
  return result;
}

double float_token_value(const NumberToken& token) {
  if (token.has_double) return token.double_value;
  std::string_view digits = token.text;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  double value = 0;
  auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc() && stop == digits.data() + digits.size()) return negative ? -value : value;
  // Underflow and the forms from_chars leaves out take the general path.
  auto converted = convert_json5_number(token.text);
  return converted && converted->is(JsonValue::Kind::Number) ? converted->as_number().f64_value : 0.0;
}

}  // namespace plomet
