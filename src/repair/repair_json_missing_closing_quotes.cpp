// Closes strings whose closing quote is missing (at a line break, at a
// `,` `]` `}` met inside the string, or at the end of the text) and balances
// the brackets outside strings.
#include <algorithm>
#include <string>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

// Replaces every ", " with "," in place, left to right and without overlap,
// across the whole text (strings included).
void squeeze_comma_space(std::string& text) {
  std::size_t found = text.find(", ");
  if (found == std::string::npos) return;
  std::size_t write = found + 1;
  for (std::size_t read = found + 2;;) {
    if (interrupt::poll(interrupt::kValueUnits)) break;
    found = text.find(", ", read);
    const std::size_t end = found == std::string::npos ? text.size() : found + 1;
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(read), text.begin() + static_cast<std::ptrdiff_t>(end),
              text.begin() + static_cast<std::ptrdiff_t>(write));
    write += end - read;
    if (found == std::string::npos) break;
    read = found + 2;
  }
  text.resize(write);
}

// Characters other than these are copied as they are, inside and outside
// strings.
std::string_view take_ordinary_run(scan::Utf8Cursor& cursor, bool in_string) {
  return in_string ? cursor.take_run_until<'\\', '\n', '\r', '"', ',', ']', '}'>()
                   : cursor.take_run_until<'"', '[', ']', '{', '}'>();
}

}  // namespace

PassResult repair_json_missing_closing_quotes(std::string_view text) {
  repair::CopyThroughOutput out(text);
  repair::OpenBrackets open_brackets;
  bool in_string = false;
  bool escape_pending = false;
  bool ends_with_backslash = false;  // the last character written in the string is `\`
  bool line_break_close = false;     // a string was last closed at a line break
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (interrupt::poll(1)) break;
    if (!escape_pending) {
      if (std::string_view run = take_ordinary_run(cursor, in_string); !run.empty()) {
        if (in_string) ends_with_backslash = false;
        continue;
      }
    }
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (escape_pending) {
      escape_pending = false;
      ends_with_backslash = c == '\\';
      continue;
    }
    if (in_string) {
      if (c == '\\') {
        escape_pending = true;
        ends_with_backslash = true;
        continue;
      }
      ends_with_backslash = false;
      if (c == '\n' || c == '\r') {
        out.insert(at, "\"");
        in_string = false;
        changed = true;
        line_break_close = true;
        continue;
      }
      if (c == '"') {
        in_string = false;
        continue;
      }
      if (c != ',' && !repair::is_closer(c)) continue;
      // A `,` `]` or `}` ends the unterminated string and is then handled
      // again outside it.
      out.insert(at, "\"");
      in_string = false;
      changed = true;
    }
    if (c == '"') {
      if (line_break_close) {
        // The late closing quote of the string closed at the line break.
        line_break_close = false;
      } else {
        in_string = true;
        ends_with_backslash = false;
      }
    } else if (repair::is_opener(c)) {
      open_brackets.push(c);
    } else if (repair::is_closer(c)) {
      changed |= open_brackets.balance_closer_at(at, c, out);
    }
  }

  std::string& end = out.written_to(text.size());
  if (in_string) {
    if (ends_with_backslash) {
      end.pop_back();
      end.append("\\\"\\\"");
    } else {
      end.push_back('"');
    }
    changed = true;
  }
  changed |= open_brackets.close_all(end);

  std::string repaired = out.finish();
  if (!changed) return repaired;  // the copied-through input, as it was
  squeeze_comma_space(repaired);
  PLOMET_REPAIR_EVENT("repair_json_missing_closing_quotes", "Repaired missing closing quotes.");
  return repaired;
}

}  // namespace plomet
