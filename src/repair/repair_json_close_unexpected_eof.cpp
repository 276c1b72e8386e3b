// Closes a text cut off at the end by counting: a string still open gets
// its quote, then every `[` still open gets a `]` and after them every `{`
// still open a `}`, whatever the nesting was.
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_close_unexpected_eof(std::string_view text) {
  repair::DoubleQuotedStrings strings;
  repair::BracketCounts counts;
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    char32_t c = cursor.next();
    if (strings.structural(c)) counts.count(c);
  }

  std::string out = repair::take_text_buffer(text.size() + 8);
  out.append(text);
  if (strings.in_string()) out.push_back('"');
  counts.append_closers(out);

  std::string_view appended = std::string_view(out).substr(text.size());
  if (!appended.empty()) {
    PLOMET_REPAIR_EVENT("repair_json_close_unexpected_eof", repair::added_at_end_message(appended));
  }
  return out;
}

}  // namespace plomet
