#include "pass_cases.h"

namespace plomet::testing {
namespace {

constexpr const char* kRepaired = "Repaired mismatched or unbalanced brackets.";

TEST(RepairJsonMismatchedBrackets, ReplacesDropsAndAppendsClosersInNestingOrder) {
  const PassCase cases[] = {
      {R"({"a": [1, 2})", R"({"a": [1, 2]})", kRepaired},
      {R"([{"a": 1])", R"([{"a": 1}])", kRepaired},
      {"[1]]", "[1]", kRepaired},
      {"}[1]", "[1]", kRepaired},
      {"[[1]", "[[1]]", kRepaired},
      {R"([{"a": [1)", R"([{"a": [1]}])", kRepaired},
      {R"(["a\\", [1}])", R"(["a\\", [1]])", kRepaired},
      // A string left open stays open; the closers follow it.
      {R"(["abc)", R"(["abc])", kRepaired},
      {R"({"a": "]"})", R"({"a": "]"})", std::nullopt},
      {R"({"a": "x\"]"})", R"({"a": "x\"]"})", std::nullopt},
      {R"(\"[")", R"(\"[")", std::nullopt},  // a backslash outside strings is ordinary
      {R"({"a": [1, {"b": 2}]})", R"({"a": [1, {"b": 2}]})", std::nullopt},
  };
  expect_pass_cases(repair_json_mismatched_brackets, "repair_json_mismatched_brackets", cases);
}

}  // namespace
}  // namespace plomet::testing
