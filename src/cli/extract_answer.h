// --extract: the JSON inside a language model's answer.
#pragma once

#include <string>
#include <string_view>

namespace plomet::cli {

struct Extraction {
  std::string_view text;
  // What was taken, for --explain.
  std::string description;
};

// The first markdown fenced block when the answer holds one: from the line
// after an opening fence (three or more backticks or tildes, after at most
// three spaces, with an optional info string such as "json") up to the
// closing fence of the same character and at least the same length, or to
// the end of the answer when the fence is never closed. Otherwise the answer
// from its first '{' or '[' on; otherwise the whole answer.
Extraction extract_answer(std::string_view answer);

}  // namespace plomet::cli
