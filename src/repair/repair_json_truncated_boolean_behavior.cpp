// Repairs a text cut off at the end: completes a `true` or `false` cut
// short, closes a string left open, and appends the closers still owed by
// count (all `]` before all `}`, whatever the nesting).
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

// The rest of `true` or `false` when word is a proper, non-empty prefix of
// one of them; empty otherwise. The case must match.
std::string_view missing_rest_of_boolean(std::string_view word) {
  for (std::string_view boolean : {std::string_view("true"), std::string_view("false")}) {
    if (!word.empty() && word.size() < boolean.size() && boolean.starts_with(word)) {
      return boolean.substr(word.size());
    }
  }
  return {};
}

}  // namespace

PassResult repair_json_truncated_boolean_behavior(Context& context, std::string_view text) {
  // A backslash escapes anywhere, so an escaped quote outside a string does
  // not open one.
  repair::EscapeTracker escapes;
  repair::BracketCounts counts;  // closes by count, not by nesting
  bool in_string = false;
  // The current word: the run of letters met outside strings since the last
  // other character, as a byte range of the input.
  std::size_t word_start = 0;
  std::size_t word_end = 0;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    std::size_t position = cursor.position();
    const char32_t c = cursor.next();
    const bool escaped = escapes.take(c);
    if (c == '"') {
      if (!escaped) in_string = !in_string;
      word_start = word_end = 0;
      continue;
    }
    if (in_string) continue;
    if (scan::is_word_letter(c)) {
      if (word_start == word_end) word_start = position;
      word_end = cursor.position();
    } else {
      counts.count(c);
      word_start = word_end = 0;
    }
  }

  repair::ClosedAtEnd closed = repair::close_at_end(context, text, [&](Text& end) {
    if (in_string) {
      end.push_back('"');
    } else {
      end.append(missing_rest_of_boolean(text.substr(word_start, word_end - word_start)));
    }
    counts.append_closers(end);
  });
  if (closed.changed()) {
    PLOMET_REPAIR_EVENT(context, "repair_json_truncated_boolean_behavior",
                        "Repaired truncated booleans or unclosed delimiters in JSON.");
  }
  return std::move(closed.text);
}

}  // namespace plomet
