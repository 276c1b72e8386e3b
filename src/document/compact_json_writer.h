// The compact JSON writer: the value the missing-quote repair rebuilds, and
// the document the command prints, as JSON text with no whitespace.
#pragma once

#include <string>

#include "document/json_value.h"

namespace plomet {

// Appends value as JSON text with no whitespace; floats (which must be
// finite) as append_compact_float writes them. The context counts the work
// for its interrupt check.
template <class Out>
void write_compact_json(Context& context, const JsonValue& value, Out& out);
extern template void write_compact_json(Context& context, const JsonValue& value, std::string& out);
extern template void write_compact_json(Context& context, const JsonValue& value, Text& out);

}  // namespace plomet
