#include "repair/top_level_values.h"

#include "repair/loose_tokenizer.h"

namespace plomet {

std::optional<MoreValues> values_after_the_first(std::string_view text) {
  LooseTokenizer tokenizer(text);
  std::uint64_t values = 0;
  std::uint64_t depth = 0;
  std::size_t second_at = 0;
  const auto value_at = [&](std::size_t at) {
    if (depth == 0 && ++values == 2) second_at = at;
  };
  while (!tokenizer.at_end()) {
    const std::size_t at = tokenizer.position();
    const LooseToken token = tokenizer.next();
    if (token.has_text()) {
      value_at(at);
    } else if (token.is_punct('[') || token.is_punct('{')) {
      value_at(at);
      ++depth;
    } else if ((token.is_punct(']') || token.is_punct('}')) && depth > 0) {
      --depth;
    }
  }
  if (values < 2) return std::nullopt;
  return MoreValues{values - 1, second_at};
}

}  // namespace plomet
