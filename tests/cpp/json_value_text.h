// A compact JSON-like text of a document value for test expectations:
// integers plainly, floats with %.17g and a trailing ".0" when they print as
// integers, strings quoted with `"`, `\` and characters below U+0020
// escaped, object members in their order.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "document/json_value.h"

namespace plomet::testing {

// How the leaves of a value are written; the containers are always written
// alike.
struct ValueTextStyle {
  void (*number)(const JsonNumber& number, std::string& out);
  void (*string)(std::string_view text, std::string& out);
};

inline void append_plain_number(const JsonNumber& n, std::string& out) {
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
}

inline void append_plain_string(std::string_view text, std::string& out) {
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
}

inline constexpr ValueTextStyle kPlainValueText{append_plain_number, append_plain_string};

inline void append_value_text(const JsonValue& value, std::string& out, const ValueTextStyle& style = kPlainValueText) {
  switch (value.kind()) {
    case JsonValue::Kind::Null: out += "null"; break;
    case JsonValue::Kind::Bool: out += value.as_bool() ? "true" : "false"; break;
    case JsonValue::Kind::Number: style.number(value.as_number(), out); break;
    case JsonValue::Kind::String: style.string(value.as_string(), out); break;
    case JsonValue::Kind::Array: {
      out += '[';
      const char* separator = "";
      for (const JsonValue& item : value.items()) {
        out += separator;
        append_value_text(item, out, style);
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
        style.string(member.key, out);
        out += ':';
        append_value_text(member.value, out, style);
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
