// Repairs a text cut off at the end: completes a `true` or `false` cut
// short, closes a string left open, and appends the closers still owed by
// count (all `]` before all `}`, whatever the nesting).
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
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

PassResult repair_json_truncated_boolean_behavior(std::string_view text) {
  std::string out = repair::take_text_buffer(text.size() + 8);
  repair::BracketCounts counts;
  bool in_string = false;
  // The current word: the run of letters met outside strings since the last
  // other character, as a byte range of the input.
  std::size_t word_start = 0;
  std::size_t word_end = 0;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    std::size_t position = cursor.position();
    auto [c, bytes] = cursor.take();
    out.append(bytes);
    if (c == '"') {
      // A quote after an odd run of backslashes is escaped.
      std::string_view before_quote(out.data(), out.size() - 1);
      if (repair::trailing_backslashes(before_quote) % 2 == 0) in_string = !in_string;
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

  bool changed = false;
  if (in_string) {
    out.push_back('"');
    changed = true;
  } else if (std::string_view rest = missing_rest_of_boolean(text.substr(word_start, word_end - word_start));
             !rest.empty()) {
    out.append(rest);
    changed = true;
  }
  changed |= counts.append_closers(out);

  if (changed) {
    PLOMET_REPAIR_EVENT("repair_json_truncated_boolean_behavior",
                        "Repaired truncated booleans or unclosed delimiters in JSON.");
  }
  return out;
}

}  // namespace plomet
