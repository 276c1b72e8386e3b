// The document of a text written back as compact JSON, from the reader's
// events with no document tree: what `plomet --repaired` prints. The output
// is byte for byte what write_compact_json gives for the tree that
// parse_or_repair (or, JSON5 alone, read_json5) builds from the same text,
// with string values as read (no clean-up of control characters).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/context.h"
#include "core/repair_error.h"
#include "read/json5_read_error.h"

namespace plomet {

// Appends the document of text, read or repaired through the lenient
// reading order, to out; on an error out is as it was. Once it reads, *gave
// (when given) is the attempt that read. An empty text is an empty object.
std::optional<RepairError> append_repaired_json(Context& context, std::string_view text, std::string& out,
                                                diagnostics::ReadAttempt* gave = nullptr);

// Appends the document of text read as JSON5 alone; on a text that does not
// read, the reader's error, and out is as it was.
std::optional<Json5ReadError> append_json5_as_compact(Context& context, std::string_view text, std::string& out);

}  // namespace plomet
