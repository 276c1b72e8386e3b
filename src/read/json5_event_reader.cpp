// The message of a failed JSON5 read: what the grammar expected and where.
#include "read/json5_event_reader.h"

#include <algorithm>
#include <string>
#include <utility>

namespace plomet::json5 {

std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t pos = 0; pos < offset && pos < text.size();) {
    scan::DecodedChar d = scan::decode_at(text, pos);
    pos += d.length;
    if (d.code_point == '\r' && pos < text.size() && text[pos] == '\n') continue;  // CR LF ends one line
    if (is_line_terminator(d.code_point)) {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

std::string grammar_failure_reason(std::string_view text, std::size_t at, const char* expected) {
  // Skipping stops at an unterminated block comment, so a failure there is
  // that comment's.
  return text.substr(std::min(at, text.size())).starts_with("/*") ? std::string("unterminated block comment")
                                                                  : "expected " + std::string(expected);
}

}  // namespace plomet::json5

namespace plomet {

std::string Json5ReadError::message_with_position(std::string_view text) const {
  auto [line, column] = json5::line_and_column(text, offset);
  return message + " at line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace plomet
