// Long texts for the tests: a unit repeated.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plomet::testing {

// prefix, then count copies of unit, then suffix.
inline std::string repeated(std::string_view unit, std::size_t count, std::string_view prefix = {},
                            std::string_view suffix = {}) {
  std::string text;
  text.reserve(prefix.size() + unit.size() * count + suffix.size());
  text.append(prefix);
  for (std::size_t i = 0; i < count; ++i) text.append(unit);
  text.append(suffix);
  return text;
}

}  // namespace plomet::testing
