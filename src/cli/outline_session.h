// One run of the command: each input read whole or cut into chunks of lines,
// the pieces folded (on worker threads with --jobs), and in input order their
// messages, outlines, schemas or repaired documents written, with every
// message naming its input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "cli/document_folder.h"
#include "cli/input_source.h"
#include "cli/options.h"
#include "cli/piece_pipeline.h"
#include "cli/progress.h"
#include "shape/shape_summary.h"

namespace plomet::cli {

class OutlineSession {
 public:
  OutlineSession(const Options& options, Output& output, bool stderr_is_terminal);
  OutlineSession(const OutlineSession&) = delete;
  OutlineSession& operator=(const OutlineSession&) = delete;

  void run_input(const std::string& name);
  // Writes what --merge gathered; call once after the last input.
  void finish();
  int exit_status() const { return status_; }

 private:
  // What the merged pieces of the current --lines input held.
  struct LinesTally {
    std::uint64_t lines = 0;
    std::uint64_t documents = 0;
    std::uint64_t failures = 0;
  };

  void read_whole_input(InputSource& input, const std::string& display, Progress& progress);
  void read_lines(InputSource& input, const std::string& display, Progress& progress);
  void submit(Piece& piece, Piece::Kind kind, const std::string& display, std::uint64_t offset);
  void merge_piece(Piece& piece);
  void merge_documents(Piece& piece);
  void end_lines_input(const std::string& display);
  void start_next_input();
  void write_messages(const Piece& piece, std::uint64_t lines_before);
  void write_section(std::string_view text);

  void input_failed(std::string_view display, std::string_view error);
  // A message on standard error, on a line of its own below any progress.
  void message(std::string_view text);

  const Options& options_;
  Output& output_;
  const bool progress_allowed_;
  const std::size_t chunk_bytes_;
  // The context of the outlines written on the reader's thread.
  Context context_;
  DocumentFolder folder_;
  // The documents merged so far: of all inputs with --merge, of the current
  // --lines input otherwise.
  ShapeSummary merged_;
  LinesTally tally_;
  // The display of the input being read.
  Progress* progress_ = nullptr;
  // The header to write before the current input's first output.
  std::string pending_header_;
  bool wrote_section_ = false;
  int status_ = kExitOk;
  // Last, so that its workers stop before what they use goes.
  PiecePipeline pipeline_;
};

}  // namespace plomet::cli
