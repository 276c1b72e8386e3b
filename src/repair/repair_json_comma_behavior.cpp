// Fixes commas around double-quoted strings: removes a comma typed as the
// last character inside a string, and puts a comma between two strings that
// follow each other with nothing between them.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

constexpr std::string_view kRemovedTrailingComma = "Removed trailing comma inside a string";
constexpr std::string_view kInsertedComma = "Inserted comma between adjacent strings";

}  // namespace

PassResult repair_json_comma_behavior(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  repair::ChangeLog changes;
  // Only the character before a quote decides whether it delimits: this pass
  // reads strings as a plain text editor would, not by the escape rule.
  repair::QuoteAfterBackslash quotes;
  bool in_string = false;
  std::size_t string_start = 0;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    const std::size_t position = cursor.position();
    if (!quotes.delimits(cursor.next())) continue;
    if (!in_string) {
      in_string = true;
      string_start = cursor.position();
      continue;
    }
    if (position > string_start && text[position - 1] == ',') {
      out.replace(position - 1, 1);
      changes.record(kRemovedTrailingComma);
    }
    // Each look-ahead starts right after a closing quote and stops at the
    // first character that is not whitespace, so the scan stays linear.
    if (cursor.peek_past_whitespace() == '"') {
      out.insert(cursor.position(), ",");
      changes.record(kInsertedComma);
    }
    in_string = false;
  }
  // Input that ends inside a string keeps the characters of that string; the
  // driver's normalisation closes it.
  Text repaired = out.finish();

  if (!changes.empty()) {
    PLOMET_REPAIR_EVENT(context, "repair_json_comma_behavior",
                        "Repaired JSON by making the following changes: " + changes.joined("; "));
  }
  return repaired;
}

}  // namespace plomet
