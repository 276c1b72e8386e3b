// The loose tokenizer of the missing-quote repair: it cuts any text into
// quoted strings, bare words, number-like runs, the six punctuation
// characters of JSON, runs of whitespace and `//` line comments. It never
// fails.
//
// The readers take tokens one at a time from a LooseTokenStream, which
// tokenizes on demand with one token of look-ahead, so a long text never
// holds its whole token list in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/context.h"

namespace plomet {

struct LooseToken {
  enum class Kind : std::uint8_t { TextToken, NumberToken, PunctToken, SpaceToken, CommentToken };

  Kind kind = Kind::SpaceToken;
  // The punctuation character of a PunctToken.
  char punct = 0;
  // The text of a TextToken (a quoted string's content after escape
  // processing, or a bare word) or a NumberToken; empty for the other kinds.
  std::string_view text;

  bool is(Kind k) const { return kind == k; }
  bool is_punct(char c) const { return kind == Kind::PunctToken && punct == c; }
  // Space and comments: what every reader discards between the tokens it uses.
  bool is_filler() const { return kind == Kind::SpaceToken || kind == Kind::CommentToken; }
  // A token whose text is part of a scalar or a key.
  bool has_text() const { return kind == Kind::TextToken || kind == Kind::NumberToken; }
};

// `:` `,` `{` `}` `[` `]` `"` `'`: the characters that end a bare word.
inline bool is_structural_char(char32_t c) {
  switch (c) {
    case ':': case ',': case '{': case '}': case '[': case ']': case '"': case '\'':
      return true;
    default:
      return false;
  }
}

// Produces the tokens of a text one after another.
class LooseTokenizer {
 public:
  explicit LooseTokenizer(std::string_view text) : text_(text) {}

  bool at_end() const { return pos_ >= text_.size(); }
  // The offset of the next token's first byte.
  std::size_t position() const { return pos_; }

  // Reads the next token (not at_end()). Its text is a view into the input,
  // or, for a quoted string with escapes, into a buffer that the next call
  // reuses.
  LooseToken next();

  // Whether a bare word has been produced so far.
  bool quotes_added() const { return quotes_added_; }

 private:
  LooseToken quoted_string(char32_t quote);
  LooseToken bare_word(std::size_t start);

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string unescaped_;
  bool quotes_added_ = false;
};

// The token sequence of a text as the loose readers consume it: from the
// front, one token at a time.
class LooseTokenStream {
 public:
  // The context counts the work for its interrupt check.
  LooseTokenStream(Context& context, std::string_view text) : context_(context), tokenizer_(text) { fill(); }
  // The front token's text may point into the tokenizer's buffer.
  LooseTokenStream(const LooseTokenStream&) = delete;
  LooseTokenStream& operator=(const LooseTokenStream&) = delete;

  bool empty() const { return !has_front_; }
  // The front token (not empty()); its text is valid until pop().
  const LooseToken& front() const { return front_; }
  void pop() { fill(); }

  // Whether the text holds a bare word anywhere, in the tokens taken so far
  // or in the rest, which it reads (and drops) as far as needed. Call it once
  // the readers are done.
  bool quotes_added();

 private:
  void fill() {
    // A call that must stop sees the text end here.
    has_front_ = !tokenizer_.at_end() && !context_.poll(kValueUnits);
    if (has_front_) front_ = tokenizer_.next();
  }

  Context& context_;
  LooseTokenizer tokenizer_;
  LooseToken front_;
  bool has_front_ = false;
};

}  // namespace plomet
