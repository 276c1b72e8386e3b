// Conversion of JSON5 number tokens into values.
#pragma once

#include <string_view>

#include "reader/expected.h"
#include "shape/json_value.h"

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
