// Normalisation written the slow way, token by token, as it first was: the
// reference that normalize_json_text is checked against.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plomet::testing {

std::optional<std::string> normalize_json_text_reference(std::string_view text);

}  // namespace plomet::testing
