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
#include "text/text_scan.h"

namespace plomet {
namespace {

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
