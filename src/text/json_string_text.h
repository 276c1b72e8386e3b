// A text written as a JSON string literal: the outline's keys and string
// examples, the JSON Schema renderer and the compact JSON writer share it.
#pragma once

#include <string>
#include <string_view>

namespace plomet {

// Appends text as a JSON string literal with the minimal escaping of RFC 8259
// and lowercase hexadecimal.
void append_json_string_text(std::string& out, std::string_view text);

}  // namespace plomet
