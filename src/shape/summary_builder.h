// Folds documents into a ShapeSummary: from a text through the JSON5 event
// reader, or from a document tree. The one place where the inference rules
// live: the first value decides the kind at a position, an integer position
// becomes a float one when a float follows, a scalar array gathers examples
// only within the first array at its position, a boolean array item keeps no
// example, keys missing from some object are optional, and max_items is the
// longest array.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "document/json_value.h"
#include "read/json5_read_error.h"
#include "read/json5_read_point.h"
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

  class ResumableOutline;
};

// The fold of fold_outline, which a repair of the text can carry on: when
// the text does not read, the fold stays as the events of the prefix that
// the reader took in left it, and goes on in a candidate text that agrees
// with the text on that prefix.
class SummaryBuilder::ResumableOutline {
 public:
  // summary: empty; the fold fills it. The context counts the work and
  // serves the fold's memory.
  ResumableOutline(Context& context, ShapeSummary& summary);
  ~ResumableOutline();
  ResumableOutline(const ResumableOutline&) = delete;
  ResumableOutline& operator=(const ResumableOutline&) = delete;

  // Folds text from its start (once), noting checkpoints of the read in
  // checkpoints when given. valid_utf8 says whether text is valid UTF-8.
  FoldOutcome fold(std::string_view text, bool valid_utf8, ReadCheckpoints* checkpoints);
  // After DoesNotRead: whether the fold can go on in candidate, which shares
  // its first common_prefix bytes with the text the fold read last.
  bool may_go_on_in(std::string_view candidate, std::size_t common_prefix) const;
  // Goes on in candidate (may_go_on_in), whose UTF-8 validity valid_utf8
  // tells. After DoesNotRead, the fold can go on in another candidate only
  // if it folded nothing of this one.
  FoldOutcome go_on_in(std::string_view candidate, bool valid_utf8);

 private:
  struct Fold;
  std::unique_ptr<Fold> fold_;
};

}  // namespace plomet
