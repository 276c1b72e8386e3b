// The toolkit of the repair passes: the output they copy the input through,
// the string and escape rules and the bracket policies they choose from, the
// closing at the end of a cut-off text, and the building of event messages.
// The passes differ on purpose in which string rule and bracket policy they
// follow; each declares its choice by name, so the differences are visible.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/context.h"
#include "document/json_value.h"

namespace plomet::repair {

// Message prefix of the passes that close a cut-off text by appending.
inline constexpr std::string_view kAddedAtEndMessage =
    "Repaired JSON by adding the following characters at the end: ";

inline char closer_for(char32_t opener) { return opener == '[' ? ']' : '}'; }

inline bool is_opener(char32_t c) { return c == '[' || c == '{'; }
inline bool is_closer(char32_t c) { return c == ']' || c == '}'; }

// The output of a pass that copies most of its input through unchanged. The
// pass says only where it changes the text; the input between changes is
// copied in one piece, not character by character.
class CopyThroughOutput {
 public:
  // The output is written into a text the context recycles.
  CopyThroughOutput(Context& context, std::string_view input)
      : input_(input), out_(context.take_text(input.size() + 16)) {}

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
  Text& written_to(std::size_t pos) {
    copy_to(pos);
    return out_;
  }
  // The whole output: the rest of the input copied through.
  Text finish() {
    copy_to(input_.size());
    return std::move(out_);
  }

 private:
  void copy_to(std::size_t pos) {
    out_.append(input_, copied_to_, pos - copied_to_);
    copied_to_ = pos;
  }

  std::string_view input_;
  Text out_;
  std::size_t copied_to_ = 0;
};

// String rule: an unescaped backslash makes the one character after it
// literal. Passes that follow it everywhere, inside and outside strings, use
// it alone; DoubleQuotedStrings applies it inside strings only.
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

// String rule: a double quote right after a backslash character does not
// delimit, even when that backslash was itself escaped (`\\"` does not close).
class QuoteAfterBackslash {
 public:
  // Feeds the next character; returns true when it is a delimiting quote.
  bool delimits(char32_t c) {
    const bool delimiter = c == '"' && previous_ != '\\';
    previous_ = c;
    return delimiter;
  }

 private:
  char32_t previous_ = 0;
};

// String rule: blind to escapes and nesting, a text is inside a string when
// it holds an odd number of double quotes.
class QuoteParity {
 public:
  void count(char32_t c) { odd_ ^= c == '"'; }
  bool in_string() const { return odd_; }

 private:
  bool odd_ = false;
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

// Bracket policy: a stack of open brackets, for passes that close in nesting
// order.
class OpenBrackets {
 public:
  OpenBrackets() = default;
  // The brackets openers lists, outermost first.
  explicit OpenBrackets(std::string_view openers) : open_(openers.begin(), openers.end()) {}

  void push(char32_t opener) { open_.push_back(static_cast<char>(opener)); }
  // The open brackets, outermost first.
  std::string_view openers() const { return {open_.data(), open_.size()}; }
  bool empty() const { return open_.empty(); }

  // Removes the innermost open bracket and returns its closer.
  char pop_closer() {
    char closer = closer_for(static_cast<unsigned char>(open_.back()));
    open_.pop_back();
    return closer;
  }

  // Balances a closer at pos of a copied-through input: with nothing open it
  // is dropped; otherwise the innermost bracket is closed with its own
  // closer, which replaces a closer of the wrong kind. Returns true when the
  // text changed (a closer dropped or replaced).
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
  bool append_closers(Text& out) {
    bool any = !open_.empty();
    while (!open_.empty()) out.push_back(pop_closer());
    return any;
  }

 private:
  std::vector<char> open_;
};

// Bracket policy: counts of open brackets and braces, for passes that close
// by counting without knowing the nesting. A closer never takes a count below
// zero, and it does not check which bracket it closes.
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
  void append_closers(Text& out) const {
    out.append(static_cast<std::size_t>(open_brackets), ']');
    out.append(static_cast<std::size_t>(open_braces), '}');
  }
};

// Bracket policy: the raw balance of openers less closers of each kind,
// which a surplus of closers takes below zero; only a positive balance is
// closed.
struct BracketBalance {
  std::int64_t brackets = 0;  // `[` less `]`
  std::int64_t braces = 0;    // `{` less `}`

  void count(char32_t c) {
    switch (c) {
      case '[': ++brackets; break;
      case ']': --brackets; break;
      case '{': ++braces; break;
      case '}': --braces; break;
      default: break;
    }
  }
  // Appends one `]` per open bracket and then one `}` per open brace.
  void append_closers(Text& out) const {
    if (brackets > 0) out.append(static_cast<std::size_t>(brackets), ']');
    if (braces > 0) out.append(static_cast<std::size_t>(braces), '}');
  }
};

// The output of a pass that closes a cut-off text: the text as it was, then
// what the pass appended to close it.
struct ClosedAtEnd {
  Text text;
  std::size_t input_size = 0;

  std::string_view appended() const { return std::string_view(text).substr(input_size); }
  bool changed() const { return text.size() != input_size; }
  // kAddedAtEndMessage followed by the characters appended.
  std::string added_at_end_message() const;
};

// Copies text through and lets append_end(Text&) write after it.
template <class AppendEnd>
ClosedAtEnd close_at_end(Context& context, std::string_view text, AppendEnd append_end) {
  CopyThroughOutput out(context, text);
  append_end(out.written_to(text.size()));
  return {out.finish(), text.size()};
}

// Closes a cut-off text with a quote when it ends inside a string, then with
// the closers brackets (any bracket policy) still owes.
template <class Brackets>
ClosedAtEnd close_string_and_brackets(Context& context, std::string_view text, bool in_string, Brackets& brackets) {
  return close_at_end(context, text, [&](Text& end) {
    if (in_string) end.push_back('"');
    brackets.append_closers(end);
  });
}

// Removes from text, in place, the byte ranges next_removal finds.
// next_removal(from) returns the next range [first, second) that starts at or
// after from, or one that starts at npos when there is none; it may read the
// text from `from` on, which the removal has not moved yet. Each kept byte is
// moved at most once, so it is linear, and a text with nothing to remove is
// left untouched.
template <class NextRemoval>
void erase_ranges(Text& text, NextRemoval next_removal) {
  std::size_t kept = 0;       // bytes kept so far, at the front of text
  std::size_t copied_to = 0;  // the bytes before this are kept or removed
  bool removed = false;
  for (std::size_t from = 0;;) {
    const std::pair<std::size_t, std::size_t> removal = next_removal(from);
    if (removal.first == std::string_view::npos) break;
    std::memmove(text.data() + kept, text.data() + copied_to, removal.first - copied_to);
    kept += removal.first - copied_to;
    copied_to = removal.second;
    from = removal.second;
    removed = true;
  }
  if (!removed) return;
  std::memmove(text.data() + kept, text.data() + copied_to, text.size() - copied_to);
  text.resize(kept + text.size() - copied_to);
}

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
