// The readers of the missing-quote repair: they rebuild a value from loose
// tokens, tolerating missing quotes, colons, commas and closing brackets,
// and the compact writer that turns the value back into JSON text.
#pragma once

#include <string>
#include <string_view>

#include "core/expected.h"
#include "repair/loose_tokenizer.h"
#include "core/repair_error.h"
#include "document/json_value.h"

namespace plomet {

using LooseReadResult = Expected<JsonValue, RepairError>;

// Reads one value from the front of tokens; null when none is left. Strings
// and containers are allocated in arena. Fails with InvalidNumber for a
// scalar that reads as a float that is not finite, and with Unrepairable for
// nesting deeper than kMaxNestingDepth.
LooseReadResult parse_loose_value(LooseTokenStream& tokens, JsonArena& arena);
// Read the rest of an array or object whose opening bracket has been taken.
LooseReadResult parse_loose_array(LooseTokenStream& tokens, JsonArena& arena);
LooseReadResult parse_loose_object(LooseTokenStream& tokens, JsonArena& arena);

// The value a scalar text stands for: a boolean, null, a 64-bit integer, a
// finite float, or otherwise the string unescape_loose_text makes of it.
LooseReadResult classify_loose_scalar(std::string_view text, JsonArena& arena);

// Replaces the escape pairs \\ \b \f \n \r \t \" \' by what they stand for;
// any other backslash stays.
std::string unescape_loose_text(std::string_view text);
void append_unescaped_loose_text(std::string& out, std::string_view text);

// Appends value as JSON text with no whitespace. Floats are finite.
void write_compact_json(const JsonValue& value, std::string& out);
// A finite float in its shortest round-trip digits: positional with a
// fractional part when the leading digit's decimal exponent is from -5 to
// 15, otherwise with an exponent (1e+16, 1.5e-7).
void append_compact_float(std::string& out, double value);

}  // namespace plomet
