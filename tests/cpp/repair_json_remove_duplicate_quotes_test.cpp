#include "pass_cases.h"

namespace plomet::testing {
namespace {

constexpr const char* kRemoved = "Removed duplicate or invalid quotes in JSON.";

TEST(RepairJsonRemoveDuplicateQuotes, CollapsesClosingRunsAndDropsInvalidQuotes) {
  const PassCase cases[] = {
      {R"({"a": "x""})", R"({"a": "x"})", kRemoved},
      {R"({"a": "x"""  , "b": 1})", R"({"a": "x"  , "b": 1})", kRemoved},
      {R"({"name"": 1})", R"({"name": 1})", kRemoved},
      {R"({"a": "say "hi" now"})", R"({"a": "say hi now"})", kRemoved},
      {R"("abc"")", R"("abc")", kRemoved},
      {R"("ab""cd")", R"("abcd")", kRemoved},
      {"[\"a\"\xE3\x80\x80]", "[\"a\"\xE3\x80\x80]", std::nullopt},
      {R"({"a": "x" , "b": 1})", R"({"a": "x" , "b": 1})", std::nullopt},
      {R"("a\"b")", R"("a\"b")", std::nullopt},
      {R"(["", ""])", R"(["", ""])", std::nullopt},
      {R"("abc"   )", R"("abc"   )", std::nullopt},
      // An unclosed string stays open.
      {R"(["abc)", R"(["abc)", std::nullopt},
      {R"({"a": [1, "b"], "c": {"d": "e"}})", R"({"a": [1, "b"], "c": {"d": "e"}})", std::nullopt},
  };
  expect_pass_cases(repair_json_remove_duplicate_quotes, "repair_json_remove_duplicate_quotes", cases);
}

}  // namespace
}  // namespace plomet::testing
