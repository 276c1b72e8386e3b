// Balances the brackets outside strings: a closer of the wrong kind is
// replaced by the right one, a closer with nothing open is dropped, and the
// closers still missing at the end are appended in nesting order.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_mismatched_brackets(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  repair::DoubleQuotedStrings strings;  // escapes count inside strings only
  repair::OpenBrackets open_brackets;   // wrong closers are replaced, extra ones dropped
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (!strings.structural(c)) continue;
    if (repair::is_closer(c)) {
      changed |= open_brackets.balance_closer_at(at, c, out);
    } else if (repair::is_opener(c)) {
      open_brackets.push(c);
    }
  }
  // A string still open stays open; the driver's normalisation closes it.
  changed |= open_brackets.append_closers(out.written_to(text.size()));

  if (changed) {
    PLOMET_REPAIR_EVENT(context, "repair_json_mismatched_brackets", "Repaired mismatched or unbalanced brackets.");
  }
  return out.finish();
}

}  // namespace plomet
