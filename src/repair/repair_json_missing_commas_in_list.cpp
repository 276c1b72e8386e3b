// Cuts the text into rough tokens and inserts a comma wherever one value
// directly follows another, in arrays and objects alike. Whitespace outside
// strings is dropped, so the output is compact.
#include <cstdint>
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

bool continues_number(char32_t c) {
  return scan::is_ascii_digit(c) || c == '-' || c == '+' || c == 'e' || c == 'E' || c == '.';
}

// Copies the characters that continue the current token.
template <class Continues>
void copy_while(scan::Utf8Cursor& cursor, std::string& out, Continues continues) {
  while (continues(cursor.peek())) out.append(cursor.take().bytes);
}

}  // namespace

PassResult repair_json_missing_commas_in_list(std::string_view text) {
  std::string out = repair::take_text_buffer(text.size());
  repair::DoubleQuotedStrings strings;
  bool after_value = false;  // the last token completed was a value
  std::int64_t inserted = 0;
  auto insert_comma = [&] {
    if (!after_value) return;
    out.push_back(',');
    ++inserted;
  };

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    auto [c, bytes] = cursor.take();
    if (strings.in_string()) {
      strings.closes(c);
      out.append(bytes);
      continue;
    }
    if (scan::is_whitespace(c)) continue;
    if (c == '"') {
      insert_comma();
      out.push_back('"');
      after_value = true;
      strings.open();
    } else if (repair::is_opener(c)) {
      insert_comma();
      out.push_back(static_cast<char>(c));
      after_value = false;
    } else if (repair::is_closer(c)) {
      out.push_back(static_cast<char>(c));
      after_value = true;
    } else if (c == ',' || c == ':') {
      out.push_back(static_cast<char>(c));
      after_value = false;
    } else if (c == '-' || scan::is_ascii_digit(c)) {
      insert_comma();
      out.push_back(static_cast<char>(c));
      copy_while(cursor, out, continues_number);
      after_value = true;
    } else if (scan::is_word_letter(c)) {
      insert_comma();
      out.append(bytes);
      copy_while(cursor, out, scan::is_word_letter);
      after_value = true;
    } else {
      out.append(bytes);
    }
  }
  // A string still open stays open.

  if (inserted > 0) {
    PLOMET_REPAIR_EVENT("repair_json_missing_commas_in_list",
                        "repaired " + std::to_string(inserted) + " missing comma(s) inside of a list");
  }
  return out;
}

}  // namespace plomet
