// Closes a text cut off inside nested arrays and objects: a stack of the
// brackets still open closes them innermost first, after the open string.
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_handle_eof_between_lists(Context& context, std::string_view text) {
  // Quotes toggle a string and a backslash escapes anywhere, so an escaped
  // quote outside a string does not open one.
  repair::EscapeTracker escapes;
  repair::OpenBrackets open_brackets;  // any closer closes the innermost bracket
  bool in_string = false;
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    char32_t c = cursor.next();
    if (escapes.take(c)) continue;
    if (c == '"') {
      in_string = !in_string;
    } else if (in_string) {
      continue;
    } else if (repair::is_opener(c)) {
      open_brackets.push(c);
    } else if (repair::is_closer(c) && !open_brackets.empty()) {
      // Closes whatever is open: a `]` may close a `{`.
      open_brackets.pop_closer();
    }
  }
  repair::ClosedAtEnd closed = repair::close_string_and_brackets(context, text, in_string, open_brackets);
  if (closed.changed()) PLOMET_REPAIR_EVENT(context, "repair_json_handle_eof_between_lists", "Repaired EOF between lists.");
  return std::move(closed.text);
}

}  // namespace plomet
