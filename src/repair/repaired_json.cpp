#include "repair/repaired_json.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "document/compact_json_writer.h"
#include "document/json_value.h"
#include "core/position_index.h"
#include "read/json5_event_reader.h"
#include "read/read_json5.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_driver.h"
#include "text/float_text.h"
#include "text/json_string_text.h"
#include "text/number_text.h"

namespace plomet {
namespace {

// Writes the reader's events as compact JSON. A repeated key stops the read:
// the tree keeps its first place and last value, which only the tree can
// give, so such a text is written from its tree instead.
class CompactJsonEvents {
 public:
  explicit CompactJsonEvents(std::string& out) : out_(out) {}

  static bool wants_key_text() { return true; }
  static bool wants_string_text() { return true; }

  void begin_array() { open('['); }
  void begin_object() { open('{'); }
  void end_array() { close(']'); }
  void end_object() { close('}'); }

  bool key(std::string_view key, bool transient) {
    if (!key_is_new(key, transient)) return false;
    separate();
    append_json_string_text(out_, key);
    out_.push_back(':');
    after_key_ = true;
    return true;
  }

  void null_value() { scalar("null"); }
  void bool_value(bool value) { scalar(value ? "true" : "false"); }

  void number_value(const NumberToken& number) {
    separate();
    switch (number.number_class) {
      case NumberToken::Class::Integer:
        if (number.integer.kind == JsonNumber::Kind::U64) {
          number_text::append_integer_text(out_, number.integer.u64_value);
        } else {
          number_text::append_integer_text(out_, number.integer.i64_value);
        }
        break;
      case NumberToken::Class::Float:
        append_compact_float(out_, float_token_value(number));
        break;
      case NumberToken::Class::NotANumber:  // the read fails at its end
        out_.append("null");
        break;
    }
  }

  void string_value(std::string_view text, bool /*transient*/, bool /*has_controls*/) {
    separate();
    append_json_string_text(out_, text);
  }

 private:
  // An object's keys are compared one by one up to this many; beyond, through
  // a hash index of its keys.
  static constexpr std::size_t kScannedKeys = 16;

  struct Open {
    bool is_object;
    bool indexed = false;
    std::uint64_t count = 0;
    std::size_t first_key = 0;
  };

  void scalar(std::string_view text) {
    separate();
    out_.append(text);
  }

  // The comma before a value or key that is not its container's first; none
  // before the value of a key.
  void separate() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (!open_.empty() && open_.back().count++ > 0) out_.push_back(',');
  }

  void open(char bracket) {
    separate();
    out_.push_back(bracket);
    open_.push_back({bracket == '{', false, 0, keys_.size()});
  }

  void close(char bracket) {
    out_.push_back(bracket);
    keys_.resize(open_.back().first_key);
    open_.pop_back();
  }

  bool key_is_new(std::string_view key, bool transient) {
    Open& top = open_.back();
    const std::size_t held = keys_.size() - top.first_key;
    const std::span<const std::string_view> earlier(keys_.data() + top.first_key, held);
    if (held < kScannedKeys) {
      if (std::find(earlier.begin(), earlier.end(), key) != earlier.end()) return false;
    } else {
      if (indexes_.size() < open_.size()) indexes_.resize(open_.size());
      PositionIndex& index = indexes_[open_.size() - 1];
      if (!top.indexed) {
        index.reset(2 * held);
        for (std::size_t i = 0; i < held; ++i) index.insert_new(hash_bytes(earlier[i]), static_cast<std::uint32_t>(i));
        top.indexed = true;
      }
      const std::uint32_t found = index.insert_or_find(hash_bytes(key), static_cast<std::uint32_t>(held),
                                                       [&](std::uint32_t at) { return earlier[at] == key; });
      if (found != PositionIndex::kAbsent) return false;
    }
    keys_.push_back(transient ? key_texts_.copy_string(key) : key);
    return true;
  }

  std::string& out_;
  std::vector<Open> open_;
  bool after_key_ = false;
  // The keys of the open objects, each object's after its parent's.
  std::vector<std::string_view> keys_;
  // The index of the open object at each depth that has many keys.
  std::vector<PositionIndex> indexes_;
  JsonArena key_texts_;
};

enum class Written : std::uint8_t { Read, DoesNotRead, RepeatsAKey };

// Appends text's document, read as JSON5, to out; on failure out is cut back.
Written append_from_events(Context& context, std::string_view text, std::string& out, Json5ReadError* failure) {
  const std::size_t start = out.size();
  CompactJsonEvents writer(out);
  Json5EventReader reader(context, text, writer);
  const auto outcome = reader.read();
  if (outcome == decltype(reader)::Outcome::Read) return Written::Read;
  out.resize(start);
  if (outcome == decltype(reader)::Outcome::Stopped) return Written::RepeatsAKey;
  if (failure != nullptr) *failure = reader.failure();
  return Written::DoesNotRead;
}

}  // namespace

std::optional<RepairError> append_repaired_json(Context& context, std::string_view text, std::string& out,
                                                diagnostics::ReadAttempt* gave) {
  if (text.empty()) {
    if (gave != nullptr) *gave = {};
    out.append("{}");
    return std::nullopt;
  }
  auto read = [&out, &context](std::string_view candidate, Text* /*owned*/) {
    switch (append_from_events(context, candidate, out, nullptr)) {
      case Written::Read:
        return true;
      case Written::DoesNotRead:
        return false;
      case Written::RepeatsAKey:
        break;
    }
    JsonDocument document(context);
    if (!read_document(context, candidate, document, ReadOptions{.remove_control_characters = false})) return false;
    write_compact_json(context, document.root, out);
    return true;
  };
  return read_or_repair(context, text, read, gave);
}

std::optional<Json5ReadError> append_json5_as_compact(Context& context, std::string_view text, std::string& out) {
  Json5ReadError failure{};
  switch (append_from_events(context, text, out, &failure)) {
    case Written::Read:
      return std::nullopt;
    case Written::DoesNotRead:
      return failure;
    case Written::RepeatsAKey:
      break;
  }
  JsonArena arena(context);
  auto value = read_json5(context, text, arena);
  if (!value) return std::move(value).error();
  write_compact_json(context, *value, out);
  return std::nullopt;
}

}  // namespace plomet
