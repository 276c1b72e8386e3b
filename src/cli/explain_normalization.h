// --explain: what the fix-ups before reading (normalize_and_read) changed.
#pragma once

#include <string>
#include <string_view>

namespace plomet::cli {

// The changes that turned original into fixed, in words: strings closed,
// quotes replaced, commas inserted or dropped, brackets closed. The fix-ups
// replace, insert or drop single characters and append at the end, so one
// walk over both texts finds them.
std::string describe_normalization(std::string_view original, std::string_view fixed);

}  // namespace plomet::cli
