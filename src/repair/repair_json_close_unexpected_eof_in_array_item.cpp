// Closes a cut-off text by counting alone, blind to strings and nesting: a
// quote when the double quotes are odd, then the missing `]`, then the
// missing `}`.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {

PassResult repair_json_close_unexpected_eof_in_array_item(std::string_view text) {
  std::int64_t quotes = 0;
  std::int64_t open_brackets = 0;  // `[` less `]`
  std::int64_t open_braces = 0;    // `{` less `}`
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    switch (cursor.next()) {
      case '"': ++quotes; break;
      case '[': ++open_brackets; break;
      case ']': --open_brackets; break;
      case '{': ++open_braces; break;
      case '}': --open_braces; break;
      default: break;
    }
  }
  std::string out = repair::take_text_buffer(text.size() + 16);
  out.append(text);
  if (quotes % 2 != 0) out.push_back('"');
  if (open_brackets > 0) out.append(static_cast<std::size_t>(open_brackets), ']');
  if (open_braces > 0) out.append(static_cast<std::size_t>(open_braces), '}');
  if (out.size() != text.size()) {
    PLOMET_REPAIR_EVENT("repair_json_close_unexpected_eof_in_array_item",
                        repair::added_at_end_message(std::string_view(out).substr(text.size())));
  }
  return out;
}

}  // namespace plomet
