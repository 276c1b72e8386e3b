#include "shape/leaf_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "leaf_text_strings.h"
#include "shape/schema.h"

namespace plomet {
namespace {

TEST(FloatText, ShortestDigitsLaidOutPositionally) {
  struct Case {
    double value;
    std::string expected;
  };
  const Case cases[] = {
      {1.0, "1"},
      {0.5, "0.5"},
      {-0.0, "-0"},
      {0.0, "0"},
      {100.0, "100"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e-7, "0.0000001"},
      {-1e-7, "-0.0000001"},
      {1e21, "1000000000000000000000"},
      {1e22, "10000000000000000000000"},
      {18446744073709551616.0, "18446744073709552000"},
      {123456789.125, "123456789.125"},
      {-2.5, "-2.5"},
      {12.0, "12"},
      {1.5e-5, "0.000015"},
      {9007199254740993.0, "9007199254740992"},
      {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
      {std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
      {-std::numeric_limits<double>::denorm_min(), "-0." + std::string(323, '0') + "5"},
      {std::numeric_limits<double>::min(), "0." + std::string(307, '0') + "22250738585072014"},
  };
  for (const Case& c : cases) EXPECT_EQ(float_text(c.value), c.expected) << c.expected;
}

TEST(IntText, CoversTheSignedRange) {
  EXPECT_EQ(int_text(0), "0");
  EXPECT_EQ(int_text(-1), "-1");
  EXPECT_EQ(int_text(42), "42");
  EXPECT_EQ(int_text(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(int_text(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
}

TEST(JsonStringText, EscapesOnlyQuoteBackslashAndControls) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"a\tb", R"("a\tb")"},
      {"\xC3\xA9", "\"\xC3\xA9\""},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"back\\slash", R"("back\\slash")"},
      {"\b\f\n\r", R"("\b\f\n\r")"},
      {"\x1b", R"("\u001b")"},
      {std::string("\0", 1), R"("\u0000")"},
      {"\x1f\x0b", R"("\u001f\u000b")"},
      {"/\x7f", "\"/\x7f\""},
      {"\xE2\x80\xA8 \xF0\x9F\x98\x80", "\"\xE2\x80\xA8 \xF0\x9F\x98\x80\""},
  };
  for (const Case& c : cases) EXPECT_EQ(json_string_text(c.text), c.expected) << c.expected;
}

TEST(ScalarText, TypeWordsAndExamples) {
  struct Case {
    Schema node;
    std::string hidden;  // show_examples false
    std::string shown;   // show_examples true
  };
  Case cases[] = {
      {Schema(), "null", "null"},
      {Schema(BoolSchema{false}), "bool", "false"},
      {Schema(BoolSchema{true}), "bool", "true"},
      {Schema(BoolSchema{}), "bool", "bool"},
      {Schema(IntSchema{{-5, 0, 42}}), "int", "-5, 0, 42"},
      {Schema(IntSchema{}), "int", "int"},
      {Schema(FloatSchema{}), "float", "float"},
      {Schema(FloatSchema{{1.0, 2.5, -0.0}}), "float", "1, 2.5, -0"},
      {Schema(StrSchema{{"a", "b"}}), "str", R"("a", "b")"},
      {Schema(StrSchema{{"\""}}), "str", R"(""")"},
      // Examples are written unescaped, line feeds included.
      {Schema(StrSchema{{"x\\y\n\tz"}}), "str", "\"x\\y\n\tz\""},
      {Schema(StrSchema{}), "str", "str"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scalar_text(c.node, false), c.hidden) << c.shown;
    EXPECT_EQ(scalar_text(c.node, true), c.shown) << c.shown;
  }
  EXPECT_EQ(scalar_text(Schema::array(Schema(), 0), true), std::nullopt);
  EXPECT_EQ(scalar_text(Schema(ObjectSchema{}), false), std::nullopt);
  std::string out = "kept";
  EXPECT_FALSE(append_scalar_text(out, Schema(ObjectSchema{}), true));
  EXPECT_EQ(out, "kept");
}

}  // namespace
}  // namespace plomet
