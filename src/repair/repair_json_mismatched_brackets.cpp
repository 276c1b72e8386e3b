// Balances the brackets outside strings: a closer of the wrong kind is
// replaced by the right one, a closer with nothing open is dropped, and the
// closers still missing at the end are appended in nesting order.
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_mismatched_brackets(std::string_view text) {
  std::string out = repair::take_text_buffer(text.size());
  repair::DoubleQuotedStrings strings;
  repair::OpenBrackets open_brackets;
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    auto [c, bytes] = cursor.take();
    bool structural = strings.structural(c);
    if (structural && repair::is_closer(c)) {
      changed |= open_brackets.write_balanced_closer(c, out);
      continue;
    }
    if (structural && repair::is_opener(c)) open_brackets.push(c);
    out.append(bytes);
  }
  // A string still open stays open; the driver's normalisation closes it.
  changed |= open_brackets.close_all(out);

  if (changed) {
    PLOMET_REPAIR_EVENT("repair_json_mismatched_brackets", "Repaired mismatched or unbalanced brackets.");
  }
  return out;
}

}  // namespace plomet
