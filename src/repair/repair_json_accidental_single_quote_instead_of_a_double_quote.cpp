// Mends a string that meets the other kind of quote inside it: where the
// string should end, that quote becomes the opening quote and closes it;
// elsewhere it is escaped.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

bool is_quote(char32_t c) { return c == '"' || c == '\''; }

}  // namespace

PassResult repair_json_accidental_single_quote_instead_of_a_double_quote(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  repair::EscapeTracker escapes;  // applies inside and outside strings
  bool in_string = false;
  char opening_quote = 0;
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    // Every other character is copied and ends any escape.
    if (std::string_view run = cursor.take_run_until<'"', '\'', '\\'>(); !run.empty()) {
      escapes.take_ordinary();
      continue;
    }
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (escapes.take(c) || !is_quote(c)) continue;
    if (!in_string) {
      in_string = true;
      opening_quote = static_cast<char>(c);
      continue;
    }
    if (c == static_cast<char32_t>(opening_quote)) {
      in_string = false;
      continue;
    }
    // The other kind of quote. Each look-ahead starts right after a quote and
    // stops at the first character that is not whitespace, so no whitespace
    // run is skipped twice and the scan stays linear.
    char32_t next = cursor.peek_past_whitespace();
    if (next == ',' || next == ']' || next == '}' || next == scan::kEndOfText) {
      out.replace(at, 1, std::string_view(&opening_quote, 1));
      in_string = false;
    } else {
      const char escaped[] = {'\\', static_cast<char>(c)};
      out.replace(at, 1, std::string_view(escaped, 2));
    }
    changed = true;
  }

  if (changed) {
    PLOMET_REPAIR_EVENT(context, "repair_json_accidental_single_quote_instead_of_a_double_quote",
                        "Fixed accidental single quotes in JSON strings.");
  }
  return out.finish();
}

}  // namespace plomet
