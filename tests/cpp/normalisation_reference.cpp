#include "normalisation_reference.h"

#include "repair/pass_toolkit.h"
#include "text/number_text.h"
#include "text/text_scan.h"

namespace plomet::testing {
namespace {

using scan::Utf8Cursor;

// Drops every comma followed, after whitespace, by `]`, `}` or the end.
void drop_trailing_commas(std::string& fixed) {
  std::string kept;
  for (std::size_t pos = 0; pos < fixed.size(); ++pos) {
    if (fixed[pos] == ',') {
      const char32_t next = Utf8Cursor(fixed, pos + 1).peek_past_whitespace();
      if (next == ']' || next == '}' || next == scan::kEndOfText) continue;
    }
    kept.push_back(fixed[pos]);
  }
  fixed = std::move(kept);
}

// The last character of a run that is not whitespace, or kEndOfText.
char32_t last_significant_in(std::string_view run) {
  return scan::last_char(scan::trim_trailing_whitespace(run));
}

bool ends_outside_run(char c) {
  return c == '"' || c == '\'' || c == ',' || c == ':' || c == '[' || c == ']' || c == '{' || c == '}' ||
         (c >= '0' && c <= '9');
}

bool ends_string_run(char c) { return c == '"' || c == '\'' || c == '\\' || c == '\n' || c == '\r'; }

}  // namespace

std::optional<std::string> normalize_json_text_reference(std::string_view text) {
  std::string out;
  std::vector<char> open;
  bool in_string = false;
  char32_t last_significant = scan::kEndOfText;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (!in_string) {
      while (pos < text.size() && scan::is_blank_byte(text[pos])) out.push_back(text[pos++]);
    }
    const std::size_t run_start = pos;
    while (pos < text.size() && !(in_string ? ends_string_run(text[pos]) : ends_outside_run(text[pos]))) ++pos;
    const std::string_view run = text.substr(run_start, pos - run_start);
    out.append(run);
    if (const char32_t last = last_significant_in(run); last != scan::kEndOfText) last_significant = last;
    if (pos == text.size()) break;
    const char c = text[pos++];
    if (in_string) {
      if (c == '\\') {
        out.push_back(c);
        last_significant = '\\';
        if (pos < text.size()) {
          const std::size_t length = scan::decode_at(text, pos).length;
          out.append(text.substr(pos, length));
          pos += length;
        }
      } else if (c == '"' || c == '\'') {
        out.push_back('"');
        in_string = false;
        last_significant = '"';
      } else {
        out.push_back('"');
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"':
      case '\'':
        out.push_back('"');
        in_string = true;
        last_significant = static_cast<unsigned char>(c);
        break;
      case ',':
      case ':':
        out.push_back(c);
        last_significant = static_cast<unsigned char>(c);
        break;
      case '[':
      case '{':
        out.push_back(c);
        open.push_back(c);
        last_significant = static_cast<unsigned char>(c);
        break;
      case ']':
      case '}':
        if (open.empty() || open.back() != (c == ']' ? '[' : '{')) return std::nullopt;
        open.pop_back();
        out.push_back(c);
        last_significant = static_cast<unsigned char>(c);
        break;
      default:
        if (last_significant == '"' || last_significant == ']' || last_significant == '}') out.push_back(',');
        out.push_back(c);
        while (pos < text.size() && number_text::continues_number_run(static_cast<unsigned char>(text[pos]))) {
          out.push_back(text[pos++]);
        }
        last_significant = static_cast<unsigned char>(text[pos - 1]);
        break;
    }
  }
  if (in_string) out.push_back('"');
  drop_trailing_commas(out);
  while (!open.empty()) {
    out.push_back(open.back() == '[' ? ']' : '}');
    open.pop_back();
  }
  return out;
}

}  // namespace plomet::testing
