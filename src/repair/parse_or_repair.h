// The parse-or-repair driver: read as JSON5, else normalise and read, else
// try each repair pass in turn.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/expected.h"
#include "core/repair_error.h"
#include "document/json_value.h"
#include "repair/normalisation.h"

namespace plomet {

using ParseResult = Expected<JsonDocument, RepairError>;

struct ReadOptions {
  // The clean-up of control characters in string values, which the outline
  // wants; off, string values stay exactly as read.
  bool remove_control_characters = true;
};

// Reads or repairs text. The document's views may point into text, so text
// must outlive the document. Interrupted when the context's interrupt check
// stopped the work.
ParseResult parse_or_repair(Context& context, std::string_view text, ReadOptions options = {});

// Reads text as JSON5 into doc's root, then cleans its string values unless
// options say not to; false when the text does not read. The document's
// views may point into text.
bool read_document(Context& context, std::string_view text, JsonDocument& doc, ReadOptions options = {});

// Applies the basic fix-ups (quotes, line breaks in strings, commas before
// digits, trailing commas, unclosed brackets) and reads the result. The
// document owns the fixed-up text. The only error is Unrepairable.
ParseResult normalize_and_read(Context& context, std::string_view text, ReadOptions options = {});

// Removes U+0000 to U+0009 and U+000B to U+001F from every string value (keys
// are left alone); new texts are allocated in arena. Returns whether anything
// changed.
bool repair_json_remove_control_characters_in_value(Context& context, JsonValue& value, JsonArena& arena);

}  // namespace plomet
