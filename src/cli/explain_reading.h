// --explain: how each document was read. The lenient reader tells the sink
// each attempt as it begins, then that attempt's events and the text it
// reads; the sink keeps those of the latest attempt, which, once a document
// reads, is the one that gave it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/diagnostics.h"

namespace plomet::cli {

class ExplainSink : public diagnostics::Sink {
 public:
  ExplainSink() = default;
  ExplainSink(const ExplainSink&) = delete;
  ExplainSink& operator=(const ExplainSink&) = delete;

  // Forgets what reading the last document said.
  void start_document();

  // What reading a document of text said, once it read: the attempt that
  // gave it, that attempt's events, and where the document's values part
  // from the text's when a repair pass made it.
  std::vector<std::string> report(std::string_view text) const;

  void receive(const diagnostics::EventSite& site, std::string_view message) override;
  void begin_attempt(const diagnostics::ReadAttempt& attempt) override;
  void candidate(std::string_view text) override;

 private:
  diagnostics::ReadAttempt attempt_;
  std::vector<std::string> events_;
  // The text the attempt read, kept for repair passes only.
  std::string candidate_;
};

// The first place where the values (keys, strings, numbers and words) of
// candidate, as the loose tokenizer cuts them, part from those of text, in
// words; empty when they agree.
std::string first_value_difference(std::string_view text, std::string_view candidate);

}  // namespace plomet::cli
