#include <gtest/gtest.h>

#include "event_recorder.h"

namespace plomet::testing {
namespace {

constexpr std::string_view kEvent = "Repaired mismatched quotation marks.";

TEST(FixMismatchedQuotes, MendsQuotingDamage) {
  const PassCase cases[] = {
      {R"({"key": "it"s"})", R"({"key": "it\"s"})", std::string(kEvent)},
      {R"({"msg": "don't"})", R"({"msg": "don\'t"})", std::string(kEvent)},
      {R"(['say "hi"'])", R"(['say \"hi\"'])", std::string(kEvent)},
      // A quote before a digit, a non-ASCII letter or a backslash stays text.
      {R"(["a"1"])", R"(["a\"1"])", std::string(kEvent)},
      {"[\"a\"\xC3\xA9\"]", "[\"a\\\"\xC3\xA9\"]", std::string(kEvent)},
      {"[\"a\"\xD9\xA3\"]", "[\"a\\\"\xD9\xA3\"]", std::string(kEvent)},  // Arabic-Indic digit three
      {R"(["a"\n"])", R"(["a\"\n"])", std::string(kEvent)},
      {R"({"a": value})", R"({"a": "value"})", std::string(kEvent)},
      {R"({"a": value, "b": 2})", R"({"a": "value", "b": 2})", std::string(kEvent)},
      {"{\"a\":\t x}", "{\"a\":\t \"x\"}", std::string(kEvent)},
      {R"({"a":   [x]})", R"({"a":   [x]})", std::nullopt},
      {R"({"a": true, "b": -1, "c": null, "d": [1], "e": 'x', "f": 0})",
       R"({"a": true, "b": -1, "c": null, "d": [1], "e": 'x', "f": 0})", std::nullopt},
      {R"({"a":)", R"({"a":"")", std::string(kEvent)},
      {"{\"a\": \n", "{\"a\": \n\"\"", std::string(kEvent)},
      {R"(["a", "b])", R"(["a", "b"])", std::string(kEvent)},
      {R"({"a": "x, "b": 1})", R"({"a": "x", "b": 1})", std::string(kEvent)},
      {R"({"a": "x,  : 1})", R"({"a": "x",  : 1})", std::string(kEvent)},
      {R"({"a": "x, y"})", R"({"a": "x, y"})", std::nullopt},
      {R"({"a": "x] y"})", R"({"a": "x] y"})", std::nullopt},
      {R"("a\"b")", R"("a\"b")", std::nullopt},
      {R"(\"a)", R"(\"a)", std::nullopt},  // outside strings too a backslash makes the next character literal
      {R"("open)", R"("open")", std::string(kEvent)},
      {R"('open)", R"('open')", std::string(kEvent)},
      {R"(["a"])", R"(["a"])", std::nullopt},
      {"\"", "\"\"", std::string(kEvent)},
      {"\"\"", "\"\"", std::nullopt},
      {"", "", std::nullopt},
  };
  expect_pass_cases(repair_json_fix_mismatched_quotes, "repair_json_fix_mismatched_quotes", cases);
}

}  // namespace
}  // namespace plomet::testing
