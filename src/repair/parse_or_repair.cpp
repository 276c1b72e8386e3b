#include "repair/parse_or_repair.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "read/read_json5.h"
#include "repair/repair_driver.h"
#include "repair/repair_passes.h"
#include "repair/pass_toolkit.h"
#include "text/number_text.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

using scan::Utf8Cursor;

// The comma that the closer at `at` (or the end of the text, at its size)
// follows with only whitespace between them, or npos. Found looking back; a
// gap that holds bytes beyond ASCII is decoded forward, as the rule reads.
std::size_t comma_trailing_before(std::string_view text, std::size_t at) {
  // Mostly the closer follows a value, or a run of blanks after one.
  std::size_t pos = static_cast<std::size_t>(scan::skip_blank_bytes_back(text.data(), text.data() + at) - text.data());
  bool beyond_ascii = false;
  for (; pos > 0 && text[pos - 1] != ','; --pos) {
    const auto b = static_cast<unsigned char>(text[pos - 1]);
    if (b >= 0x80) {
      beyond_ascii = true;
    } else if (!scan::is_whitespace(b)) {
      return std::string_view::npos;
    }
  }
  if (pos == 0) return std::string_view::npos;
  if (beyond_ascii && Utf8Cursor(text, pos).position_past_whitespace() != at) return std::string_view::npos;
  return pos - 1;
}

// Drops every comma that is followed, after whitespace, by `]`, `}` or the
// end of the text. Blind to strings: a comma inside a string value goes too.
// Each closer (and the end) is looked back from, once. Returns how many it
// dropped.
std::uint64_t drop_trailing_commas(std::string& fixed) {
  const std::string_view text = fixed;
  std::uint64_t dropped = 0;
  std::size_t next_closer_from = 0;
  repair::erase_ranges(fixed, [text, &dropped, &next_closer_from](std::size_t /*from*/) {
    while (next_closer_from <= text.size()) {
      if (interrupt::poll(interrupt::kValueUnits)) break;
      const std::size_t closer = scan::find_first_of_bytes<']', '}'>(text, next_closer_from);
      next_closer_from = closer + 1;
      if (const std::size_t comma = comma_trailing_before(text, closer); comma != std::string_view::npos) {
        ++dropped;
        return std::pair(comma, comma + 1);
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
Expected<JsonDocument, std::string> read_owned_text(std::string text, ReadOptions options) {
  JsonDocument doc;
  doc.owned_text = std::make_unique<std::string>(std::move(text));
  if (!read_document(*doc.owned_text, doc, options)) return Unexpected(std::move(*doc.owned_text));
  return doc;
}

}  // namespace

bool read_document(std::string_view text, JsonDocument& doc, ReadOptions options) {
  auto value = try_read_json5(text, doc.arena);
  if (!value) return false;
  doc.root = *value;
  if (options.remove_control_characters) repair_json_remove_control_characters_in_value(doc.root, doc.arena);
  return true;
}

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
// copied in stretches, up to each change. Outside strings only quotes and
// brackets are acted on: a comma goes in front of a digit whose last
// significant character before it is a closing quote, `]` or `}`, so the
// digits that may need one are found from those, by looking past the
// whitespace that follows them. Inside a string, only quotes, backslashes
// and line breaks are.
std::optional<std::string> normalize_json_text(std::string_view text) {
  repair::CopyThroughOutput out(text);
  repair::OpenBrackets open_brackets;
  NormalisationEdits edits;
  const auto comma_before_digit_at = [&](std::size_t from) {
    // Mostly a separator follows at once.
    if (from < text.size()) {
      const auto b = static_cast<unsigned char>(text[from]);
      if (b < 0x80 && !scan::is_whitespace(b) && !scan::is_ascii_digit(b)) return;
    }
    const std::size_t next = Utf8Cursor(text, from).position_past_whitespace();
    if (next < text.size() && scan::is_ascii_digit(static_cast<unsigned char>(text[next]))) {
      out.insert(next, ",");
      ++edits.commas_inserted;
    }
  };
  // Reads the string whose opening quote is at pos - 1: where reading goes
  // on after it, or nothing when the text ends inside it.
  const auto read_string = [&](std::size_t pos) -> std::optional<std::size_t> {
    // The last significant character before the current run: the opening
    // quote, or a backslash.
    char32_t before_run = static_cast<unsigned char>(text[pos - 1]);
    std::size_t run_start = pos;
    for (;;) {
      if (interrupt::poll(interrupt::kValueUnits)) return text.size();
      pos = scan::find_first_of_bytes<'"', '\'', '\\', '\n', '\r'>(text, pos);
      if (pos == text.size()) return std::nullopt;
      const std::size_t at = pos++;
      const char c = text[at];
      if (c == '\\') {
        // The escaped character stays as it is, whatever it is.
        before_run = '\\';
        if (pos < text.size()) pos += scan::decode_at(text, pos).length;
        run_start = pos;
        continue;
      }
      if (c != '"') out.replace(at, 1, "\"");
      if (c == '"' || c == '\'') {
        // A single quote inside a string closes it just as a double quote does.
        if (c == '\'') ++edits.single_quotes;
        comma_before_digit_at(pos);
        return pos;
      }
      // A line break ends the string in its place; the string's last
      // significant character is then the last one before a digit.
      ++edits.strings_ended_at_line_breaks;
      char32_t last = last_significant_in(text.substr(run_start, at - run_start));
      if (last == scan::kEndOfText) last = before_run;
      if (last == '"' || last == ']' || last == '}') comma_before_digit_at(pos);
      return pos;
    }
  };

  bool in_string = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (interrupt::poll(interrupt::kValueUnits)) break;
    pos = scan::find_first_of_bytes<'"', '\'', '[', ']', '{', '}'>(text, pos);
    if (pos == text.size()) break;
    const std::size_t at = pos++;
    const char c = text[at];
    switch (c) {
      case '[':
      case '{':
        open_brackets.push(static_cast<unsigned char>(c));
        break;
      case ']':
      case '}':
        if (!open_brackets.innermost_is(c == ']' ? '[' : '{')) return std::nullopt;
        open_brackets.pop_closer();
        comma_before_digit_at(pos);
        break;
      default:  // a quote opens a string
        if (c == '\'') {
          out.replace(at, 1, "\"");
          ++edits.single_quotes;
        }
        if (const std::optional<std::size_t> after = read_string(pos)) {
          pos = *after;
        } else {
          pos = text.size();
          in_string = true;
        }
        break;
    }
  }
  std::string& end = out.written_to(text.size());
  if (in_string) end.push_back('"');
  edits.string_closed_at_end = in_string;
  std::string fixed = out.finish();
  edits.commas_dropped = drop_trailing_commas(fixed);
  const std::size_t closed_from = fixed.size();
  open_brackets.append_closers(fixed);
  if (diagnostics::admits(diagnostics::Level::Info)) {
    edits.appended_closers = fixed.substr(closed_from);
    if (std::string said = describe(edits); !said.empty()) PLOMET_EVENT("normalisation", said);
  }
  return fixed;
}

namespace repair_driver {

// A failed chain is rare and ends the call: reading the text once more costs
// less than carrying the first attempt's error through every reader.
RepairError located_in(std::string_view text, RepairError error) {
  JsonArena arena;
  if (auto value = read_json5(text, arena); !value) error.offset = value.error().offset;
  return error;
}

}  // namespace repair_driver

ParseResult normalize_and_read(std::string_view text, ReadOptions options) {
  std::optional<std::string> fixed = normalize_json_text(text);
  if (!fixed) return Unexpected(RepairError::unrepairable(text));
  Expected<JsonDocument, std::string> read = read_owned_text(std::move(*fixed), options);
  if (!read) return Unexpected(RepairError::unrepairable(std::move(read.error())));
  return std::move(read).value();
}

ParseResult parse_or_repair(std::string_view text, ReadOptions options) {
  JsonDocument doc;
  if (text.empty()) {
    doc.root = make_object({}, doc.arena);
    return doc;
  }
  // Each attempt starts a fresh document, so that a failed one's memory goes.
  auto read = [&](std::string_view candidate, std::string* owned) {
    doc = JsonDocument();
    if (owned == nullptr) return read_document(candidate, doc, options);
    // The document's views point into a normalised text: it takes it over,
    // and hands it back to be recycled when it does not read.
    doc.owned_text = std::make_unique<std::string>(std::move(*owned));
    if (read_document(*doc.owned_text, doc, options)) return true;
    *owned = std::move(*doc.owned_text);
    doc.owned_text.reset();
    return false;
  };
  if (std::optional<RepairError> error = read_or_repair(text, read)) return Unexpected(std::move(*error));
  return doc;
}

}  // namespace plomet
