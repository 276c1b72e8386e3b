// One run of the command: each input read whole or line by line, each
// document read or repaired, and the outlines, schemas or repaired documents
// written, with every message naming its input.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "cli/input_source.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "core/diagnostics.h"
#include "shape/fold_documents.h"
#include "document/json_value.h"

namespace plomet::cli {

// Where a document comes from: an input, and with --lines the line number.
struct Location {
  std::string_view input;
  std::uint64_t line = 0;  // 0: the whole input
};

class OutlineSession {
 public:
  OutlineSession(const Options& options, Output& output, bool stderr_is_terminal);
  ~OutlineSession();
  OutlineSession(const OutlineSession&) = delete;
  OutlineSession& operator=(const OutlineSession&) = delete;

  void run_input(const std::string& name);
  // Writes what --merge gathered; call once after the last input.
  void finish();
  int exit_status() const { return status_; }

 private:
  void run_whole_input(InputSource& input, const std::string& display, Progress& progress);
  void outline_whole_input(std::string_view text, const Location& location, Progress& progress);
  void run_input_lines(InputSource& input, const std::string& display, Progress& progress);
  std::optional<JsonDocument> read_document(std::string_view text, const Location& location);
  void explain_normalization(std::string_view text, const Location& location);
  void write_document(const JsonDocument& document);
  void write_outline(const Schema& shape, const Schema& json_schema_root);
  void write_section(std::string_view text);

  void input_failed(std::string_view display, std::string_view error);
  void document_failed(const Location& location, std::string_view error);
  void note(const Location& location, std::string_view text);
  // A message on standard error, on a line of its own below any progress.
  void message(std::string_view text);

  // Writes the repair events of --explain after the location of the
  // document being read.
  class ExplainSink : public diagnostics::Sink {
   public:
    explicit ExplainSink(OutlineSession& session) : session_(session) {}
    void set_location(const Location& location);
    void receive(const diagnostics::EventSite& site, std::string_view message) override;

   private:
    OutlineSession& session_;
    std::string prefix_;
  };

  const Options& options_;
  Output& output_;
  const bool progress_allowed_;
  ExplainSink explain_sink_{*this};
  // The display of the input being read.
  Progress* progress_ = nullptr;
  // The documents folded so far: of all inputs with --merge, of the current
  // input with --lines alone.
  std::unique_ptr<DocumentFold> fold_;
  // The header to write before the current input's first output.
  std::string pending_header_;
  bool wrote_section_ = false;
  int status_ = kExitOk;
};

}  // namespace plomet::cli
