// Cuts the text into rough tokens and inserts a comma wherever one value
// directly follows another, in arrays and objects alike. Whitespace outside
// strings is dropped, so the output is compact.
#include <cstdint>
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/number_text.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

// Passes over the characters that continue the current token.
template <class Continues>
void skip_while(scan::Utf8Cursor& cursor, Continues continues) {
  while (continues(cursor.peek())) cursor.advance();
}

}  // namespace

PassResult repair_json_missing_commas_in_list(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  repair::DoubleQuotedStrings strings;  // escapes count inside strings only
  bool after_value = false;  // the last token completed was a value
  std::int64_t inserted = 0;
  auto insert_comma = [&](std::size_t at) {
    if (!after_value) return;
    out.insert(at, ",");
    ++inserted;
  };

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (strings.in_string()) {
      strings.closes(c);
    } else if (scan::is_whitespace(c)) {
      out.replace(at, cursor.position() - at);
    } else if (c == '"') {
      insert_comma(at);
      after_value = true;
      strings.open();
    } else if (repair::is_opener(c)) {
      insert_comma(at);
      after_value = false;
    } else if (repair::is_closer(c)) {
      after_value = true;
    } else if (c == ',' || c == ':') {
      after_value = false;
    } else if (c == '-' || scan::is_ascii_digit(c)) {
      insert_comma(at);
      skip_while(cursor, number_text::continues_number_run);
      after_value = true;
    } else if (scan::is_word_letter(c)) {
      insert_comma(at);
      skip_while(cursor, scan::is_word_letter);
      after_value = true;
    }
  }
  // A string still open stays open.
  Text repaired = out.finish();

  if (inserted > 0) {
    PLOMET_REPAIR_EVENT(context, "repair_json_missing_commas_in_list",
                        "repaired " + std::to_string(inserted) + " missing comma(s) inside of a list");
  }
  return repaired;
}

}  // namespace plomet
