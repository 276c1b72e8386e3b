// Closes a text cut off inside nested arrays and objects: a stack of the
// closers still owed closes them innermost first, after the open string.
#include <string>
#include <string_view>
#include <vector>

#include "reader/diagnostics.h"
#include "reader/repair_passes.h"
#include "reader/repair_support.h"
#include "reader/text_scan.h"

namespace plomet {

PassResult repair_json_handle_eof_between_lists(std::string_view text) {
  std::vector<char> closers;
  bool in_string = false;
  bool skip_next = false;
  for (scan::Utf8Cursor cursor(text); !cursor.at_end();) {
    char32_t c = cursor.next();
    if (skip_next) {
      skip_next = false;
    } else if (c == '\\') {
      // Inside strings and out: the next character has no meaning at all.
      skip_next = true;
    } else if (c == '"') {
      in_string = !in_string;
    } else if (in_string) {
      continue;
    } else if (c == '[' || c == '{') {
      closers.push_back(repair::closer_for(c));
    } else if ((c == ']' || c == '}') && !closers.empty()) {
      // Pops whatever is owed: a `]` may close an open `{`.
      closers.pop_back();
    }
  }
  std::string out;
  out.reserve(text.size() + closers.size() + 1);
  out.append(text);
  if (in_string) out.push_back('"');
  out.append(closers.rbegin(), closers.rend());
  if (out.size() != text.size()) PLOMET_REPAIR_EVENT("repair_json_handle_eof_between_lists", "Repaired EOF between lists.");
  return out;
}

}  // namespace plomet
