#include "pass_cases.h"

namespace plomet::testing {
namespace {

constexpr const char* kRepaired = "Repaired truncated booleans or unclosed delimiters in JSON.";

TEST(RepairJsonTruncatedBooleanBehavior, CompletesBooleansAndAppendsCountedClosers) {
  const PassCase cases[] = {
      {R"({"ok": tr)", R"({"ok": true})", kRepaired},
      {"[1, f", "[1, false]", kRepaired},
      {"fals", "false", kRepaired},
      {"[t", "[true]", kRepaired},
      {"[tru", "[true]", kRepaired},
      {"[fa", "[false]", kRepaired},
      {R"({"a": [1, 2)", R"({"a": [1, 2]})", kRepaired},
      // Counted, not stacked: every `]` comes before every `}`.
      {R"([{"a": 1)", R"([{"a": 1]})", kRepaired},
      {R"({"s": "abc)", R"({"s": "abc"})", kRepaired},
      {R"({"s": "tr)", R"({"s": "tr"})", kRepaired},
      {R"({"a": "x\")", R"({"a": "x\""})", kRepaired},
      {R"(["a\\")", R"(["a\\"])", kRepaired},
      {R"({"a": "[{)", R"({"a": "[{"})", kRepaired},
      {"[true", "[true]", kRepaired},
      {"[nul", "[nul]", kRepaired},
      {"[T", "[T]", kRepaired},
      {"[falsey", "[falsey]", kRepaired},
      // é is a letter, so the word is "éf"; a digit ends a word.
      {"[\xC3\xA9" "f", "[\xC3\xA9" "f]", kRepaired},
      {"[1f", "[1false]", kRepaired},
      {R"([t"x")", R"([t"x"])", kRepaired},
      {"]]", "]]", std::nullopt},
      {R"({"a": tr})", R"({"a": tr})", std::nullopt},
      {"true", "true", std::nullopt},
  };
  expect_pass_cases(repair_json_truncated_boolean_behavior, "repair_json_truncated_boolean_behavior", cases);
}

}  // namespace
}  // namespace plomet::testing
