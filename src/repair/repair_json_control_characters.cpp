// Deletes raw control characters from the whole text, inside and outside
// strings; tab and line feed stay.
#include <string>

#include "core/diagnostics.h"
#include "core/context.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

bool is_removed_control(char32_t c) { return c < 0x20 && c != '\t' && c != '\n'; }

// `\u{` + upper-case hexadecimal, at least four digits + `}`.
void append_code_point(std::string& out, char32_t c) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  char digits[8];
  int count = 0;
  do {
    digits[count++] = kHexDigits[c & 0xF];
    c >>= 4;
  } while (c != 0);
  out.append("\\u{");
  for (int pad = count; pad < 4; ++pad) out.push_back('0');
  while (count > 0) out.push_back(digits[--count]);
  out.push_back('}');
}

std::string removed_message(std::string_view removed) {
  return "Removed control characters: " + repair::join(removed, ", ", [](std::string& message, char c) {
           append_code_point(message, static_cast<unsigned char>(c));
         });
}

}  // namespace

PassResult repair_json_control_characters(Context& context, std::string_view text) {
  // Every removed character is below U+0020, so one byte holds each.
  std::string removed;
  scan::Utf8Cursor cursor(text);
  Text out = context.take_text(text.size());
  out.assign(text);
  repair::erase_ranges(out, [&](std::size_t) {
    while (!cursor.at_end() && !context.poll(1)) {
      const std::size_t position = cursor.position();
      const char32_t c = cursor.next();
      if (!is_removed_control(c)) continue;
      removed.push_back(static_cast<char>(c));
      return std::pair(position, cursor.position());
    }
    return std::pair(std::string_view::npos, std::string_view::npos);
  });

  if (!removed.empty()) PLOMET_REPAIR_EVENT(context, "repair_json_control_characters", removed_message(removed));
  return out;
}

}  // namespace plomet
