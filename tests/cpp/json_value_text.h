// A compact JSON-like text of a document value for test expectations:
// integers plainly, floats with %.17g and a trailing ".0" when they print as
// integers, strings quoted with `"`, `\` and characters below U+0020
// escaped, object members in their order.
#pragma once

#include <cstdio>
#include <string>

#include "shape/json_value.h"

namespace plomet::testing {

inline void append_value_text(const JsonValue& value, std::string& out) {
  auto quoted = [&out](std::string_view text) {
    out += '"';
    for (char c : text) {
      auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (byte < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", byte);
        out += escape;
      } else {
        out += c;
      }
    }
    out += '"';
  };
  switch (value.kind()) {
    case JsonValue::Kind::Null: out += "null"; break;
    case JsonValue::Kind::Bool: out += value.as_bool() ? "true" : "false"; break;
    case JsonValue::Kind::Number: {
      const JsonNumber& n = value.as_number();
      if (n.kind == JsonNumber::Kind::U64) {
        out += std::to_string(n.u64_value);
      } else if (n.kind == JsonNumber::Kind::I64) {
        out += std::to_string(n.i64_value);
      } else {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", n.f64_value);
        out += text;
        if (std::string_view(text).find_first_of(".eni") == std::string_view::npos) out += ".0";
      }
      break;
    }
    case JsonValue::Kind::String: quoted(value.as_string()); break;
    case JsonValue::Kind::Array: {
      out += '[';
      const char* separator = "";
      for (const JsonValue& item : value.items()) {
        out += separator;
        append_value_text(item, out);
        separator = ",";
      }
      out += ']';
      break;
    }
    case JsonValue::Kind::Object: {
      out += '{';
      const char* separator = "";
      for (const JsonMember& member : value.members()) {
        out += separator;
        quoted(member.key);
        out += ':';
        append_value_text(member.value, out);
        separator = ",";
      }
      out += '}';
      break;
    }
  }
}

inline std::string value_text(const JsonValue& value) {
  std::string out;
  append_value_text(value, out);
  return out;
}

}  // namespace plomet::testing
