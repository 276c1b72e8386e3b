// A piece of an input on its way through the fold: a chunk of whole lines or
// a whole input, as the reader cut it, and what reading its documents gave.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/input_source.h"
#include "shape/shape_summary.h"

namespace plomet::cli {

// A message about one document of a piece, without its location.
struct DocumentMessage {
  // The line within the piece, from 1: the document's, or with a column the
  // position's; 0 for a whole input when no position is named.
  std::uint64_t line;
  std::string text;
  // The column, in characters from 1, of the position the message names; 0
  // when it names none.
  std::uint64_t column = 0;
};

struct Piece {
  enum class Kind : std::uint8_t {
    // Whole lines of a --lines input.
    Lines,
    // One whole input.
    WholeInput,
    // Nothing to read: its turn ends a --lines input.
    EndOfLines,
  };

  // Empties what the last fold gave, keeping the buffers for the next, and
  // makes the summary on the thread that folds into it.
  void start_fold(bool keep_examples) {
    summary.emplace(keep_examples);
    output.clear();
    messages.clear();
    lines = 0;
    documents = 0;
    failures = 0;
  }

  // Set by the reader.
  Kind kind = Kind::Lines;
  // The input's name in messages.
  std::string input;
  ReadBuffer text;
  // The offset of the text's first byte in the input.
  std::uint64_t offset = 0;

  // Set by the fold. The summary lives from the fold to the merge, and is
  // freed on the thread that merges: a worker that freed memory another
  // worker allocated would reuse it for its own summaries, and summaries
  // folded at once would then share cache lines.
  std::optional<ShapeSummary> summary;
  // What to write on standard output: repaired documents, or the outline of
  // a whole input read on its own.
  std::string output;
  std::vector<DocumentMessage> messages;
  std::uint64_t lines = 0;
  std::uint64_t documents = 0;
  std::uint64_t failures = 0;
};

}  // namespace plomet::cli
