#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plomet::scan {
namespace {

// Encodes with room for the worst case; "<refused>" when the encoder refuses.
std::string encoded(const std::u32string& code_points) {
  std::string out(code_points.size() * kMaxUtf8BytesPerCodePoint, '\0');
  char* end = encode_utf8(code_points.data(), code_points.size(), out.data());
  if (end == nullptr) return "<refused>";
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

TEST(EncodeUtf8, WritesEveryLengthOfSequenceAndRunsOfAscii) {
  const std::u32string ascii40(40, U'a');
  const struct {
    std::u32string input;
    std::string expected;
  } cases[] = {
      {U"", ""},
      {std::u32string(U"\u0000\u007F", 2), std::string("\0\x7F", 2)},
      {U"\u0080\u07FF", "\xC2\x80\xDF\xBF"},
      {U"\u0800\uD7FF\uE000\uFFFF", "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"},
      {U"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      // Sixteen-at-a-time runs broken by non-ASCII at every offset of a block.
      {ascii40, std::string(40, 'a')},
      {std::u32string(15, U'a') + U"é" + std::u32string(17, U'b'), std::string(15, 'a') + "\xC3\xA9" + std::string(17, 'b')},
      {std::u32string(16, U'a') + U"日本" + std::u32string(16, U'c'), std::string(16, 'a') + "\xE6\x97\xA5\xE6\x9C\xAC" + std::string(16, 'c')},
      {U"€" + ascii40 + U"😀", "\xE2\x82\xAC" + std::string(40, 'a') + "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encoded(c.input), c.expected);
  }
}

TEST(EncodeUtf8, RefusesSurrogatesAndCodePointsPastTheLast) {
  const std::u32string refused[] = {
      {char32_t{0xD800}},
      {char32_t{0xDFFF}},
      {char32_t{0x110000}},
      std::u32string(20, U'a') + char32_t{0xDC00},  // after a vectorised run
      std::u32string(16, U'a') + char32_t{0xD83D} + std::u32string(16, U'a'),
  };
  for (const std::u32string& input : refused) {
    EXPECT_EQ(encoded(input), "<refused>");
  }
}

}  // namespace
}  // namespace plomet::scan
