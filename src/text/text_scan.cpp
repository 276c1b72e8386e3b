#include "text/text_scan.h"

namespace plomet::scan {

std::size_t Utf8Cursor::position_past_whitespace() const {
  std::size_t p = static_cast<std::size_t>(skip_blank_run(text_.data() + pos_, text_.data() + text_.size()) - text_.data());
  while (p < text_.size()) {
    auto b = static_cast<unsigned char>(text_[p]);
    if (b < 0x80) {
      if (!is_whitespace(b)) break;
      ++p;
      continue;
    }
    DecodedChar d = decode_at(text_, p);
    if (!is_whitespace(d.code_point)) break;
    p += d.length;
  }
  return p;
}

char32_t Utf8Cursor::peek_past_whitespace() const {
  std::size_t p = position_past_whitespace();
  return p >= text_.size() ? kEndOfText : decode_at(text_, p).code_point;
}

char32_t last_char(std::string_view text) {
  if (text.empty()) return kEndOfText;
  std::size_t start = text.size() - 1;
  while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && text.size() - start < 4) --start;
  return decode_at(text, start).code_point;
}

std::size_t previous_char_start(std::string_view text, std::size_t pos) {
  std::size_t start = pos - 1;
  while (start > 0 && pos - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  // A lead byte whose sequence does not reach pos leaves the last byte alone.
  return start + decode_at(text, start).length == pos ? start : pos - 1;
}

std::string_view trim_trailing_whitespace(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0) {
    auto b = static_cast<unsigned char>(text[end - 1]);
    if (b < 0x80) {
      if (!is_whitespace(b)) break;
      --end;
      continue;
    }
    std::size_t start = previous_char_start(text, end);
    if (!is_whitespace(decode_at(text, start).code_point)) break;
    end = start;
  }
  return text.substr(0, end);
}

std::string_view trim_whitespace(std::string_view text) {
  text.remove_prefix(Utf8Cursor(text).position_past_whitespace());
  return trim_trailing_whitespace(text);
}

}  // namespace plomet::scan
