#include "pass_cases.h"

namespace plomet::testing {
namespace {

std::string inserted(int count) { return "repaired " + std::to_string(count) + " missing comma(s) inside of a list"; }

TEST(RepairJsonMissingCommasInList, InsertsCommasBetweenAdjacentValuesAndDropsWhitespace) {
  const PassCase cases[] = {
      {"[1 2 3]", "[1,2,3]", inserted(2)},
      {R"({"a": 1 "b": 2})", R"({"a":1,"b":2})", inserted(1)},
      {R"(["x" "y"])", R"(["x","y"])", inserted(1)},
      {"[[1] [2]]", "[[1],[2]]", inserted(1)},
      {R"({"a":{"b":1}"c":2})", R"({"a":{"b":1},"c":2})", inserted(1)},
      {"[true false null]", "[true,false,null]", inserted(2)},
      {"[1.5e+3 -2]", "[1.5e+3,-2]", inserted(1)},
      {"[1 -2]", "[1,-2]", inserted(1)},
      {"[1-2]", "[1-2]", std::nullopt},
      {"[abc123]", "[abc,123]", inserted(1)},
      {"[\xC3\xA9t\xC3\xA9 1]", "[\xC3\xA9t\xC3\xA9,1]", inserted(1)},
      {R"({"a" 1})", R"({"a",1})", inserted(1)},
      {R"(["a\" b" 1])", R"(["a\" b",1])", inserted(1)},
      // `+` and `.` are written without touching after-value.
      {"[+1 .5]", "[+1.,5]", inserted(1)},
      {"[1\xC2\xA0\xE2\x80\xA8" "2]", "[1,2]", inserted(1)},
      {R"({"k": "a b"})", R"({"k":"a b"})", std::nullopt},
      {"[\"a b", "[\"a b", std::nullopt},
      {"[1,2]", "[1,2]", std::nullopt},
  };
  expect_pass_cases(repair_json_missing_commas_in_list, "repair_json_missing_commas_in_list", cases);
}

}  // namespace
}  // namespace plomet::testing
