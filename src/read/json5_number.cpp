#include "read/json5_number.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "text/number_text.h"

namespace plomet {
namespace {

constexpr std::string_view kHexError = "error parsing hex";
constexpr std::string_view kIntegerError = "error parsing integer";
constexpr std::string_view kNumberError = "error parsing number";
constexpr std::string_view kTooLargeError = "error parsing number: too large";

bool has_hex_prefix(std::string_view s) { return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'); }

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
  return !number_text::is_json5_non_finite_word(s);
}

Expected<JsonValue, std::string_view> convert_hex(std::string_view digits) {
  if (digits.empty()) return Unexpected(kHexError);
  std::uint64_t value = 0;
  for (char c : digits) {
    int d = number_text::hex_digit_value(c);
    if (d < 0) return Unexpected(kHexError);
    value = value * 16 + static_cast<std::uint64_t>(d);
    if (value > std::numeric_limits<std::uint32_t>::max()) return Unexpected(kHexError);
  }
  return JsonValue::number(JsonNumber::u64(value));
}

Expected<JsonValue, std::string_view> convert_decimal_integer(std::string_view s) {
  const number_text::SignedText signed_text = number_text::split_sign(s);
  const bool negative = signed_text.sign == '-';
  s = signed_text.magnitude;
  if (s.empty()) return Unexpected(kIntegerError);
  // The magnitude limit: 2^63 for negative values, 2^63 - 1 otherwise.
  const std::uint64_t limit = (std::uint64_t{1} << 63) - (negative ? 0 : 1);
  std::uint64_t magnitude = 0;
  // Up to 18 digits cannot pass the limit.
  const bool may_overflow = s.size() > 18;
  for (char c : s) {
    if (!number_text::is_digit(c)) return Unexpected(kIntegerError);
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (may_overflow && magnitude > (limit - digit) / 10) return Unexpected(kIntegerError);
    magnitude = magnitude * 10 + digit;
  }
  if (!negative || magnitude == 0) return JsonValue::number(JsonNumber::u64(magnitude));
  return JsonValue::number(JsonNumber::i64(static_cast<std::int64_t>(0 - magnitude)));
}

Expected<JsonValue, std::string_view> convert_float(std::string_view s) {
  if (number_text::is_json5_non_finite_word(s)) return JsonValue::null();
  const number_text::DecimalRead read = number_text::read_signed_decimal(s);
  switch (read.status) {
    case number_text::DecimalRead::Status::Value:
      return JsonValue::number(JsonNumber::f64(read.value));
    case number_text::DecimalRead::Status::TooLarge:
      return Unexpected(kTooLargeError);
    case number_text::DecimalRead::Status::NotDecimal:
      break;
  }
  return Unexpected(kNumberError);
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
  const number_text::SignedText signed_text = number_text::split_sign(token.text);
  const bool negative = signed_text.sign == '-';
  const std::string_view digits = signed_text.magnitude;
  if (const std::optional<double> exact = number_text::exact_small_decimal(digits)) return negative ? -*exact : *exact;
  double value = 0;
  auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc() && stop == digits.data() + digits.size()) return negative ? -value : value;
  // Underflow and the forms from_chars leaves out take the general path.
  auto converted = convert_json5_number(token.text);
  return converted && converted->is(JsonValue::Kind::Number) ? converted->as_number().f64_value : 0.0;
}

}  // namespace plomet
