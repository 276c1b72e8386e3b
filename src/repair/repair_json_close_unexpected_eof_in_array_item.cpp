// Closes a cut-off text by counting alone, blind to strings and nesting: a
// quote when the double quotes are odd, then the missing `]`, then the
// missing `}`.
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_close_unexpected_eof_in_array_item(Context& context, std::string_view text) {
  // The last resort of the chain: it trusts nothing in the text, so it
  // neither follows strings nor floors the balance of brackets.
  repair::QuoteParity strings;
  repair::BracketBalance balance;
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    const char32_t c = cursor.next();
    strings.count(c);
    balance.count(c);
  }
  repair::ClosedAtEnd closed = repair::close_string_and_brackets(context, text, strings.in_string(), balance);
  if (closed.changed()) PLOMET_REPAIR_EVENT(context, "repair_json_close_unexpected_eof_in_array_item", closed.added_at_end_message());
  return std::move(closed.text);
}

}  // namespace plomet
