#include "text/text_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plomet::scan {

DecodedChar decode_slow(std::string_view text, std::size_t pos) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = at(pos);
  std::size_t length;
  char32_t c;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return {kReplacementChar, 1};
  }
  if (pos + length > text.size()) return {kReplacementChar, 1};
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char b = at(pos + i);
    if ((b & 0xC0) != 0x80) return {kReplacementChar, 1};
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {kReplacementChar, 1};
  return {c, static_cast<std::uint8_t>(length)};
}

const char* skip_blank_bytes(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i space_v = _mm_set1_epi8(' ');
  const __m128i lf_v = _mm_set1_epi8('\n');
  const __m128i cr_v = _mm_set1_epi8('\r');
  const __m128i tab_v = _mm_set1_epi8('\t');
  while (end - p >= 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, space_v), _mm_cmpeq_epi8(chunk, lf_v)),
                                 _mm_or_si128(_mm_cmpeq_epi8(chunk, cr_v), _mm_cmpeq_epi8(chunk, tab_v)));
    auto other = ~static_cast<unsigned>(_mm_movemask_epi8(blank)) & 0xFFFFu;
    if (other != 0) return p + __builtin_ctz(other);
    p += 16;
  }
#endif
  while (p < end && is_blank_byte(*p)) ++p;
  return p;
}

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

void pop_last_char(std::string& out) {
  while (!out.empty()) {
    bool continuation = (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80;
    out.pop_back();
    if (!continuation) break;
  }
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
