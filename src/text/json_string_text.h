// A text written as a JSON string literal: the outline's keys and string
// examples, the JSON Schema renderer and the compact JSON writer share it.
// And the escapes that every reader of quoted strings shares.
#pragma once

#include <string>
#include <string_view>

#include "core/page_memory.h"

namespace plomet {

// Appends text as a JSON string literal with the minimal escaping of RFC 8259
// and lowercase hexadecimal.
template <class Out>
void append_json_string_text(Out& out, std::string_view text);
extern template void append_json_string_text(std::string& out, std::string_view text);
extern template void append_json_string_text(Text& out, std::string_view text);

// The control character that the escape `\e` stands for (b, f, n, r, t), or
// 0 for any other e.
constexpr char control_escape(char32_t e) {
  switch (e) {
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return 0;
  }
}

}  // namespace plomet
