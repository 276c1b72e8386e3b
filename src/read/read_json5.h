// The JSON5 reader.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/expected.h"
#include "read/json5_event_reader.h"
#include "document/json_value.h"

namespace plomet {

// Reads text as one JSON5 document, counting the work on context. Nodes are
// allocated in arena; string values and keys that need no decoding are views
// into text, so text must outlive the returned value.
Expected<JsonValue, Json5ReadError> read_json5(Context& context, std::string_view text, JsonArena& arena);

// Like read_json5 for callers that discard read errors: a failure builds no
// message (that costs a line count over the text).
std::optional<JsonValue> try_read_json5(Context& context, std::string_view text, JsonArena& arena);

}  // namespace plomet
