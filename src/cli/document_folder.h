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

#include "cli/options.h"
#include "cli/piece.h"
#include "core/diagnostics.h"
#include "document/json_value.h"
#include "shape/schema.h"
#include "shape/shape_summary.h"

namespace plomet::cli {

bool starts_with_utf16_byte_order_mark(std::string_view text);

// The message for text that is not UTF-8 at offset (of the input).
std::string invalid_utf8_text(std::uint64_t offset, std::string_view text);

// The outline or JSON Schema of the documents of summary that the options
// ask for, with a final line feed.
std::string outline_text(const Options& options, const ShapeSummary& summary);

class DocumentFolder {
 public:
  explicit DocumentFolder(const Options& options);
  ~DocumentFolder();
  DocumentFolder(const DocumentFolder&) = delete;
  DocumentFolder& operator=(const DocumentFolder&) = delete;

  // Replaces the piece's results with those of its text. Several threads may
  // fold pieces at once, but not with --explain: its sink is the process's
  // one, and it writes into the piece being folded.
  void fold(Piece& piece);

 private:
  void fold_lines(Piece& piece);
  void fold_line(std::string_view line, std::uint64_t number, std::uint64_t offset, Piece& piece);
  void fold_document(std::string_view text, std::uint64_t line, std::uint64_t offset, Piece& piece);
  void outline_whole_input(std::string_view text, Piece& piece);
  std::optional<JsonDocument> read_tree(std::string_view text, std::uint64_t line, Piece& piece);
  void write_repaired(const JsonDocument& document, Piece& piece);
  void write_outline(const Schema& shape, Piece& piece);
  std::string_view extract(std::string_view text, std::uint64_t line, Piece& piece);
  void note_when_empty(std::string_view text, std::uint64_t line, Piece& piece);
  void explain_normalization(std::string_view text, std::uint64_t line, Piece& piece);

  // Puts the repair events of --explain among the messages of the document
  // being read.
  class ExplainSink : public diagnostics::Sink {
   public:
    void aim(Piece& piece, std::uint64_t line) {
      piece_ = &piece;
      line_ = line;
    }
    void receive(const diagnostics::EventSite& site, std::string_view message) override;

   private:
    Piece* piece_ = nullptr;
    std::uint64_t line_ = 0;
  };

  const Options& options_;
  const ReadMode mode_;
  ExplainSink explain_sink_;
};

}  // namespace plomet::cli
