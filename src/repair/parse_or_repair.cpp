#include "repair/parse_or_repair.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/context.h"
#include "read/read_json5.h"
#include "repair/repair_driver.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/number_text.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

using scan::Utf8Cursor;

// Drops every comma that is followed, after whitespace, by `]`, `}` or the
// end of the text. Blind to strings: a comma inside a string value goes too.
// Returns how many it dropped.
std::uint64_t drop_trailing_commas(Context& context, Text& fixed) {
  const std::string_view text = fixed;
  std::uint64_t dropped = 0;
  repair::erase_ranges(fixed, [text, &dropped, &context](std::size_t from) {
    for (std::size_t pos = text.find(',', from); pos != std::string_view::npos; pos = text.find(',', pos + 1)) {
      if (context.poll(kValueUnits)) break;
      const char32_t next = Utf8Cursor(text, pos + 1).peek_past_whitespace();
      if (next == ']' || next == '}' || next == scan::kEndOfText) {
        ++dropped;
        return std::pair(pos, pos + 1);
      }
    }
    return std::pair(std::string_view::npos, std::string_view::npos);
  });
  return dropped;
}

// What normalisation changed, counted as it goes and said in one event.
struct NormalisationEdits {
  std::uint64_t single_quotes = 0;
  std::uint64_t strings_ended_at_line_breaks = 0;
  std::uint64_t commas_inserted = 0;
  std::uint64_t commas_dropped = 0;
  bool string_closed_at_end = false;
  std::string appended_closers;
};

std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The edits in words, such as `wrote 2 single quotes as double, closed 1
// bracket with "}"`; empty when there were none.
std::string describe(const NormalisationEdits& edits) {
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (edits.single_quotes > 0) add("wrote " + counted(edits.single_quotes, "single quote", "single quotes") + " as double");
  if (edits.strings_ended_at_line_breaks > 0) {
    add("ended " + counted(edits.strings_ended_at_line_breaks, "string", "strings") + " at a line break");
  }
  if (edits.commas_inserted > 0) add("inserted " + counted(edits.commas_inserted, "comma", "commas") + " before a number");
  if (edits.commas_dropped > 0) add("dropped " + counted(edits.commas_dropped, "trailing comma", "trailing commas"));
  if (edits.string_closed_at_end) add("closed the string left open at the end");
  if (!edits.appended_closers.empty()) {
    add("closed " + counted(edits.appended_closers.size(), "bracket", "brackets") + " with \"" + edits.appended_closers +
        "\"");
  }
  return text;
}

// Reads a fixed-up text that the document takes over, then cleans its
// strings. A text that does not read is handed back.
Expected<JsonDocument, Text> read_owned_text(Context& context, Text text, ReadOptions options) {
  JsonDocument doc(context);
  doc.owned_text = std::make_unique<Text>(std::move(text));
  if (!read_document(context, *doc.owned_text, doc, options)) return Unexpected(std::move(*doc.owned_text));
  return doc;
}

}  // namespace

bool read_document(Context& context, std::string_view text, JsonDocument& doc, ReadOptions options) {
  auto value = try_read_json5(context, text, doc.arena);
  if (!value) return false;
  doc.root = *value;
  if (options.remove_control_characters) repair_json_remove_control_characters_in_value(context, doc.root, doc.arena);
  return true;
}

bool repair_json_remove_control_characters_in_value(Context& context, JsonValue& value, JsonArena& arena) {
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
      for (JsonValue& item : value.items()) changed |= repair_json_remove_control_characters_in_value(context, item, arena);
      break;
    case JsonValue::Kind::Object:
      for (JsonMember& member : value.members()) {
        changed |= repair_json_remove_control_characters_in_value(context, member.value, arena);
      }
      break;
    default:
      return false;
  }
  if (changed) {
    PLOMET_REPAIR_EVENT(context, "repair_json_remove_control_characters_in_value", "Removed control characters from JSON value.");
  }
  return changed;
}

namespace {

// Bytes that end a run of text outside strings (runs inside strings end at a
// quote, a backslash or a line break).
constexpr scan::ByteSet kOutsideRunEnd = scan::byte_set("\"',:[]{}0123456789");

// The last character of a run that is not whitespace, or kEndOfText.
char32_t last_significant_in(std::string_view run) {
  std::size_t end = run.size();
  for (; end > 0 && static_cast<unsigned char>(run[end - 1]) < 0x80; --end) {
    auto last = static_cast<unsigned char>(run[end - 1]);
    if (!scan::is_whitespace(last)) return last;
  }
  return scan::last_char(scan::trim_trailing_whitespace(run.substr(0, end)));
}

}  // namespace

// The output is the text with a few bytes replaced or inserted, so it is
// copied in stretches, up to each change. Between the bytes it acts on, only
// the last character that is not whitespace matters (it becomes the last
// significant one), so such runs are passed over whole.
std::optional<Text> normalize_json_text(Context& context, std::string_view text) {
  repair::CopyThroughOutput out(context, text);
  repair::OpenBrackets open_brackets;
  NormalisationEdits edits;
  bool in_string = false;
  char32_t last_significant = scan::kEndOfText;
  std::size_t pos = 0;
  auto pass_run_to = [&](std::size_t end) {
    char32_t last = last_significant_in(text.substr(pos, end - pos));
    if (last != scan::kEndOfText) last_significant = last;
    pos = end;
  };

  while (pos < text.size()) {
    if (context.poll(kValueUnits)) break;
    // Blanks alone leave the last significant character as it is.
    if (!in_string) pos = static_cast<std::size_t>(scan::skip_blank_run(text.data() + pos, text.data() + text.size()) - text.data());
    pass_run_to(in_string ? scan::find_first_of_bytes<'"', '\'', '\\', '\n', '\r'>(text, pos)
                          : scan::find_byte_in(text, pos, kOutsideRunEnd));
    if (pos == text.size()) break;
    const std::size_t at = pos++;
    const char c = text[at];
    if (in_string) {
      if (c == '\\') {
        last_significant = '\\';
        // The escaped character stays as it is, whatever it is.
        if (pos < text.size()) pos += scan::decode_at(text, pos).length;
      } else if (c == '"' || c == '\'') {
        // A single quote inside a string closes it just as a double quote does.
        if (c == '\'') {
          out.replace(at, 1, "\"");
          ++edits.single_quotes;
        }
        in_string = false;
        last_significant = '"';
      } else {  // a line break ends the string in its place
        out.replace(at, 1, "\"");
        ++edits.strings_ended_at_line_breaks;
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"':
      case '\'':
        if (c == '\'') {
          out.replace(at, 1, "\"");
          ++edits.single_quotes;
        }
        in_string = true;
        last_significant = static_cast<unsigned char>(c);
        break;
      case ',':
      case ':':
        last_significant = static_cast<unsigned char>(c);
        break;
      case '[':
      case '{':
        open_brackets.push(static_cast<unsigned char>(c));
        last_significant = static_cast<unsigned char>(c);
        break;
      case ']':
      case '}':
        if (!open_brackets.innermost_is(c == ']' ? '[' : '{')) return std::nullopt;
        open_brackets.pop_closer();
        last_significant = static_cast<unsigned char>(c);
        break;
      default:  // a digit, and the rest of its number
        if (last_significant == '"' || last_significant == ']' || last_significant == '}') {
          out.insert(at, ",");
          ++edits.commas_inserted;
        }
        // None of the rest of the number is whitespace or acted on.
        while (pos < text.size() && number_text::continues_number_run(static_cast<unsigned char>(text[pos]))) ++pos;
        last_significant = static_cast<unsigned char>(text[pos - 1]);
        break;
    }
  }
  Text& end = out.written_to(text.size());
  if (in_string) end.push_back('"');
  edits.string_closed_at_end = in_string;
  Text fixed = out.finish();
  edits.commas_dropped = drop_trailing_commas(context, fixed);
  const std::size_t closed_from = fixed.size();
  open_brackets.append_closers(fixed);
  if (context.admits(diagnostics::Level::Info)) {
    edits.appended_closers = std::string_view(fixed).substr(closed_from);
    if (std::string said = describe(edits); !said.empty()) PLOMET_EVENT(context, "normalisation", said);
  }
  return fixed;
}

namespace repair_driver {

// A failed chain is rare and ends the call: reading the text once more costs
// less than carrying the first attempt's error through every reader.
RepairError located_in(Context& context, std::string_view text, RepairError error) {
  JsonArena arena(context);
  if (auto value = read_json5(context, text, arena); !value) error.offset = value.error().offset;
  return error;
}

}  // namespace repair_driver

ParseResult normalize_and_read(Context& context, std::string_view text, ReadOptions options) {
  std::optional<Text> fixed = normalize_json_text(context, text);
  if (!fixed) return Unexpected(RepairError::unrepairable(text));
  Expected<JsonDocument, Text> read = read_owned_text(context, std::move(*fixed), options);
  if (!read) return Unexpected(RepairError::unrepairable(std::string_view(read.error())));
  return std::move(read).value();
}

ParseResult parse_or_repair(Context& context, std::string_view text, ReadOptions options) {
  JsonDocument doc(context);
  if (text.empty()) {
    doc.root = make_object({}, doc.arena);
    return doc;
  }
  // Each attempt starts a fresh document, so that a failed one's memory goes.
  auto read = [&](std::string_view candidate, Text* owned) {
    doc = JsonDocument(context);
    if (owned == nullptr) return read_document(context, candidate, doc, options);
    // The document's views point into a normalised text: it takes it over,
    // and hands it back to be recycled when it does not read.
    doc.owned_text = std::make_unique<Text>(std::move(*owned));
    if (read_document(context, *doc.owned_text, doc, options)) return true;
    *owned = std::move(*doc.owned_text);
    doc.owned_text.reset();
    return false;
  };
  if (std::optional<RepairError> error = read_or_repair(context, text, read)) return Unexpected(std::move(*error));
  return doc;
}

}  // namespace plomet
