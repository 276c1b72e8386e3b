#include "reader/parse_or_repair.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "reader/diagnostics.h"
#include "reader/read_json5.h"
#include "reader/repair_passes.h"
#include "reader/text_scan.h"

namespace plomet {
namespace {

using scan::Utf8Cursor;

// Drops every comma that is followed, after whitespace, by `]`, `}` or the
// end of the text. Blind to strings: a comma inside a string value goes too.
std::string drop_trailing_commas(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied_to = 0;
  for (std::size_t pos = text.find(','); pos != std::string_view::npos; pos = text.find(',', pos + 1)) {
    char32_t next = Utf8Cursor(text, pos + 1).peek_past_whitespace();
    if (next == ']' || next == '}' || next == scan::kEndOfText) {
      out.append(text, copied_to, pos - copied_to);
      copied_to = pos + 1;
    }
  }
  out.append(text, copied_to);
  return out;
}

// Reads a fixed-up text that the document takes over, then cleans its strings.
ParseResult read_owned_text(std::string text) {
  JsonDocument doc;
  doc.owned_text = std::make_unique<std::string>(std::move(text));
  auto value = try_read_json5(*doc.owned_text, doc.arena);
  if (!value) return Unexpected(RepairError::unrepairable(*doc.owned_text));
  doc.root = *value;
  repair_json_remove_control_characters_in_value(doc.root, doc.arena);
  return doc;
}

}  // namespace

bool repair_json_remove_control_characters_in_value(JsonValue& value, JsonArena& arena) {
  if (value.control_characters() == JsonValue::ControlCharacters::None) return false;
  bool changed = false;
  switch (value.kind()) {
    case JsonValue::Kind::String: {
      std::string_view text = value.as_string();
      if (std::none_of(text.begin(), text.end(), scan::is_removed_control_byte)) return false;
      std::string cleaned;
      cleaned.reserve(text.size());
      std::copy_if(text.begin(), text.end(), std::back_inserter(cleaned),
                   [](char c) { return !scan::is_removed_control_byte(c); });
      value.set_string(arena.copy_string(cleaned));
      changed = true;
      break;
    }
    case JsonValue::Kind::Array:
      for (JsonValue& item : value.items()) changed |= repair_json_remove_control_characters_in_value(item, arena);
      break;
    case JsonValue::Kind::Object:
      for (JsonMember& member : value.members()) {
        changed |= repair_json_remove_control_characters_in_value(member.value, arena);
      }
      break;
    default:
      return false;
  }
  if (changed) {
    PLOMET_REPAIR_EVENT("repair_json_remove_control_characters_in_value", "Removed control characters from JSON value.");
  }
  return changed;
}

namespace {

// Bytes that end a run of copied text inside a string, and outside strings.
constexpr std::array<bool, 256> bytes_table(std::string_view bytes) {
  std::array<bool, 256> table{};
  for (char b : bytes) table[static_cast<unsigned char>(b)] = true;
  return table;
}
constexpr std::array<bool, 256> kStringRunEnd = bytes_table("\"'\\\n\r");
constexpr std::array<bool, 256> kOutsideRunEnd = bytes_table("\"',:[]{}0123456789");

std::size_t run_end(std::string_view text, std::size_t pos, const std::array<bool, 256>& ends) {
  while (pos < text.size() && !ends[static_cast<unsigned char>(text[pos])]) ++pos;
  return pos;
}

}  // namespace

// Copies the text in runs between the bytes it acts on. Within a run only the
// last character that is not whitespace matters (it becomes the last
// significant one), so runs are copied whole.
ParseResult normalize_and_read(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  std::vector<char> open_brackets;
  bool in_string = false;
  char32_t last_significant = scan::kEndOfText;
  std::size_t pos = 0;
  auto copy_run_to = [&](std::size_t end) {
    std::string_view run = text.substr(pos, end - pos);
    out.append(run);
    char32_t last = scan::last_char(scan::trim_trailing_whitespace(run));
    if (last != scan::kEndOfText) last_significant = last;
    pos = end;
  };

  while (pos < text.size()) {
    copy_run_to(run_end(text, pos, in_string ? kStringRunEnd : kOutsideRunEnd));
    if (pos == text.size()) break;
    const char c = text[pos++];
    if (in_string) {
      if (c == '\\') {
        out.push_back('\\');
        last_significant = '\\';
        // The escaped character is copied as it is, whatever it is.
        if (pos < text.size()) {
          std::size_t length = scan::decode_at(text, pos).length;
          out.append(text.substr(pos, length));
          pos += length;
        }
      } else if (c == '"' || c == '\'') {
        // A single quote inside a string closes it just as a double quote does.
        out.push_back('"');
        in_string = false;
        last_significant = '"';
      } else {  // a line break ends the string in its place
        out.push_back('"');
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"':
      case '\'':
        out.push_back('"');
        in_string = true;
        last_significant = static_cast<unsigned char>(c);
        break;
      case ',':
      case ':':
        out.push_back(c);
        last_significant = static_cast<unsigned char>(c);
        break;
      case '[':
      case '{':
        open_brackets.push_back(c);
        out.push_back(c);
        last_significant = static_cast<unsigned char>(c);
        break;
      case ']':
      case '}': {
        char opener = c == ']' ? '[' : '{';
        if (open_brackets.empty() || open_brackets.back() != opener) {
          return Unexpected(RepairError::unrepairable(text));
        }
        open_brackets.pop_back();
        out.push_back(c);
        last_significant = static_cast<unsigned char>(c);
        break;
      }
      default: {  // a digit, and the digits right after it
        if (last_significant == '"' || last_significant == ']' || last_significant == '}') out.push_back(',');
        std::size_t end = pos;
        while (end < text.size() && scan::is_ascii_digit(static_cast<unsigned char>(text[end]))) ++end;
        out.append(text.substr(pos - 1, end - pos + 1));
        last_significant = static_cast<unsigned char>(text[end - 1]);
        pos = end;
        break;
      }
    }
  }
  if (in_string) out.push_back('"');
  if (!out.empty()) out = drop_trailing_commas(out);
  for (auto it = open_brackets.rbegin(); it != open_brackets.rend(); ++it) out.push_back(*it == '[' ? ']' : '}');
  return read_owned_text(std::move(out));
}

ParseResult parse_or_repair(std::string_view text) {
  JsonDocument doc;
  if (text.empty()) {
    doc.root = make_object({}, doc.arena);
    return doc;
  }
  if (auto value = try_read_json5(text, doc.arena)) {
    doc.root = *value;
    repair_json_remove_control_characters_in_value(doc.root, doc.arena);
    return doc;
  }
  if (auto normalized = normalize_and_read(text)) return std::move(normalized).value();
  for (const RepairPassEntry& pass : repair_pass_table()) {
    PassResult repaired = pass.run(text);
    if (!repaired) return Unexpected(std::move(repaired).error());
    // An unchanged text would fail exactly as the read of the input did.
    if (repaired.value() == text) continue;
    if (auto value = normalize_and_read(repaired.value())) return std::move(value).value();
  }
  return Unexpected(RepairError::all_attempted_repairs_failed());
}

}  // namespace plomet
