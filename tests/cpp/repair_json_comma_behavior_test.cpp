#include "pass_cases.h"

namespace plomet::testing {
namespace {

const std::string kPrefix = "Repaired JSON by making the following changes: ";
const std::string kRemoved = "Removed trailing comma inside a string";
const std::string kInserted = "Inserted comma between adjacent strings";

TEST(RepairJsonCommaBehavior, RemovesTrailingCommasInStringsAndSeparatesAdjacentStrings) {
  const PassCase cases[] = {
      {R"({"a": "x,"})", R"({"a": "x"})", kPrefix + kRemoved},
      {R"({"a": "x,,"})", R"({"a": "x,"})", kPrefix + kRemoved},
      {"[\"\xC3\xA9,\"]", "[\"\xC3\xA9\"]", kPrefix + kRemoved},
      {R"(["a" "b" "c"])", R"(["a", "b", "c"])", kPrefix + kInserted + "; " + kInserted},
      {"[\"a\"\n\t\"b\"]", "[\"a\",\n\t\"b\"]", kPrefix + kInserted},
      {R"(["x," "y"])", R"(["x", "y"])", kPrefix + kRemoved + "; " + kInserted},
      {R"(["x" "y," "z,"])", R"(["x", "y", "z"])",
       kPrefix + kInserted + "; " + kRemoved + "; " + kInserted + "; " + kRemoved},
      // A string still open at the end keeps its characters.
      {R"(["a" "b, c)", R"(["a", "b, c)", kPrefix + kInserted},
      {R"(["a" ,"b"])", R"(["a" ,"b"])", std::nullopt},
      {R"({"a": "x, "})", R"({"a": "x, "})", std::nullopt},
      {R"("a\"b")", R"("a\"b")", std::nullopt},
      {R"(["a\"" "b"])", R"(["a\"", "b"])", kPrefix + kInserted},
      {"[1, 2]", "[1, 2]", std::nullopt},
  };
  expect_pass_cases(repair_json_comma_behavior, "repair_json_comma_behavior", cases);
}

}  // namespace
}  // namespace plomet::testing
