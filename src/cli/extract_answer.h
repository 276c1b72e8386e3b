// --extract: the JSON inside a language model's answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plomet::cli {

struct Extraction {
  std::string_view text;
  // What was taken, for --explain.
  std::string description;
};

// A markdown fenced block when the answer holds one: from the line after an
// opening fence (three or more backticks or tildes, after at most three
// spaces, with an optional info string such as "json") up to the closing
// fence of the same character and at least the same length, or to the end
// of the answer when the fence is never closed. The first block whose info
// string is json, json5 or jsonl is taken, else the first block. Without a
// block, the answer from its first '{' or '[' on; without one, nothing: the
// answer holds no JSON.
std::optional<Extraction> extract_answer(std::string_view answer);

}  // namespace plomet::cli
