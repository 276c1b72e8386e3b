// Closes strings whose closing quote is missing (at a line break, at a
// `,` `]` `}` met inside the string, or at the end of the text) and balances
// the brackets outside strings.
#include <string>

#include "reader/diagnostics.h"
#include "reader/repair_passes.h"
#include "reader/repair_support.h"
#include "reader/text_scan.h"

namespace plomet {
namespace {

// Replaces every ", " with "," in place, left to right and without overlap,
// across the whole text (strings included).
void squeeze_comma_space(std::string& text) {
  std::size_t write = 0;
  for (std::size_t read = 0; read < text.size(); ++read) {
    text[write++] = text[read];
    if (text[read] == ',' && read + 1 < text.size() && text[read + 1] == ' ') ++read;
  }
  text.resize(write);
}

// Characters outside these sets are copied as they are, inside and outside
// strings.
constexpr scan::ByteSet kActedOnInString = scan::byte_set("\\\n\r\",]}");
constexpr scan::ByteSet kActedOnOutside = scan::byte_set("\"[]{}");

}  // namespace

PassResult repair_json_missing_closing_quotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  repair::OpenBrackets open_brackets;
  bool in_string = false;
  bool escape_pending = false;
  bool ends_with_backslash = false;  // the last character written in the string is `\`
  bool line_break_close = false;     // a string was last closed at a line break
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (!escape_pending) {
      if (std::string_view run = cursor.take_run(in_string ? kActedOnInString : kActedOnOutside); !run.empty()) {
        out.append(run);
        if (in_string) ends_with_backslash = false;
        continue;
      }
    }
    auto [c, bytes] = cursor.take();
    if (escape_pending) {
      out.append(bytes);
      escape_pending = false;
      ends_with_backslash = c == '\\';
      continue;
    }
    if (in_string) {
      if (c == '\\') {
        out.push_back('\\');
        escape_pending = true;
        ends_with_backslash = true;
        continue;
      }
      ends_with_backslash = false;
      if (c == '\n' || c == '\r') {
        out.push_back('"');
        out.append(bytes);
        in_string = false;
        changed = true;
        line_break_close = true;
        continue;
      }
      if (c == '"') {
        out.push_back('"');
        in_string = false;
        continue;
      }
      if (c != ',' && !repair::is_closer(c)) {
        out.append(bytes);
        continue;
      }
      // A `,` `]` or `}` ends the unterminated string and is then handled
      // again outside it.
      out.push_back('"');
      in_string = false;
      changed = true;
    }
    if (c == '"') {
      if (line_break_close) {
        // The late closing quote of the string closed at the line break.
        line_break_close = false;
      } else {
        in_string = true;
        ends_with_backslash = false;
      }
      out.push_back('"');
    } else if (repair::is_opener(c)) {
      open_brackets.push(c);
      out.push_back(static_cast<char>(c));
    } else if (repair::is_closer(c)) {
      changed |= open_brackets.write_balanced_closer(c, out);
    } else {
      out.append(bytes);
    }
  }

  if (in_string) {
    if (ends_with_backslash) {
      out.pop_back();
      out.append("\\\"\\\"");
    } else {
      out.push_back('"');
    }
    changed = true;
  }
  changed |= open_brackets.close_all(out);

  if (!changed) return std::string(text);
  squeeze_comma_space(out);
  PLOMET_REPAIR_EVENT("repair_json_missing_closing_quotes", "Repaired missing closing quotes.");
  return out;
}

}  // namespace plomet
