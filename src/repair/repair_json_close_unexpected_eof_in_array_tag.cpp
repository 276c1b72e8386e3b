// Closes a text cut off in the middle of an object member: the open string
// is closed, a member that lost its value gets null, and every open array
// and object is closed innermost first.
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

// Position of the quote that opens the string closed by the last character
// of text, scanning backward; a backslash passes over the character just
// before it. npos when the scan reaches the start.
std::size_t opening_quote_before_last(Context& context, std::string_view text) {
  std::size_t pos = text.size() - 1;
  while (pos > 0) {
    if (context.poll(1)) return std::string_view::npos;
    std::size_t start = scan::previous_char_start(text, pos);
    char32_t c = scan::decode_at(text, start).code_point;
    if (c == '"') return start;
    pos = start;
    if (c == '\\' && pos > 0) pos = scan::previous_char_start(text, pos);
  }
  return std::string_view::npos;
}

// Whether the text ends with a key that lost its value: a string whose
// opening quote follows `{` or `,` inside an object.
bool ends_with_key(Context& context, std::string_view text, bool innermost_is_object) {
  if (text.size() < 2) return false;
  std::size_t opening = opening_quote_before_last(context, text);
  if (opening == std::string_view::npos || opening == 0) return false;
  std::string_view before = scan::trim_trailing_whitespace(text.substr(0, opening));
  if (before.empty() || !innermost_is_object) return false;
  return before.back() == '{' || before.back() == ',';
}

}  // namespace

PassResult repair_json_close_unexpected_eof_in_array_tag(Context& context, std::string_view text) {
  repair::DoubleQuotedStrings strings;  // escapes count inside strings only
  repair::OpenBrackets open_brackets;   // a closer of the wrong kind closes nothing
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    char32_t c = cursor.next();
    if (!strings.structural(c)) continue;
    if (repair::is_opener(c)) {
      open_brackets.push(c);
    } else if (repair::is_closer(c)) {
      open_brackets.close_if_matching(c);
    }
  }

  repair::ClosedAtEnd closed = repair::close_at_end(context, text, [&](Text& end) {
    if (strings.in_string()) end.push_back('"');
    std::string_view significant = scan::trim_trailing_whitespace(end);
    if (!significant.empty()) {
      if (significant.back() == ':') {
        end.append(" null");
      } else if (significant.back() == '"' && ends_with_key(context, significant, open_brackets.innermost_is('{'))) {
        end.append(": null");
      }
    }
    open_brackets.append_closers(end);
  });
  if (closed.changed()) PLOMET_REPAIR_EVENT(context, "repair_json_close_unexpected_eof_in_array_tag", closed.added_at_end_message());
  return std::move(closed.text);
}

}  // namespace plomet
