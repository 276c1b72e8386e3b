// The reader of the missing-quote repair: it rebuilds a value from loose
// tokens, tolerating missing quotes, colons, commas and closing brackets.
#pragma once

#include <string>
#include <string_view>

#include "core/expected.h"
#include "core/repair_error.h"
#include "document/json_value.h"
#include "repair/loose_tokenizer.h"

namespace plomet {

using LooseReadResult = Expected<JsonValue, RepairError>;

// Reads one value from the front of tokens; null when none is left. Strings
// and containers are allocated in arena. Fails with InvalidNumber for a
// scalar that reads as a float that is not finite, and with Unrepairable for
// nesting deeper than kMaxNestingDepth.
LooseReadResult parse_loose_value(LooseTokenStream& tokens, JsonArena& arena);

// The value a scalar text stands for: a boolean, null, a 64-bit integer, a
// finite float, or otherwise the string append_unescaped_loose_text makes of
// it.
LooseReadResult classify_loose_scalar(std::string_view text, JsonArena& arena);

// Appends text with the escape pairs \\ \b \f \n \r \t \" \' replaced by what
// they stand for; any other backslash stays.
void append_unescaped_loose_text(std::string& out, std::string_view text);

}  // namespace plomet
