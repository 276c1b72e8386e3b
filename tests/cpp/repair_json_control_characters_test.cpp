#include "pass_cases.h"

namespace plomet::testing {
namespace {

TEST(RepairJsonControlCharacters, DeletesControlCharactersButTabAndLineFeed) {
  using namespace std::string_literals;
  const PassCase cases[] = {
      {"{\"a\":\x01" "1}", "{\"a\":1}", R"(Removed control characters: \u{0001})"},
      {"[1,\r\n2]", "[1,\n2]", R"(Removed control characters: \u{000D})"},
      {"[1\0\0\0]"s, "[1]", R"(Removed control characters: \u{0000}, \u{0000}, \u{0000})"},
      {"[\"\x1B[0m\x1F\"]", "[\"[0m\"]", R"(Removed control characters: \u{001B}, \u{001F})"},
      {"[\"a\tb\"]\n", "[\"a\tb\"]\n", std::nullopt},
      {"[\"\x7F\xC2\x85\"]", "[\"\x7F\xC2\x85\"]", std::nullopt},  // U+007F and U+0085 stay
  };
  expect_pass_cases(repair_json_control_characters, "repair_json_control_characters", cases);
}

}  // namespace
}  // namespace plomet::testing
