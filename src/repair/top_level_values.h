// A text read as one document that holds more values after its first, such
// as JSON Lines read without --lines: repair keeps the first value alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plomet {

struct MoreValues {
  // The values after the first.
  std::uint64_t count;
  // The offset of the second value's first byte.
  std::size_t second_at;
};

// The values at the top level of text after the first, as the loose
// tokenizer cuts it: a bracket opens a value that its closer ends, and a
// scalar outside brackets is one. Nothing when there is one value or none.
std::optional<MoreValues> values_after_the_first(std::string_view text);

}  // namespace plomet
