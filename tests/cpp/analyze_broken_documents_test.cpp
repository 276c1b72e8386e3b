// Realistic broken documents end to end: read or repair, infer, render. Each
// case names the pass whose repair wins (none when normalisation suffices),
// which the last pass event shows.
#include <gtest/gtest.h>

#include <string>

#include "capturing_sink.h"
#include "analyze.h"

namespace plomet::testing {
namespace {

struct BrokenDocument {
  const char* what;
  std::string input;
  std::string outline;
  std::string repaired_by;  // pass name, or "" for normalisation alone
};

std::string last_pass_event(const CapturingSink& sink) {
  std::string last;
  for (const CapturedEvent& event : sink.events()) {
    if (event.target.starts_with("json_repair::") &&
        event.target != "json_repair::repair_json_remove_control_characters_in_value") {
      last = event.target;
    }
  }
  return last;
}

TEST(AnalyzeBrokenDocuments, RepairsAndOutlinesRealisticDamage) {
  Context context;
  using namespace std::string_literals;
  const BrokenDocument cases[] = {
      {"API response cut inside a boolean",
       R"({"status": "ok", "count": 2, "items": [{"id": 1}, {"id": 2}], "has_more": fa)",
       "{\n  \"status\": \"ok\",\n  \"count\": 2,\n  \"items\": [\n    {\n      \"id\": 1\n    },\n"
       "  ...  // 2 items\n  ],\n  \"has_more\": false\n}",
       "repair_json_truncated_boolean_behavior"},
      {"API response cut inside an array",
       R"({"results": [{"id": 1, "score": 0.5}], "total": 1, "pages": [1, 2)",
       "{\n  \"results\": [\n    {\n      \"id\": 1,\n      \"score\": 0.5\n    }\n  ],\n  \"total\": 1,\n"
       "  \"pages\": [\n    1, 2\n  ]\n}",
       ""},
      {"model answer cut mid-string",
       R"({"choices": [{"message": {"role": "assistant", "content": "Sure, here is the)",
       "{\n  \"choices\": [\n    {\n      \"message\": {\n        \"role\": \"assistant\",\n"
       "        \"content\": \"Sure, here is the\"\n      }\n    }\n  ]\n}",
       ""},
      {"string cut at a comma", R"({"name": "Ann, "age": 30})",
       "{\n  \"name\": \"Ann\",\n  \"age\": 30\n}", "repair_json_missing_closing_quotes"},
      {"closer of the wrong kind", R"({"a": [1, 2}, "b": 3})",
       "{\n  \"a\": [\n    1, 2\n  ],\n  \"b\": 3\n}", "repair_json_missing_closing_quotes"},
      {"single-quoted document", R"({'name': 'Widget', 'tags': ['a', 'b']})",
       "{\n  \"name\": \"Widget\",\n  \"tags\": [\n    \"a\", \"b\"\n  ]\n}", ""},
      {"string opened with one quote and closed with the other",
       R"({"title": "Bob's Diner', "rating": 4, "cuisine": 'diner'})",
       "{\n  \"title\": \"Bob's Diner\",\n  \"rating\": 4,\n  \"cuisine\": \"diner\"\n}",
       "repair_json_accidental_single_quote_instead_of_a_double_quote"},
      {"trailing comma typed inside a string", R"({"city": "Paris," "country": "France"})",
       "{\n  \"city\": \"Paris\",\n  \"country\": \"France\"\n}", "repair_json_comma_behavior"},
      {"members on their own lines without commas",
       "{\n  \"user\": \"ada\"\n  \"roles\": [\"admin\" \"dev\"]\n  \"age\": 36\n  \"active\": true\n}",
       "{\n  \"user\": \"ada\",\n  \"roles\": [\n    \"admin\", \"dev\"\n  ],\n  \"age\": 36,\n  \"active\": true\n}",
       "repair_json_missing_commas_in_list"},
      {"buffer padded with NUL bytes", "{\"id\": 1, \"ok\": true}\0\0\0\0"s,
       "{\n  \"id\": 1,\n  \"ok\": true\n}", "repair_json_control_characters"},
      {"terminal escapes between tokens", "{\"a\":\x01 1, \"b\":\x1B 2}",
       "{\n  \"a\": 1,\n  \"b\": 2\n}", "repair_json_control_characters"},
      {"doubled and stray quotes",
       R"([{"name"": "Ann", "quote": "she said "hello" twice"}, {"name": "Bo""}])",
       "  [\n    {\n      \"name\": \"Ann\",\n      \"quote\"?: \"she said hello twice\"\n    },\n"
       "  ...  // 2 items\n  ]",
       "repair_json_remove_duplicate_quotes"},
      {"object cut inside a nested object", R"({"user": {"id": 7, "name": "Kim)",
       "{\n  \"user\": {\n    \"id\": 7,\n    \"name\": \"Kim\"\n  }\n}", ""},
  };
  for (const BrokenDocument& c : cases) {
    SCOPED_TRACE(c.what);
    CapturingSink sink(context);
    auto outline = analyze_text(context, c.input, true);
    ASSERT_TRUE(outline.has_value()) << outline.error().display_text();
    EXPECT_EQ(outline.value(), c.outline);
    EXPECT_EQ(last_pass_event(sink), c.repaired_by.empty() ? "" : "json_repair::" + c.repaired_by);
  }
}

TEST(AnalyzeBrokenDocuments, TypeWordsForARepairedDocument) {
  auto outline = analyze_text(R"({"ok": tr)", false);
  ASSERT_TRUE(outline.has_value());
  EXPECT_EQ(outline.value(), "{\n  \"ok\": bool\n}");
}

TEST(AnalyzeBrokenDocuments, ReportsTheFailureWhenNothingRepairs) {
  auto outline = analyze_text(R"({"msg": "don\'t", "n": 1 2})", true);
  ASSERT_FALSE(outline.has_value());
  EXPECT_EQ(outline.error().display_text(), "AllAttemptedRepairsFailed");
}

}  // namespace
}  // namespace plomet::testing
