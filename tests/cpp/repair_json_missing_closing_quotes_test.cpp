#include "pass_cases.h"

namespace plomet::testing {
namespace {

constexpr const char* kRepaired = "Repaired missing closing quotes.";

TEST(RepairJsonMissingClosingQuotes, ClosesStringsAndBalancesBrackets) {
  const PassCase cases[] = {
      {R"({"a": "x)", R"({"a": "x"})", kRepaired},
      // The comma ends the open string, is copied outside it, and loses the
      // space after it in the final squeeze.
      {R"({"a": "x, "b": 1})", R"({"a": "x","b": 1})", kRepaired},
      {R"(["a])", R"(["a"])", kRepaired},
      {R"([1, 2})", "[1,2]", kRepaired},
      {"1]", "1", kRepaired},
      {"[1}}", "[1]", kRepaired},
      {"{\"a\": \"x\n}", "{\"a\": \"x\"\n}", kRepaired},
      {"{\"a\": \"x\r\n}", "{\"a\": \"x\"\r\n}", kRepaired},
      // The quote after a line-break close is taken as that string's late
      // closing quote and does not open a string; the quote after it does.
      {"[\"x\n\", \"y, z\"]", "[\"x\"\n\",\"y\",z\"\"]", kRepaired},
      // A dangling backslash becomes backslash, quote, backslash, quote.
      {R"(["a\)", R"(["a\"\"])", kRepaired},
      {R"(["a\\)", R"(["a\\"\"])", kRepaired},
      {R"({"a": "x\"y)", R"({"a": "x\"y"})", kRepaired},
      {"{\"\xC3\xA9\": \"\xC3\xBC", "{\"\xC3\xA9\": \"\xC3\xBC\"}", kRepaired},
      // A comma always ends a string, even a closed one.
      {R"(["a, b"])", R"(["a",b""])", kRepaired},
      // Squeezing pays no attention to quotes, and ", " pairs do not overlap.
      {"['a, b', 1, , 2", "['a,b',1,,2]", kRepaired},
      {"[1,  2", "[1, 2]", kRepaired},
      {R"({"a": 1, "b": [2, "c"], "d": 'x, y'})", R"({"a": 1, "b": [2, "c"], "d": 'x, y'})", std::nullopt},
      {"", "", std::nullopt},
  };
  expect_pass_cases(repair_json_missing_closing_quotes, "repair_json_missing_closing_quotes", cases);
}

}  // namespace
}  // namespace plomet::testing
