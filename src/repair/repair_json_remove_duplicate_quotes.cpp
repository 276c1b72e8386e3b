// Removes stray double quotes from strings: a run of quotes where a string
// closes collapses to one, and a quote inside a string that is not followed
// by something that may follow a closed string is dropped.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

bool may_follow_closed_string(char32_t c) {
  return c == ',' || c == ':' || c == ']' || c == '}' || c == scan::kEndOfText;
}

}  // namespace

PassResult repair_json_remove_duplicate_quotes(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  // A backslash escapes anywhere, so an escaped quote outside a string does
  // not open one.
  repair::EscapeTracker escapes;
  bool in_string = false;
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (escapes.take(c) || c != '"') continue;
    if (!in_string) {
      in_string = true;
      continue;
    }
    // A candidate closing quote: the run of quotes after it is consumed and
    // none of it is copied.
    while (cursor.peek() == '"') cursor.advance();
    const std::size_t run_end = cursor.position();
    changed |= run_end > at + 1;
    // The look-ahead starts after the run and stops at the first character
    // that is not whitespace; the next look-ahead starts after another quote,
    // so no whitespace run is skipped twice and the scan stays linear.
    if (may_follow_closed_string(cursor.peek_past_whitespace())) {
      out.replace(at + 1, run_end - at - 1);
      in_string = false;
    } else {
      out.replace(at, run_end - at);
      changed = true;
    }
    // The character after the run is handled next, from the top.
  }

  if (changed) {
    PLOMET_REPAIR_EVENT(context, "repair_json_remove_duplicate_quotes", "Removed duplicate or invalid quotes in JSON.");
  }
  return out.finish();
}

}  // namespace plomet
