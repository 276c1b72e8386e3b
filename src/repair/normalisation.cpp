// The output is the text with a few bytes replaced, inserted or left out, so
// it is copied in stretches, up to each change. Outside strings only quotes
// and brackets are acted on; inside a string, quotes, backslashes, line
// breaks and closers. A comma goes in front of a digit whose last significant
// character before it is a closing quote, `]` or `}`, so the digits that need
// one are found from those, by looking past the whitespace after them. A
// comma followed, past whitespace, by `]`, `}` or the end of the text goes,
// inside strings too: each closer looks back for one as it is met.
#include "repair/normalisation.h"

#include <algorithm>

#include "repair/pass_toolkit.h"
#include "text/simd_scan.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

using scan::Utf8Cursor;

// What normalisation changed, counted as it goes and said in one event.
struct NormalisationEdits {
  std::uint64_t single_quotes = 0;
  std::uint64_t strings_ended_at_line_breaks = 0;
  std::uint64_t commas_inserted = 0;
  std::uint64_t commas_dropped = 0;
  bool string_closed_at_end = false;
  std::string appended_closers;
};

std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The edits in words, such as `wrote 2 single quotes as double, closed 1
// bracket with "}"`; empty when there were none.
std::string describe(const NormalisationEdits& edits) {
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (edits.single_quotes > 0) add("wrote " + counted(edits.single_quotes, "single quote", "single quotes") + " as double");
  if (edits.strings_ended_at_line_breaks > 0) {
    add("ended " + counted(edits.strings_ended_at_line_breaks, "string", "strings") + " at a line break");
  }
  if (edits.commas_inserted > 0) add("inserted " + counted(edits.commas_inserted, "comma", "commas") + " before a number");
  if (edits.commas_dropped > 0) add("dropped " + counted(edits.commas_dropped, "trailing comma", "trailing commas"));
  if (edits.string_closed_at_end) add("closed the string left open at the end");
  if (!edits.appended_closers.empty()) {
    add("closed " + counted(edits.appended_closers.size(), "bracket", "brackets") + " with \"" + edits.appended_closers +
        "\"");
  }
  return text;
}

// The last character of a run that is not whitespace, or kEndOfText.
char32_t last_significant_in(std::string_view run) {
  std::size_t end = run.size();
  for (; end > 0 && static_cast<unsigned char>(run[end - 1]) < 0x80; --end) {
    auto last = static_cast<unsigned char>(run[end - 1]);
    if (!scan::is_whitespace(last)) return last;
  }
  return scan::last_char(scan::trim_trailing_whitespace(run.substr(0, end)));
}

// Where in written the comma is that a closer (or the end) written next
// would follow with only whitespace between them, or npos. Found looking
// back; a gap that holds bytes beyond ASCII is decoded forward, as the rule
// reads.
std::size_t trailing_comma_in(std::string_view written) {
  // Mostly the closer follows a value, or a run of blanks after one.
  std::size_t pos =
      static_cast<std::size_t>(scan::skip_blank_bytes_back(written.data(), written.data() + written.size()) -
                               written.data());
  bool beyond_ascii = false;
  for (; pos > 0 && written[pos - 1] != ','; --pos) {
    const auto b = static_cast<unsigned char>(written[pos - 1]);
    if (b >= 0x80) {
      beyond_ascii = true;
    } else if (!scan::is_whitespace(b)) {
      return std::string_view::npos;
    }
  }
  if (pos == 0) return std::string_view::npos;
  if (beyond_ascii && Utf8Cursor(written, pos).position_past_whitespace() != written.size()) {
    return std::string_view::npos;
  }
  return pos - 1;
}

}  // namespace

// One normalisation of a text, from its start or from a checkpoint of a log.
class Normaliser {
 public:
  Normaliser(Context& context, std::string_view text, NormalisationLog* log)
      : context_(context), text_(text), out_(context, text), log_(log) {}

  // Goes on from the checkpoint, replaying the edits made before it.
  Normaliser(Context& context, std::string_view text, const NormalisationLog& log,
             const NormalisationLog::Checkpoint& from)
      : context_(context), text_(text), out_(context, text), open_brackets_(std::string_view(log.openers_).substr(from.openers_at, from.depth)) {
    for (std::size_t i = 0; i < from.edits; ++i) replay(log.edits_[i]);
    pos_ = from.position;
  }

  // The normalisation of text, which agrees with the text of log on its
  // first `shared` bytes, from the last checkpoint among them.
  static std::optional<Text> run_sharing(Context& context, std::string_view text, std::size_t shared,
                                         const NormalisationLog& log) {
    // A closer that does not match within the shared prefix refuses this text too.
    if (log.refused_at_ && *log.refused_at_ < shared) return std::nullopt;
    const auto after = std::upper_bound(log.checkpoints_.begin(), log.checkpoints_.end(), shared,
                                        [](std::size_t at, const NormalisationLog::Checkpoint& c) { return at < c.position; });
    if (after == log.checkpoints_.begin()) return Normaliser(context, text, nullptr).run();
    return Normaliser(context, text, log, *(after - 1)).run();
  }

  std::optional<Text> run() {
    bool in_string = false;
    while (pos_ < text_.size()) {
      if (context_.poll(kValueUnits)) break;
      pos_ = scan::find_first_of_bytes<'"', '\'', '[', ']', '{', '}'>(text_, pos_);
      if (pos_ == text_.size()) break;
      const std::size_t at = pos_++;
      const char c = text_[at];
      switch (c) {
        case '[':
        case '{':
          open_brackets_.push(static_cast<unsigned char>(c));
          if (log_ != nullptr && pos_ >= next_checkpoint_) note_checkpoint();
          break;
        case ']':
        case '}':
          if (!open_brackets_.innermost_is(c == ']' ? '[' : '{')) {
            if (log_ != nullptr) log_->refused_at_ = at;
            return std::nullopt;
          }
          open_brackets_.pop_closer();
          drop_trailing_comma_before(at);
          comma_before_digit_at(pos_);
          break;
        default:  // a quote opens a string
          if (c == '\'') edit(NormalisationLog::EditKind::SingleQuote, at);
          if (!read_string()) {
            pos_ = text_.size();
            in_string = !context_.interrupted();
          }
          break;
      }
    }
    Text& end = out_.written_to(text_.size());
    if (in_string) {
      end.push_back('"');
    } else if (const std::size_t comma = trailing_comma_in(end); comma != std::string_view::npos) {
      drop_comma(end, comma, text_.size() - (end.size() - comma));
    }
    edits_.string_closed_at_end = in_string;
    Text fixed = out_.finish();
    const std::size_t closed_from = fixed.size();
    open_brackets_.append_closers(fixed);
    if (context_.admits(diagnostics::Level::Info)) {
      edits_.appended_closers = std::string_view(fixed).substr(closed_from);
      if (std::string said = describe(edits_); !said.empty()) PLOMET_EVENT(context_, "normalisation", said);
    }
    return fixed;
  }

 private:
  // Makes an edit at `at` and counts it.
  void edit(NormalisationLog::EditKind kind, std::size_t at) {
    replay({at, kind});
    if (log_ != nullptr) log_->edits_.push_back({at, kind});
  }

  void replay(const NormalisationLog::Edit& edit) {
    using Kind = NormalisationLog::EditKind;
    switch (edit.kind) {
      case Kind::SingleQuote:
        out_.replace(edit.at, 1, "\"");
        ++edits_.single_quotes;
        break;
      case Kind::LineBreak:
        out_.replace(edit.at, 1, "\"");
        ++edits_.strings_ended_at_line_breaks;
        break;
      case Kind::CommaInserted:
        out_.insert(edit.at, ",");
        ++edits_.commas_inserted;
        break;
      case Kind::CommaDropped:
        out_.replace(edit.at, 1);
        ++edits_.commas_dropped;
        break;
    }
  }

  // Leaves out the comma at written[index], the input's comma at `at`, from
  // the output written so far.
  void drop_comma(Text& written, std::size_t index, std::size_t at) {
    written.erase(index, 1);
    ++edits_.commas_dropped;
    if (log_ != nullptr) log_->edits_.push_back({at, NormalisationLog::EditKind::CommaDropped});
  }

  // At a closer at `at`: drops the comma it makes a trailing one. Only
  // whitespace lies between them, which no edit touches, so the comma's
  // input position is as far back from `at` as it is in the output.
  void drop_trailing_comma_before(std::size_t at) {
    Text& written = out_.written_to(at);
    const std::size_t comma = trailing_comma_in(written);
    if (comma != std::string_view::npos) drop_comma(written, comma, at - (written.size() - comma));
  }

  // A digit after whitespace from `from` gets a comma in front.
  void comma_before_digit_at(std::size_t from) {
    // Mostly a separator follows at once.
    if (from < text_.size()) {
      const auto b = static_cast<unsigned char>(text_[from]);
      if (b < 0x80 && !scan::is_whitespace(b) && !scan::is_ascii_digit(b)) return;
    }
    const std::size_t next = Utf8Cursor(text_, from).position_past_whitespace();
    if (next < text_.size() && scan::is_ascii_digit(static_cast<unsigned char>(text_[next]))) {
      edit(NormalisationLog::EditKind::CommaInserted, next);
    }
  }

  // Reads the string whose opening quote is at pos_ - 1; false when the text
  // ends inside it (or the call was interrupted).
  bool read_string() {
    // The last significant character before the current run: the opening
    // quote, or a backslash.
    char32_t before_run = static_cast<unsigned char>(text_[pos_ - 1]);
    std::size_t run_start = pos_;
    for (;;) {
      if (context_.poll(kValueUnits)) return false;
      pos_ = scan::find_first_of_bytes<'"', '\'', '\\', '\n', '\r', ']', '}'>(text_, pos_);
      if (pos_ == text_.size()) return false;
      const std::size_t at = pos_++;
      const char c = text_[at];
      switch (c) {
        case '\\':
          // The escaped character stays as it is, whatever it is.
          before_run = '\\';
          if (pos_ < text_.size()) pos_ += scan::decode_at(text_, pos_).length;
          run_start = pos_;
          continue;
        case ']':
        case '}':
          drop_trailing_comma_before(at);
          continue;
        case '"':
        case '\'':
          // A single quote inside a string closes it just as a double quote does.
          if (c == '\'') edit(NormalisationLog::EditKind::SingleQuote, at);
          comma_before_digit_at(pos_);
          return true;
        default:
          break;
      }
      // A line break ends the string in its place; the string's last
      // significant character is then the last one before a digit.
      edit(NormalisationLog::EditKind::LineBreak, at);
      char32_t last = last_significant_in(text_.substr(run_start, at - run_start));
      if (last == scan::kEndOfText) last = before_run;
      if (last == '"' || last == ']' || last == '}') comma_before_digit_at(pos_);
      return true;
    }
  }

  // After an opener, outside strings: everything before it is final. The
  // next checkpoint comes at least as many bytes later as this one copies
  // open brackets, so that copying them stays linear in the text.
  void note_checkpoint() {
    const std::string_view openers = open_brackets_.openers();
    log_->checkpoints_.push_back({pos_, log_->edits_.size(), log_->openers_.size(), openers.size()});
    log_->openers_.append(openers);
    next_checkpoint_ = pos_ + std::max(log_->spacing_, openers.size());
  }

  Context& context_;
  std::string_view text_;
  repair::CopyThroughOutput out_;
  repair::OpenBrackets open_brackets_;
  NormalisationEdits edits_;
  std::size_t pos_ = 0;
  NormalisationLog* log_ = nullptr;
  std::size_t next_checkpoint_ = 0;
};

std::optional<Text> normalize_json_text(Context& context, std::string_view text) {
  return Normaliser(context, text, nullptr).run();
}

std::optional<Text> normalize_json_text(Context& context, std::string_view text, NormalisationLog& log) {
  return Normaliser(context, text, &log).run();
}

std::optional<Text> normalize_json_text(Context& context, std::string_view text, std::size_t shared,
                                        const NormalisationLog& log) {
  return Normaliser::run_sharing(context, text, shared, log);
}

}  // namespace plomet
