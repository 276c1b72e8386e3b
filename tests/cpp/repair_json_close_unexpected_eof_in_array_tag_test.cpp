#include <gtest/gtest.h>

#include <string>

#include "pass_cases.h"
#include "repair/pass_toolkit.h"

namespace plomet::testing {
namespace {

std::string added(std::string_view appended) { return std::string(repair::kAddedAtEndMessage) + std::string(appended); }

TEST(CloseUnexpectedEofInArrayTag, GivesALostValueNullAndCloses) {
  const PassCase cases[] = {
      {R"({"a": 1, "b")", R"({"a": 1, "b": null})", added(": null}")},
      {R"({"a": 1, "b)", R"({"a": 1, "b": null})", added("\": null}")},
      {R"({"a":)", R"({"a": null})", added(" null}")},
      {"{\"a\":   ", "{\"a\":    null}", added(" null}")},
      {R"({ "b"  )", R"({ "b"  : null})", added(": null}")},
      {R"({"a": "x")", R"({"a": "x"})", added("}")},
      {R"(["a", "b")", R"(["a", "b"])", added("]")},
      {R"([{"k": [1, 2)", R"([{"k": [1, 2]}])", added("]}]")},
      {R"([{"a": 1}, {"b")", R"([{"a": 1}, {"b": null}])", added(": null}]")},
      {R"({"a": 1])", R"({"a": 1]})", added("}")},
      // Inside an array the key test fails: the innermost container decides.
      {R"({"a": ["x", "y")", R"({"a": ["x", "y"]})", added("]}")},
      // The backward scan lets a backslash pass over the character before it.
      {R"({"a": 1, "x\"y")", R"({"a": 1, "x\"y"})", added("}")},
      {R"({"a": 1, "k\"\x")", R"({"a": 1, "k\"\x": null})", added(": null}")},
      {R"("k")", R"("k")", std::nullopt},       // the opening quote starts the text
      {R"("\)", R"("\")", added("\"")},        // the scan reaches the start
      {R"(x")", R"(x"")", added("\"")},
      {"{\"", "{\"\": null}", added("\": null}")},
      {"\"", "\"\"", added("\"")},
      {":", ": null", added(" null")},
      {R"({"a": 1})", R"({"a": 1})", std::nullopt},
      {"  ", "  ", std::nullopt},
      {"", "", std::nullopt},
  };
  expect_pass_cases(repair_json_close_unexpected_eof_in_array_tag, "repair_json_close_unexpected_eof_in_array_tag",
                    cases);
}

}  // namespace
}  // namespace plomet::testing
