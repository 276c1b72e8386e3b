#include <gtest/gtest.h>

#include "event_recorder.h"

namespace plomet::testing {
namespace {

constexpr std::string_view kEvent = "Repaired EOF between lists.";

TEST(HandleEofBetweenLists, ClosesInnermostFirst) {
  const PassCase cases[] = {
      {"[[1, 2], [3, 4", "[[1, 2], [3, 4]]", std::string(kEvent)},
      {R"({"a": [1, {"b": "x)", R"({"a": [1, {"b": "x"}]})", std::string(kEvent)},
      {R"({"a": "[{")", R"({"a": "[{"})", std::string(kEvent)},
      // The `}` pops the owed `]`; the second `[` owes a new one.
      {"[1, 2}[", "[1, 2}[]", std::string(kEvent)},
      {R"("a\"b)", R"("a\"b")", std::string(kEvent)},
      // A backslash outside strings hides the next character too.
      {R"([\"a", 1)", R"([\"a", 1"])", std::string(kEvent)},
      {R"([1, \])", R"([1, \]])", std::string(kEvent)},
      {"[1]]]", "[1]]]", std::nullopt},
      {"'[' ", "'[' ]", std::string(kEvent)},  // single quotes are ordinary
      {"[1, 2] \\", "[1, 2] \\", std::nullopt},
      {R"({"a": [1, 2]})", R"({"a": [1, 2]})", std::nullopt},
      {"", "", std::nullopt},
  };
  expect_pass_cases(repair_json_handle_eof_between_lists, "repair_json_handle_eof_between_lists", cases);
}

}  // namespace
}  // namespace plomet::testing
