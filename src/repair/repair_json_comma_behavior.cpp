// Fixes commas around double-quoted strings: removes a comma typed as the
// last character inside a string, and puts a comma between two strings that
// follow each other with nothing between them.
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

constexpr std::string_view kRemovedTrailingComma = "Removed trailing comma inside a string";
constexpr std::string_view kInsertedComma = "Inserted comma between adjacent strings";

}  // namespace

PassResult repair_json_comma_behavior(std::string_view text) {
  std::string out = repair::take_text_buffer(text.size());
  repair::ChangeLog changes;
  bool in_string = false;
  // The characters of the open string are copied unchanged, so the string
  // buffer is the input from here up to the current character.
  std::size_t string_start = 0;
  char32_t previous = scan::kEndOfText;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    std::size_t position = cursor.position();
    auto [c, bytes] = cursor.take();
    // Only a `"` that does not follow a backslash delimits a string.
    bool delimiter = c == '"' && previous != '\\';
    previous = c;
    if (!in_string) {
      out.append(bytes);
      if (delimiter) {
        in_string = true;
        string_start = cursor.position();
      }
      continue;
    }
    if (!delimiter) continue;

    std::string_view content = text.substr(string_start, position - string_start);
    if (!content.empty() && content.back() == ',') {
      content.remove_suffix(1);
      changes.record(kRemovedTrailingComma);
    }
    out.append(content);
    out.push_back('"');
    // Each look-ahead starts right after a closing quote and stops at the
    // first character that is not whitespace, so the scan stays linear.
    if (cursor.peek_past_whitespace() == '"') {
      out.push_back(',');
      changes.record(kInsertedComma);
    }
    in_string = false;
  }
  // Input that ends inside a string keeps the characters of that string; the
  // driver's normalisation closes it.
  if (in_string) out.append(text.substr(string_start));

  if (!changes.empty()) {
    PLOMET_REPAIR_EVENT("repair_json_comma_behavior",
                        "Repaired JSON by making the following changes: " + changes.joined("; "));
  }
  return out;
}

}  // namespace plomet
