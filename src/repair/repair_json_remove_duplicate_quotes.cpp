// Removes stray double quotes from strings: a run of quotes where a string
// closes collapses to one, and a quote inside a string that is not followed
// by something that may follow a closed string is dropped.
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

bool may_follow_closed_string(char32_t c) {
  return c == ',' || c == ':' || c == ']' || c == '}' || c == scan::kEndOfText;
}

}  // namespace

PassResult repair_json_remove_duplicate_quotes(std::string_view text) {
  std::string out = repair::take_text_buffer(text.size());
  repair::EscapeTracker escapes;  // applies inside and outside strings
  bool in_string = false;
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    auto [c, bytes] = cursor.take();
    if (escapes.take(c) || c != '"') {
      out.append(bytes);
      continue;
    }
    if (!in_string) {
      out.push_back('"');
      in_string = true;
      continue;
    }
    // A candidate closing quote: the run of quotes after it is consumed and
    // none of it is copied.
    bool run = false;
    while (cursor.peek() == '"') {
      cursor.advance();
      run = true;
    }
    changed |= run;
    // The look-ahead starts after the run and stops at the first character
    // that is not whitespace; the next look-ahead starts after another quote,
    // so no whitespace run is skipped twice and the scan stays linear.
    if (may_follow_closed_string(cursor.peek_past_whitespace())) {
      out.push_back('"');
      in_string = false;
    } else {
      changed = true;
    }
    // The character after the run is handled next, from the top.
  }

  if (changed) {
    PLOMET_REPAIR_EVENT("repair_json_remove_duplicate_quotes", "Removed duplicate or invalid quotes in JSON.");
  }
  return out;
}

}  // namespace plomet
