// The scanning pieces every repair pass and the reader share: a cursor over
// Unicode scalar values with look-ahead that does not consume, the character
// classes of the repair scanners, and helpers for the output text. Decoding
// is utf8.h's: a malformed byte is U+FFFD over one byte, so scanning always
// advances and copying by byte ranges keeps the input bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/simd_scan.h"
#include "text/unicode_tables.h"
#include "text/utf8.h"

namespace plomet::scan {

// What peek() returns at the end of the text.
inline constexpr char32_t kEndOfText = 0xFFFFFFFF;

// Whitespace of the repair scanners: the Unicode White_Space property
// (U+0009 to U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000 to U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000).
inline bool is_whitespace(char32_t c) {
  if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D);
  return c != kEndOfText && unicode::is_white_space(c);
}

// Letters of the word scanners: ASCII A-Z and a-z, or a character from
// U+00AA up with the Alphabetic property.
inline bool is_word_letter(char32_t c) {
  if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
  return c >= 0xAA && c != kEndOfText && unicode::is_alphabetic(c);
}

inline bool is_ascii_digit(char32_t c) { return c >= '0' && c <= '9'; }

// The bytes the string-value clean-up removes: control characters but LF.
inline bool is_removed_control_byte(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 && byte != '\n';
}

// A set of ASCII bytes that a scanner acts on; every other byte, including
// each byte of a non-ASCII character, can be passed over in runs. For short
// runs; find_first_of_bytes suits long ones.
using ByteSet = std::array<bool, 256>;

constexpr ByteSet byte_set(std::string_view bytes) {
  ByteSet set{};
  for (char b : bytes) set[static_cast<unsigned char>(b)] = true;
  return set;
}

// Position of the first byte at or after pos that is in stops, or text.size().
inline std::size_t find_byte_in(std::string_view text, std::size_t pos, const ByteSet& stops) {
  while (pos < text.size() && !stops[static_cast<unsigned char>(text[pos])]) ++pos;
  return pos;
}

// The first byte at or after p that is not a space, LF, CR or tab, or end.
// Runs of indentation are long in pretty-printed JSON; most calls meet none.
inline const char* skip_blank_run(const char* p, const char* end) {
  return p < end && is_blank_byte(*p) ? skip_blank_bytes(p + 1, end) : p;
}

// A forward cursor over the characters of a text.
class Utf8Cursor {
 public:
  explicit Utf8Cursor(std::string_view text, std::size_t pos = 0) : text_(text), pos_(pos) {}

  bool at_end() const { return pos_ >= text_.size(); }
  std::size_t position() const { return pos_; }
  std::string_view text() const { return text_; }

  // The current character, or kEndOfText.
  char32_t peek() const { return at_end() ? kEndOfText : decode_at(text_, pos_).code_point; }
  // The bytes of the current character (empty at the end).
  std::string_view peek_bytes() const {
    return at_end() ? std::string_view{} : text_.substr(pos_, decode_at(text_, pos_).length);
  }
  // The character after the current one, or kEndOfText.
  char32_t peek_second() const {
    if (at_end()) return kEndOfText;
    std::size_t next = pos_ + decode_at(text_, pos_).length;
    return next >= text_.size() ? kEndOfText : decode_at(text_, next).code_point;
  }

  void advance() {
    if (!at_end()) pos_ += decode_at(text_, pos_).length;
  }
  // Moves past the characters before the next of the given bytes (or the
  // end) and returns their bytes.
  template <char... Stops>
  std::string_view take_run_until() {
    const std::size_t start = pos_;
    pos_ = find_first_of_bytes<Stops...>(text_, pos_);
    return text_.substr(start, pos_ - start);
  }
  // Returns the current character and moves past it.
  char32_t next() {
    if (at_end()) return kEndOfText;
    DecodedChar d = decode_at(text_, pos_);
    pos_ += d.length;
    return d.code_point;
  }
  // Returns the current character together with its bytes in the text and
  // moves past it, so a scanner can copy the original bytes with one decode.
  // At the end: kEndOfText and no bytes.
  struct Taken {
    char32_t code_point;
    std::string_view bytes;
  };
  Taken take() {
    if (at_end()) return {kEndOfText, {}};
    DecodedChar d = decode_at(text_, pos_);
    Taken taken{d.code_point, text_.substr(pos_, d.length)};
    pos_ += d.length;
    return taken;
  }

  // Position of the first character at or after the current one that is not
  // whitespace (text().size() when only whitespace follows). Does not move.
  std::size_t position_past_whitespace() const;
  // That character, or kEndOfText. Does not move.
  char32_t peek_past_whitespace() const;

 private:
  std::string_view text_;
  std::size_t pos_;
};

// The last character of a UTF-8 text, or kEndOfText when it is empty.
char32_t last_char(std::string_view text);

// Start of the character that ends at byte pos (0 < pos <= text.size()), as
// the forward decoding cuts the text: a malformed byte is a character alone.
std::size_t previous_char_start(std::string_view text, std::size_t pos);

// The text without its trailing whitespace.
std::string_view trim_trailing_whitespace(std::string_view text);
// The text without whitespace at either end.
std::string_view trim_whitespace(std::string_view text);

}  // namespace plomet::scan
