// Pieces that several repair passes share beyond plain scanning.
#pragma once

#include <string_view>

namespace plomet::repair {

// Message prefix of the passes that close a cut-off text by appending.
inline constexpr std::string_view kAddedAtEndMessage =
    "Repaired JSON by adding the following characters at the end: ";

inline char closer_for(char32_t opener) { return opener == '[' ? ']' : '}'; }

}  // namespace plomet::repair
