#include <gtest/gtest.h>

#include <string>

#include "pass_cases.h"
#include "repair/pass_toolkit.h"

namespace plomet::testing {
namespace {

std::string added(std::string_view appended) { return std::string(repair::kAddedAtEndMessage) + std::string(appended); }

TEST(CloseUnexpectedEofInArrayItem, ClosesByCounting) {
  const PassCase cases[] = {
      {R"({"a": [1, 2)", R"({"a": [1, 2]})", added("]}")},
      {R"({"a": "x)", R"({"a": "x"})", added("\"}")},
      {R"({"a": "[["})", R"({"a": "[["}]])", added("]]")},
      {R"({"a": "say \"hi")", R"({"a": "say \"hi""})", added("\"}")},
      {R"([{"a": 1)", R"([{"a": 1]})", added("]}")},
      // Counts over the whole text: a closer before its opener still counts.
      {"][", "][", std::nullopt},
      {"]]][", "]]][", std::nullopt},
      {"}}[[", "}}[[]]", added("]]")},
      {"[\"\xC3\xA9", "[\"\xC3\xA9\"]", added("\"]")},
      {"[1, 2]", "[1, 2]", std::nullopt},
      {"", "", std::nullopt},
  };
  expect_pass_cases(repair_json_close_unexpected_eof_in_array_item, "repair_json_close_unexpected_eof_in_array_item",
                    cases);
}

}  // namespace
}  // namespace plomet::testing
