// The reading of each piece's documents: every line of a chunk, or a whole
// input, read or repaired (with --strict, read) and folded into the piece's
// summary; with --repaired written back as compact JSON; or, for a whole
// input without --merge, outlined on its own. What reading says goes into
// the piece's messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/explain_reading.h"
#include "cli/options.h"
#include "cli/piece.h"
#include "core/context.h"
#include "shape/schema.h"
#include "shape/shape_summary.h"

namespace plomet::cli {

// The message for text that is not UTF-8 at offset (of the input).
std::string invalid_utf8_text(std::uint64_t offset);

// The outline or JSON Schema of the documents of summary that the options
// ask for, with a final line feed.
std::string outline_text(Context& context, const Options& options, const ShapeSummary& summary);

class DocumentFolder {
 public:
  explicit DocumentFolder(const Options& options);
  DocumentFolder(const DocumentFolder&) = delete;
  DocumentFolder& operator=(const DocumentFolder&) = delete;

  // Replaces the piece's results with those of its text, read in context.
  // Several threads may fold pieces at once, each with its own context, but
  // not with --explain: the folder has one sink.
  void fold(Context& context, Piece& piece);

 private:
  // Where a document is in its input, for its messages.
  struct Place {
    // Its line within the piece (0 for a whole input).
    std::uint64_t line;
    // The offset of its first byte in the input.
    std::uint64_t offset;
  };

  void fold_lines(Context& context, Piece& piece);
  void fold_line(Context& context, std::string_view line, Place place, Piece& piece);
  void read_document(Context& context, std::string_view text, Place place, Piece& piece);
  bool fold_document(Context& context, std::string_view text, Place place, Piece& piece, diagnostics::ReadAttempt& attempt);
  bool outline_whole_input(Context& context, std::string_view text, Place place, Piece& piece, diagnostics::ReadAttempt& attempt);
  bool write_repaired(Context& context, std::string_view text, Place place, Piece& piece, diagnostics::ReadAttempt& attempt);
  void write_outline(Context& context, const Schema& shape, Piece& piece);
  void note_more_values(std::string_view text, Place place, Piece& piece);
  void note_when_empty(std::string_view text, std::uint64_t line, Piece& piece);

  const Options& options_;
  const ReadMode mode_;
  std::optional<ExplainSink> explain_;
};

}  // namespace plomet::cli
