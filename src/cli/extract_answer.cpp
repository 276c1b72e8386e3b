#include "cli/extract_answer.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace plomet::cli {

namespace {

struct Fence {
  char mark;              // '`' or '~'
  std::size_t length;     // three or more
  std::string_view info;  // the info string's first word
};

bool names_json(std::string_view info) {
  std::string lower(info);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return lower == "json" || lower == "json5" || lower == "jsonl";
}

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
  const std::size_t info_start = std::min(line.find_first_not_of(" \t", at), line.size());
  const std::size_t info_end = std::min(line.find_first_of(" \t\r{", info_start), line.size());
  return Fence{mark, at - start, line.substr(info_start, info_end - info_start)};
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

// The first block marked as JSON, else the first block.
std::optional<Extraction> fenced_block(std::string_view answer) {
  std::optional<Extraction> first;
  std::size_t line_number = 1;
  for (std::size_t offset = 0; offset < answer.size(); ++line_number) {
    const std::string_view line = line_at(answer, offset);
    offset = std::min(offset + line.size() + 1, answer.size());
    const std::optional<Fence> fence = fence_of(line);
    if (!fence) continue;
    std::string description = "took the fenced block opened on line " + std::to_string(line_number);
    if (names_json(fence->info)) description += ", marked " + std::string(fence->info);
    std::optional<Extraction> block;
    for (std::size_t at = offset; at < answer.size(); at += line_at(answer, at).size() + 1, ++line_number) {
      if (closes(line_at(answer, at), *fence)) {
        block = Extraction{answer.substr(offset, at - offset), description};
        offset = std::min(at + line_at(answer, at).size() + 1, answer.size());
        ++line_number;
        break;
      }
    }
    const bool closed = block.has_value();
    if (!closed) block = Extraction{answer.substr(offset), description + ", never closed: to the end"};
    if (names_json(fence->info)) return block;
    if (!first) first = std::move(block);
    // A block never closed runs to the end: no block follows it.
    if (!closed) break;
  }
  return first;
}

}  // namespace

std::optional<Extraction> extract_answer(std::string_view answer) {
  if (std::optional<Extraction> block = fenced_block(answer)) return block;
  const std::size_t start = answer.find_first_of("{[");
  if (start == std::string_view::npos) return std::nullopt;
  return Extraction{answer.substr(start),
                    "dropped the " + std::to_string(start) + " bytes before the first '" + answer[start] + "'"};
}

}  // namespace plomet::cli
