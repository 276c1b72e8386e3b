// Folds documents into a ShapeSummary: from a text through the JSON5 event
// reader, or from a document tree. The one place where the inference rules
// live: the first value decides the kind at a position, an integer position
// becomes a float one when a float follows, a scalar array gathers examples
// only within the first array at its position, a boolean array item keeps no
// example, keys missing from some object are optional, and max_items is the
// longest array.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/json_value.h"
#include "read/json5_read_error.h"
#include "shape/shape_summary.h"

namespace plomet {

enum class FoldOutcome : std::uint8_t {
  Folded,
  // The text is not one JSON5 document; the summary is as it was.
  DoesNotRead,
  // An object repeats a key whose first value was already folded in; the
  // summary is as it was, and the caller folds the document's tree instead.
  NeedsTree,
};

class SummaryBuilder {
 public:
  // The context counts the work and hears the clean-up's events.
  // Folds the document of text as one more document; the summary keeps
  // copies of what it retains. A fold that fails leaves the summary as it
  // was; on DoesNotRead, failure (when given) receives the reader's error.
  // valid_utf8 says that the caller checked the text's UTF-8.
  static FoldOutcome fold_text(Context& context, ShapeSummary& summary, std::string_view text,
                               Json5ReadError* failure = nullptr, bool valid_utf8 = false);
  // Folds the one document of text into an empty summary that serves only
  // its outline (only_document_schema): nothing is journalled, so on failure
  // the summary is to be dropped; the kinds the JSON Schema admits are not
  // noted; and strings are views into text, which must outlive the summary.
  static FoldOutcome fold_outline(Context& context, ShapeSummary& summary, std::string_view text);
  static void fold_tree(Context& context, ShapeSummary& summary, const JsonValue& document);
};

}  // namespace plomet
