#include "cli/explain_reading.h"

#include "read/json5_event_reader.h"
#include "repair/loose_tokenizer.h"

namespace plomet::cli {

namespace {

using diagnostics::ReadAttempt;

// A value of a text as the loose tokenizer cuts it, and where it starts.
struct LooseValue {
  std::string text;
  std::size_t at = 0;
  LooseToken::Kind kind = LooseToken::Kind::TextToken;
  bool present = false;
};

// The value with its kind: a string and a number of the same text differ.
std::string shown(const LooseValue& value);

class LooseValues {
 public:
  explicit LooseValues(std::string_view text) : tokenizer_(text) {}

  LooseValue next() {
    while (!tokenizer_.at_end()) {
      const std::size_t at = tokenizer_.position();
      const LooseToken token = tokenizer_.next();
      if (token.has_text()) return {std::string(token.text), at, token.kind, true};
    }
    return {};
  }

 private:
  LooseTokenizer tokenizer_;
};

// A value as the message shows it: cut after 40 bytes.
std::string shown(std::string_view value) {
  constexpr std::size_t kShown = 40;
  std::string text(1, '\'');
  if (value.size() <= kShown) {
    text.append(value);
  } else {
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
    text.append(value.substr(0, cut));
    text.append("...");
  }
  text.push_back('\'');
  return text;
}

std::string shown(const LooseValue& value) {
  return (value.kind == LooseToken::Kind::NumberToken ? "the number " : "the text ") + shown(std::string_view(value.text));
}

std::string where(std::string_view text, std::size_t at) {
  auto [line, column] = json5::line_and_column(text, at);
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string attempt_text(const ReadAttempt& attempt) {
  switch (attempt.stage) {
    case ReadAttempt::Stage::AsRead:
      return "read: as it is";
    case ReadAttempt::Stage::Normalised:
      return "read: normalised";
    case ReadAttempt::Stage::Repaired:
      break;
  }
  return "read: repaired by json_repair::" + std::string(attempt.pass) + ", then normalised";
}

}  // namespace

void ExplainSink::start_document() { begin_attempt({}); }

std::vector<std::string> ExplainSink::report(std::string_view text) const {
  std::vector<std::string> said{attempt_text(attempt_)};
  said.insert(said.end(), events_.begin(), events_.end());
  if (attempt_.stage == ReadAttempt::Stage::Repaired) {
    if (std::string difference = first_value_difference(text, candidate_); !difference.empty()) {
      said.push_back(std::move(difference));
    }
  }
  return said;
}

void ExplainSink::receive(const diagnostics::EventSite& site, std::string_view message) {
  events_.push_back(std::string(site.target) + ": " + std::string(message));
}

void ExplainSink::begin_attempt(const ReadAttempt& attempt) {
  attempt_ = attempt;
  events_.clear();
  candidate_.clear();
}

void ExplainSink::candidate(std::string_view text) {
  if (attempt_.stage == ReadAttempt::Stage::Repaired) candidate_.assign(text);
}

std::string first_value_difference(std::string_view text, std::string_view candidate) {
  constexpr std::string_view kHead = "the document's values differ from the text's: ";
  LooseValues in_text(text);
  LooseValues in_candidate(candidate);
  for (;;) {
    const LooseValue was = in_text.next();
    const LooseValue is = in_candidate.next();
    if (!was.present && !is.present) return {};
    if (!is.present) {
      return std::string(kHead) + shown(was) + " at " + where(text, was.at) + " and what follows are not in it";
    }
    if (!was.present) return std::string(kHead) + shown(is) + " is not in the text";
    if (was.text != is.text || was.kind != is.kind) {
      return std::string(kHead) + shown(was) + " at " + where(text, was.at) + " became " + shown(is);
    }
  }
}

}  // namespace plomet::cli
