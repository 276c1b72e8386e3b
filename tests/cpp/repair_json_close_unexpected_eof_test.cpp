#include "pass_cases.h"

namespace plomet::testing {
namespace {

std::string added(std::string_view appended) {
  return "Repaired JSON by adding the following characters at the end: " + std::string(appended);
}

TEST(RepairJsonCloseUnexpectedEof, ClosesTheOpenStringThenCountedBracketsThenBraces) {
  const PassCase cases[] = {
      {R"({"a": "abc)", R"({"a": "abc"})", added(R"("})")},
      {"[1, 2", "[1, 2]", added("]")},
      {R"({"a": {"b": 1)", R"({"a": {"b": 1}})", added("}}")},
      {R"({"a": [1, {"b": 2)", R"({"a": [1, {"b": 2]}})", added("]}}")},
      {R"({"k": "a\")", R"({"k": "a\""})", added(R"("})")},
      {"]]{", "]]{}", added("}")},
      {"['[", "['[]]", added("]]")},  // single quotes are ordinary characters
      {R"({"k": "[{"})", R"({"k": "[{"})", std::nullopt},
      {R"({"a": [1, 2]})", R"({"a": [1, 2]})", std::nullopt},
  };
  expect_pass_cases(repair_json_close_unexpected_eof, "repair_json_close_unexpected_eof", cases);
}

}  // namespace
}  // namespace plomet::testing
