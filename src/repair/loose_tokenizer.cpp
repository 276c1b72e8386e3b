#include "repair/loose_tokenizer.h"

#include "text/json_string_text.h"
#include "text/number_text.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

using scan::Utf8Cursor;

LooseToken punct_token(char c) {
  LooseToken token;
  token.kind = LooseToken::Kind::PunctToken;
  token.punct = c;
  return token;
}

}  // namespace

LooseToken LooseTokenizer::next() {
  Utf8Cursor cursor(text_, pos_);
  const char32_t c = cursor.peek();
  LooseToken token;
  if (scan::is_whitespace(c)) {
    pos_ = cursor.position_past_whitespace();
    token.kind = LooseToken::Kind::SpaceToken;
    return token;
  }
  switch (c) {
    case '"':
    case '\'':
      return quoted_string(c);
    case ',': case ':': case '[': case ']': case '{': case '}':
      ++pos_;
      return punct_token(static_cast<char>(c));
    case '/':
      if (cursor.peek_second() != '/') break;
      {
        std::size_t line_feed = text_.find('\n', pos_ + 2);
        pos_ = line_feed == std::string_view::npos ? text_.size() : line_feed + 1;
        token.kind = LooseToken::Kind::CommentToken;
        return token;
      }
    default:
      if (c == '-' || scan::is_ascii_digit(c)) {
        std::size_t start = pos_;
        ++pos_;
        while (pos_ < text_.size() && number_text::continues_number_run(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        token.kind = LooseToken::Kind::NumberToken;
        token.text = text_.substr(start, pos_ - start);
        return token;
      }
      break;
  }
  return bare_word(pos_);
}

LooseToken LooseTokenizer::quoted_string(char32_t quote) {
  Utf8Cursor cursor(text_, pos_ + 1);  // the quote is one byte
  const std::size_t content_start = cursor.position();
  std::size_t content_end = text_.size();
  bool copying = false;  // set by the first escape: from then on the text is built in unescaped_
  while (!cursor.at_end()) {
    std::size_t at = cursor.position();
    char32_t ch = cursor.peek();
    if (ch == quote) {
      content_end = at;
      cursor.advance();
      break;
    }
    if (ch == '\\') {
      if (!copying) {
        unescaped_.assign(text_.substr(content_start, at - content_start));
        copying = true;
      }
      cursor.advance();
      if (cursor.at_end()) {
        unescaped_.push_back('\\');
        break;
      }
      if (char control = control_escape(cursor.peek())) {
        unescaped_.push_back(control);
      } else {
        unescaped_.append(cursor.peek_bytes());
      }
      cursor.advance();
      continue;
    }
    if (is_structural_char(ch)) {
      content_end = at;
      break;
    }
    if (copying) unescaped_.append(cursor.peek_bytes());
    cursor.advance();
  }
  pos_ = cursor.position();
  LooseToken token;
  token.kind = LooseToken::Kind::TextToken;
  if (copying) {
    token.text = unescaped_;
  } else {
    token.text = text_.substr(content_start, content_end - content_start);
  }
  return token;
}

LooseToken LooseTokenizer::bare_word(std::size_t start) {
  Utf8Cursor cursor(text_, start);
  cursor.advance();
  while (!cursor.at_end()) {
    char32_t ch = cursor.peek();
    if (scan::is_whitespace(ch) || is_structural_char(ch)) break;
    cursor.advance();
  }
  pos_ = cursor.position();
  quotes_added_ = true;
  LooseToken token;
  token.kind = LooseToken::Kind::TextToken;
  token.text = text_.substr(start, pos_ - start);
  return token;
}

bool LooseTokenStream::quotes_added() {
  while (!tokenizer_.quotes_added() && !tokenizer_.at_end() && !context_.poll(kValueUnits)) {
    tokenizer_.next();
  }
  return tokenizer_.quotes_added();
}

}  // namespace plomet
