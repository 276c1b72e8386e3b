#include "pass_cases.h"

namespace plomet::testing {
namespace {

constexpr const char* kFixed = "Fixed accidental single quotes in JSON strings.";

TEST(RepairJsonAccidentalSingleQuote, ClosesOrEscapesTheOtherQuote) {
  const PassCase cases[] = {
      {R"({"a": "b', "c": 1})", R"({"a": "b", "c": 1})", kFixed},
      {R"({"a": "b'})", R"({"a": "b"})", kFixed},
      {R"(["b'  )" "\n" R"( ])", R"(["b"  )" "\n" R"( ])", kFixed},
      {"[\"b'\xE3\x80\x80]", "[\"b\"\xE3\x80\x80]", kFixed},  // U+3000 is whitespace
      {R"("b')", R"("b")", kFixed},
      {R"(["it's"])", R"(["it\'s"])", kFixed},
      {R"(['say "hi"'])", R"(['say \"hi\"'])", kFixed},
      // The opening quote decides which quote closes the string.
      {R"(['x"])", R"(['x'])", kFixed},
      {R"("a\"b'])", R"("a\"b"])", kFixed},
      // Outside strings a backslash hides the next character too.
      {R"(\"a'b')", R"(\"a'b')", std::nullopt},
      {R"({"a": 'b', "c": "d"})", R"({"a": 'b', "c": "d"})", std::nullopt},
      {"[1, 2]", "[1, 2]", std::nullopt},
  };
  expect_pass_cases(repair_json_accidental_single_quote_instead_of_a_double_quote,
                    "repair_json_accidental_single_quote_instead_of_a_double_quote", cases);
}

}  // namespace
}  // namespace plomet::testing
