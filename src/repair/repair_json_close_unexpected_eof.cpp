// Closes a text cut off at the end by counting: a string still open gets
// its quote, then every `[` still open gets a `]` and after them every `{`
// still open a `}`, whatever the nesting was.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_close_unexpected_eof(Context& context, std::string_view text) {
  repair::DoubleQuotedStrings strings;  // escapes count inside strings only
  repair::BracketCounts counts;         // closes by count, not by nesting
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    char32_t c = cursor.next();
    if (strings.structural(c)) counts.count(c);
  }

  repair::ClosedAtEnd closed = repair::close_string_and_brackets(context, text, strings.in_string(), counts);
  if (closed.changed()) PLOMET_REPAIR_EVENT(context, "repair_json_close_unexpected_eof", closed.added_at_end_message());
  return std::move(closed.text);
}

}  // namespace plomet
