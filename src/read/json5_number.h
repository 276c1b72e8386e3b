// Conversion of JSON5 number tokens into values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/expected.h"
#include "document/json_value.h"

namespace plomet {

// Converts the whole text of a number token, sign included. An integer
// literal (no ".", and no exponent unless it is hexadecimal) gives U64 when
// zero or more and I64 when negative: "0x" literals are unsigned 32-bit,
// decimal ones signed 64-bit. Any other literal gives a correctly rounded
// F64; "NaN", "-NaN", "Infinity" and "-Infinity" give Null. Fails with the
// reader's conversion message ("error parsing hex", "error parsing integer",
// "error parsing number", "error parsing number: too large").
Expected<JsonValue, std::string_view> convert_json5_number(std::string_view token);

}  // namespace plomet

namespace plomet {

// A number token as the reader classifies it from its text: an integer with
// its value, a finite float whose double is computed only on demand, or one
// of the words that read as null. Tokens that do not convert (out of range)
// never reach a consumer: the read fails.
struct NumberToken {
  enum class Class : std::uint8_t { Integer, Float, NotANumber };
  Class number_class = Class::NotANumber;
  bool has_double = false;  // double_value already computed
  JsonNumber integer{};     // Integer: U64 when zero or more, I64 otherwise
  double double_value = 0;
  std::string_view text;    // the whole token, sign included
};

// The double of a Float token, correctly rounded.
double float_token_value(const NumberToken& token);

// Classifies any number token by converting it: the reader's path for the
// forms it does not classify from the text alone (hexadecimal, long
// integers, the words, floats near the end of the range). Fails with the
// conversion message.
Expected<NumberToken, std::string_view> classify_json5_number(std::string_view token);

}  // namespace plomet
