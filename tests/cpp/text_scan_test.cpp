#include "text/text_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace plomet::scan {
namespace {

// Removes the last character (not byte) of a UTF-8 text, if any: the way
// back over output that last_char reads.
void pop_last_char(std::string& out) {
  while (!out.empty()) {
    bool continuation = (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80;
    out.pop_back();
    if (!continuation) break;
  }
}

TEST(Utf8Cursor, DecodesScalarValuesAndKeepsMalformedBytesOneByOne) {
  struct Case {
    std::string text;
    std::u32string expected;
  };
  const Case cases[] = {
      {"a\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80", U"a\u00E9\u2028\U0001F600"},
      {"\xC0\x80", U"\uFFFD\uFFFD"},          // overlong
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xE2\x80", U"\uFFFD\uFFFD"},           // cut short
  };
  for (const Case& c : cases) {
    std::u32string seen;
    for (Utf8Cursor cursor(c.text); !cursor.at_end();) seen.push_back(cursor.next());
    EXPECT_EQ(seen, c.expected) << c.text;
  }
}

TEST(Utf8Cursor, TakeGivesTheCharacterWithItsOriginalBytes) {
  Utf8Cursor cursor("\xC3\xA9\xFFx");
  auto first = cursor.take();
  EXPECT_EQ(first.code_point, U'\u00E9');
  EXPECT_EQ(first.bytes, "\xC3\xA9");
  auto malformed = cursor.take();
  EXPECT_EQ(malformed.code_point, kReplacementChar);
  EXPECT_EQ(malformed.bytes, "\xFF");  // copying keeps the byte, not U+FFFD
  EXPECT_EQ(cursor.take().bytes, "x");
  auto end = cursor.take();
  EXPECT_EQ(end.code_point, kEndOfText);
  EXPECT_TRUE(end.bytes.empty());
}

TEST(Utf8Cursor, LooksAheadPastWhitespaceWithoutMoving) {
  Utf8Cursor cursor(" \t\xE3\x80\x80\xC2\x85x");
  EXPECT_EQ(cursor.peek_past_whitespace(), U'x');
  EXPECT_EQ(cursor.position(), 0u);
  Utf8Cursor blank("  \n");
  EXPECT_EQ(blank.peek_past_whitespace(), kEndOfText);
}

TEST(CharacterClasses, WhitespaceAndWordLetters) {
  for (char32_t c : {U'\t', U'\n', U'\v', U'\f', U'\r', U' ', U'\u0085', U'\u00A0', U'\u1680', U'\u2000',
                     U'\u200A', U'\u2028', U'\u2029', U'\u202F', U'\u205F', U'\u3000'}) {
    EXPECT_TRUE(is_whitespace(c)) << static_cast<unsigned>(c);
  }
  for (char32_t c : {U'\u200B', U'\uFEFF', U'\u0000', U'x', kEndOfText}) EXPECT_FALSE(is_whitespace(c));
  for (char32_t c : {U'a', U'Z', U'\u00AA', U'\u00E9', U'\u4E00', U'\u0905'}) EXPECT_TRUE(is_word_letter(c));
  for (char32_t c : {U'0', U'_', U'\u00A9', U'\u00D7', kEndOfText}) EXPECT_FALSE(is_word_letter(c));
}

TEST(OutputText, PopsAndReadsWholeCharacters) {
  std::string text = "a\xC3\xA9";
  EXPECT_EQ(last_char(text), U'\u00E9');
  pop_last_char(text);
  EXPECT_EQ(text, "a");
  std::string out;
  append_utf8(out, U'\U0001F600');
  EXPECT_EQ(out, "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace plomet::scan
