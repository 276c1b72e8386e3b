// Closes a text cut off inside nested arrays and objects: a stack of the
// brackets still open closes them innermost first, after the open string.
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_handle_eof_between_lists(std::string_view text) {
  repair::EscapeTracker escapes;  // applies inside and outside strings
  repair::OpenBrackets open_brackets;
  bool in_string = false;
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
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
  std::string out = repair::take_text_buffer(text.size() + 16);
  out.append(text);
  if (in_string) out.push_back('"');
  open_brackets.close_all(out);
  if (out.size() != text.size()) PLOMET_REPAIR_EVENT("repair_json_handle_eof_between_lists", "Repaired EOF between lists.");
  return out;
}

}  // namespace plomet
