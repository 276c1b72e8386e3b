// Closes strings whose closing quote is missing (at a line break, at a
// `,` `]` `}` met inside the string, or at the end of the text) and balances
// the brackets outside strings.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

// Replaces every ", " with ",", left to right and without overlap, across
// the whole text (strings included).
void squeeze_comma_space(Context& context, Text& squeezed) {
  const std::string_view text = squeezed;
  repair::erase_ranges(squeezed, [text, &context](std::size_t from) {
    const std::size_t found = context.poll(kValueUnits) ? std::string_view::npos : text.find(", ", from);
    if (found == std::string_view::npos) return std::pair(found, found);
    return std::pair(found + 1, found + 2);
  });
}

// Characters other than these are copied as they are, inside and outside
// strings.
std::string_view take_ordinary_run(scan::Utf8Cursor& cursor, bool in_string) {
  return in_string ? cursor.take_run_until<'\\', '\n', '\r', '"', ',', ']', '}'>()
                   : cursor.take_run_until<'"', '[', ']', '{', '}'>();
}

}  // namespace

PassResult repair_json_missing_closing_quotes(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  // Double-quoted strings with escapes inside them only, as DoubleQuotedStrings
  // follows them, but tracked by hand: a string also closes at a line break
  // or at a `,` `]` `}`, and its quote may come late.
  repair::EscapeTracker escapes;
  repair::OpenBrackets open_brackets;  // wrong closers are replaced, extra ones dropped
  bool in_string = false;
  bool ends_with_backslash = false;  // the last character written in the string is `\`
  bool line_break_close = false;     // a string was last closed at a line break
  bool changed = false;

  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    if (context.poll(1)) break;
    if (!escapes.pending()) {
      if (std::string_view run = take_ordinary_run(cursor, in_string); !run.empty()) {
        if (in_string) ends_with_backslash = false;
        continue;
      }
    }
    const std::size_t at = cursor.position();
    const char32_t c = cursor.next();
    if (in_string) {
      if (escapes.take(c)) {
        ends_with_backslash = c == '\\';
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

  Text& end = out.written_to(text.size());
  if (in_string) {
    if (ends_with_backslash) {
      end.pop_back();
      end.append("\\\"\\\"");
    } else {
      end.push_back('"');
    }
    changed = true;
  }
  changed |= open_brackets.append_closers(end);

  Text repaired = out.finish();
  if (!changed) return repaired;  // the copied-through input, as it was
  squeeze_comma_space(context, repaired);
  PLOMET_REPAIR_EVENT(context, "repair_json_missing_closing_quotes", "Repaired missing closing quotes.");
  return repaired;
}

}  // namespace plomet
