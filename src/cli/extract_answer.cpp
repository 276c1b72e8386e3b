#include "cli/extract_answer.h"

#include <algorithm>
#include <optional>

namespace plomet::cli {

namespace {

struct Fence {
  char mark;           // '`' or '~'
  std::size_t length;  // three or more
};

// The fence a line opens or closes, if it is a fence line.
std::optional<Fence> fence_of(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && at < 3 && line[at] == ' ') ++at;
  if (at == line.size() || (line[at] != '`' && line[at] != '~')) return std::nullopt;
  const char mark = line[at];
  const std::size_t start = at;
  while (at < line.size() && line[at] == mark) ++at;
  if (at - start < 3) return std::nullopt;
  // A backtick fence's info string holds no backtick.
  if (mark == '`' && line.find('`', at) != std::string_view::npos) return std::nullopt;
  return Fence{mark, at - start};
}

bool closes(std::string_view line, const Fence& open) {
  std::optional<Fence> fence = fence_of(line);
  if (!fence || fence->mark != open.mark || fence->length < open.length) return false;
  return line.find_first_not_of(" \t\r", line.find_last_of(open.mark) + 1) == std::string_view::npos;
}

// The line starting at offset, without its line feed.
std::string_view line_at(std::string_view text, std::size_t offset) {
  std::size_t end = text.find('\n', offset);
  return text.substr(offset, (end == std::string_view::npos ? text.size() : end) - offset);
}

std::optional<Extraction> fenced_block(std::string_view answer) {
  std::size_t line_number = 1;
  for (std::size_t offset = 0; offset < answer.size(); ++line_number) {
    const std::string_view line = line_at(answer, offset);
    offset = std::min(offset + line.size() + 1, answer.size());
    const std::optional<Fence> fence = fence_of(line);
    if (!fence) continue;
    const std::string opened = "took the fenced block opened on line " + std::to_string(line_number);
    for (std::size_t at = offset; at < answer.size(); at += line_at(answer, at).size() + 1) {
      if (closes(line_at(answer, at), *fence)) return Extraction{answer.substr(offset, at - offset), opened};
    }
    return Extraction{answer.substr(offset), opened + ", never closed: to the end"};
  }
  return std::nullopt;
}

}  // namespace

Extraction extract_answer(std::string_view answer) {
  if (std::optional<Extraction> block = fenced_block(answer)) return std::move(*block);
  const std::size_t start = answer.find_first_of("{[");
  if (start == std::string_view::npos) return {answer, "found no fenced block and no '{' or '[': took the whole text"};
  return {answer.substr(start),
          "dropped the " + std::to_string(start) + " bytes before the first '" + answer[start] + "'"};
}

}  // namespace plomet::cli
