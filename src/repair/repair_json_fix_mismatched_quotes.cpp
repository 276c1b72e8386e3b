// Mends quoting damage in one copying walk: quotes of the other kind inside
// a string are escaped, a quote of the string's own kind that runs on into a
// word is escaped, a string that runs into a closing `,` `]` `}` is closed
// before it, and a value after a colon that cannot begin a value is opened
// as a string.
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"
#include "text/unicode_tables.h"

namespace plomet {
namespace {

bool is_letter_or_digit(char32_t c) {
  if (c < 0x80) return scan::is_ascii_digit(c) || scan::is_word_letter(c);
  return c != scan::kEndOfText && (unicode::is_alphabetic(c) || unicode::is_numeric(c));
}

// What a value written after a colon may start with.
bool may_start_value(char32_t c) {
  switch (c) {
    case '"': case '\'': case '[': case '{': case '-': case 'f': case 'n': case 't':
      return true;
    default:
      return scan::is_ascii_digit(c);
  }
}

}  // namespace

PassResult repair_json_fix_mismatched_quotes(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  // Strings open with either quote and close with their own. A backslash
  // escapes anywhere, so an escaped quote outside a string does not open one.
  repair::EscapeTracker escapes;
  bool in_string = false;
  char quote = '"';
  bool changed = false;
  const std::string_view escape = "\\";
  // A character the rules only look at stays in the text and is taken as
  // the next one.
  scan::Utf8Cursor cursor(text);
  while (!cursor.at_end()) {
    if (context.poll(1)) break;
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (escapes.take(c)) continue;
    if (c == '"' || c == '\'') {
      if (!in_string) {
        in_string = true;
        quote = static_cast<char>(c);
      } else if (c == static_cast<char32_t>(quote)) {
        if (cursor.at_end()) {
          in_string = false;
          break;
        }
        const char32_t after = cursor.peek();
        if (is_letter_or_digit(after) || after == '\\') {
          // "it"s": the quote is part of the text.
          out.insert(at, escape);
          changed = true;
        } else {
          in_string = false;
        }
      } else {
        out.insert(at, escape);
        changed = true;
      }
    } else if (in_string) {
      if (c == ',' || c == ']' || c == '}') {
        const char32_t next = cursor.peek_past_whitespace();
        if (next == scan::kEndOfText || next == static_cast<char32_t>(quote) || next == ',' || next == ':' ||
            next == ']' || next == '}') {
          out.insert(at, std::string_view(&quote, 1));
          in_string = false;
          changed = true;
        }
      }
    } else if (c == ':') {
      const std::size_t value_start = cursor.position_past_whitespace();
      const char32_t first =
          value_start < text.size() ? scan::decode_at(text, value_start).code_point : scan::kEndOfText;
      if (!may_start_value(first)) {
        out.insert(value_start, "\"");
        cursor = scan::Utf8Cursor(text, value_start);
        in_string = true;
        quote = '"';
        changed = true;
      }
    }
  }
  if (in_string) out.written_to(text.size()).push_back(quote);
  if (in_string || changed) {
    PLOMET_REPAIR_EVENT(context, "repair_json_fix_mismatched_quotes", "Repaired mismatched quotation marks.");
  }
  return out.finish();
}

}  // namespace plomet
