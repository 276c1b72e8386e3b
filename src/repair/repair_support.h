// Pieces that several repair passes share beyond plain scanning: escape and
// string tracking, open-bracket bookkeeping (stacked or counted), and the
// building of event messages. Each piece is written once here so that the
// passes read like their algorithms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/json_value.h"

namespace plomet::repair {

// Message prefix of the passes that close a cut-off text by appending.
inline constexpr std::string_view kAddedAtEndMessage =
    "Repaired JSON by adding the following characters at the end: ";

// Pass outputs are written into recycled text buffers (take_text_buffer).
using plomet::take_text_buffer;
using plomet::recycle_text_buffer;

// kAddedAtEndMessage followed by the characters a pass appended.
std::string added_at_end_message(std::string_view appended);

inline char closer_for(char32_t opener) { return opener == '[' ? ']' : '}'; }

inline bool is_opener(char32_t c) { return c == '[' || c == '{'; }
inline bool is_closer(char32_t c) { return c == ']' || c == '}'; }

// The output of a pass that copies most of its input through unchanged. The
// pass says only where it changes the text; the input between changes is
// copied in one piece, not character by character.
class CopyThroughOutput {
 public:
  explicit CopyThroughOutput(std::string_view input) : input_(input), out_(take_text_buffer(input.size() + 16)) {}

  // Writes text in front of the input byte at pos.
  void insert(std::size_t pos, std::string_view text) {
    copy_to(pos);
    out_.append(text);
  }
  // Leaves out the `length` input bytes at pos, writing text in their place.
  void replace(std::size_t pos, std::size_t length, std::string_view text = {}) {
    insert(pos, text);
    copied_to_ = pos + length;
  }
  // The output so far, the input up to pos included; further writes go after it.
  std::string& written_to(std::size_t pos) {
    copy_to(pos);
    return out_;
  }
  // The whole output: the rest of the input copied through.
  std::string finish() {
    copy_to(input_.size());
    return std::move(out_);
  }

 private:
  void copy_to(std::size_t pos) {
    out_.append(input_, copied_to_, pos - copied_to_);
    copied_to_ = pos;
  }

  std::string_view input_;
  std::string out_;
  std::size_t copied_to_ = 0;
};

// The backslash rule of the scanners: an unescaped backslash makes the one
// character after it literal.
class EscapeTracker {
 public:
  // Feeds the next character. Returns true when the escape rule takes it:
  // it is an unescaped backslash (which starts an escape) or the character
  // an escape makes literal (which ends it). A character that is not taken
  // is unescaped and has its ordinary meaning.
  bool take(char32_t c) {
    if (pending_) {
      pending_ = false;
      return true;
    }
    pending_ = c == '\\';
    return pending_;
  }
  // Feeds characters that are neither a backslash nor acted on when escaped.
  void take_ordinary() { pending_ = false; }
  bool pending() const { return pending_; }

 private:
  bool pending_ = false;
};

// Follows double-quoted strings through a scan: a `"` outside a string opens
// one; inside, the backslash rule applies and an unescaped `"` closes it.
// Backslashes outside strings are ordinary characters. Single quotes are
// ordinary characters everywhere.
class DoubleQuotedStrings {
 public:
  bool in_string() const { return in_string_; }

  // Enters a string at an opening quote.
  void open() { in_string_ = true; }

  // Feeds a character met inside a string. Returns true when it is the
  // unescaped quote that closes the string.
  bool closes(char32_t c) {
    if (escapes_.take(c) || c != '"') return false;
    in_string_ = false;
    return true;
  }

  // Feeds any character. Returns true when c is structural: outside every
  // string and not the quote that opens one.
  bool structural(char32_t c) {
    if (in_string_) {
      closes(c);
      return false;
    }
    if (c == '"') {
      open();
      return false;
    }
    return true;
  }

 private:
  bool in_string_ = false;
  EscapeTracker escapes_;
};

// A stack of open brackets, for passes that close in nesting order.
class OpenBrackets {
 public:
  void push(char32_t opener) { open_.push_back(static_cast<char>(opener)); }
  bool empty() const { return open_.empty(); }

  // Removes the innermost open bracket and returns its closer.
  char pop_closer() {
    char closer = closer_for(static_cast<unsigned char>(open_.back()));
    open_.pop_back();
    return closer;
  }

  // Balances a closer met in the text: with nothing open it is dropped;
  // otherwise the innermost bracket is closed with its own closer, which
  // replaces a closer of the wrong kind. Returns true when the text changed
  // (a closer dropped or replaced).
  bool write_balanced_closer(char32_t closer, std::string& out) {
    if (open_.empty()) return true;
    char expected = pop_closer();
    out.push_back(expected);
    return static_cast<char32_t>(expected) != closer;
  }
  // The same for a closer at pos of a copied-through input: the closer is
  // left as it is, dropped or replaced.
  bool balance_closer_at(std::size_t pos, char32_t closer, CopyThroughOutput& out) {
    if (open_.empty()) {
      out.replace(pos, 1);
      return true;
    }
    const char expected = pop_closer();
    if (static_cast<char32_t>(expected) == closer) return false;
    out.replace(pos, 1, std::string_view(&expected, 1));
    return true;
  }

  // Closes the innermost bracket only when closer is its own closer; any
  // other closer, or one met with nothing open, changes nothing.
  void close_if_matching(char32_t closer) {
    if (!open_.empty() && static_cast<char32_t>(closer_for(static_cast<unsigned char>(open_.back()))) == closer) {
      open_.pop_back();
    }
  }

  // Whether the innermost open bracket is opener.
  bool innermost_is(char32_t opener) const {
    return !open_.empty() && static_cast<char32_t>(static_cast<unsigned char>(open_.back())) == opener;
  }

  // Appends the closers of every bracket still open, innermost first, and
  // empties the stack. Returns true when it appended anything.
  bool close_all(std::string& out) {
    bool any = !open_.empty();
    while (!open_.empty()) out.push_back(pop_closer());
    return any;
  }

 private:
  std::vector<char> open_;
};

// Counts of open brackets and braces, for passes that close by counting
// without knowing the nesting. A closer never takes a count below zero, and
// it does not check which bracket it closes.
struct BracketCounts {
  std::int64_t open_brackets = 0;
  std::int64_t open_braces = 0;

  // Counts c if it is one of `[` `]` `{` `}`; returns whether it was.
  bool count(char32_t c) {
    switch (c) {
      case '[': ++open_brackets; return true;
      case '{': ++open_braces; return true;
      case ']': if (open_brackets > 0) --open_brackets; return true;
      case '}': if (open_braces > 0) --open_braces; return true;
      default: return false;
    }
  }

  // Appends one `]` per open bracket and then one `}` per open brace.
  // Returns true when it appended anything.
  bool append_closers(std::string& out) const {
    out.append(static_cast<std::size_t>(open_brackets), ']');
    out.append(static_cast<std::size_t>(open_braces), '}');
    return open_brackets > 0 || open_braces > 0;
  }
};

// Length of the run of backslashes that ends text. Counting before each
// quote stays linear: a quote ends the run, so no backslash is counted twice.
std::size_t trailing_backslashes(std::string_view text);

// Joins items with separator between them; append_item(out, item) writes
// one item.
template <class Items, class AppendItem>
std::string join(const Items& items, std::string_view separator, AppendItem append_item) {
  std::string out;
  bool first = true;
  for (const auto& item : items) {
    if (!first) out.append(separator);
    first = false;
    append_item(out, item);
  }
  return out;
}

// The change messages a pass records, in order, to report them together.
// Messages are fixed texts that outlive the log; a message recorded several
// times in a row is kept once with a count, so a log stays small however
// many changes a long text needs.
class ChangeLog {
 public:
  void record(std::string_view message) {
    if (!runs_.empty() && runs_.back().first == message) {
      ++runs_.back().second;
    } else {
      runs_.emplace_back(message, 1);
    }
  }
  bool empty() const { return runs_.empty(); }

  // Every recorded message, repeats included, joined with separator.
  std::string joined(std::string_view separator) const;

 private:
  std::vector<std::pair<std::string_view, std::uint64_t>> runs_;
};

}  // namespace plomet::repair
