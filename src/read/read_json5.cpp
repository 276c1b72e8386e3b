// read_json5: the JSON5 grammar's events built into a document tree.
//
// The parts of all open containers are gathered on stacks shared across
// nesting levels; a finished container is copied into the arena in one piece.
#include "read/read_json5.h"

#include <vector>

#include "document/container_parts.h"

namespace plomet {

namespace {

class TreeBuilder {
 public:
  explicit TreeBuilder(JsonArena& arena) : arena_(arena) {}

  JsonValue root() const { return root_; }

  void begin_array() { open_.push_back({parts_.mark(false), strings_with_controls_, false}); }
  void begin_object() { open_.push_back({parts_.mark(true), strings_with_controls_, true}); }
  void end_array() { end_container(); }
  void end_object() { end_container(); }

  static bool wants_key_text() { return true; }
  static bool wants_string_text() { return true; }

  bool key(std::string_view key, bool transient) {
    parts_.add_member(transient ? arena_.copy_string(key) : key, JsonValue());
    return true;
  }

  void null_value() { place(JsonValue::null()); }
  void bool_value(bool value) { place(JsonValue::boolean(value)); }

  void number_value(const NumberToken& number) {
    switch (number.number_class) {
      case NumberToken::Class::Integer:
        place(JsonValue::number(number.integer));
        break;
      case NumberToken::Class::Float:
        place(JsonValue::number(JsonNumber::f64(float_token_value(number))));
        break;
      case NumberToken::Class::NotANumber:
        place(JsonValue::null());
        break;
    }
  }

  void string_value(std::string_view text, bool transient, bool has_controls) {
    JsonValue value = JsonValue::string(transient ? arena_.copy_string(text) : text);
    value.note_control_characters(has_controls);
    strings_with_controls_ += has_controls ? 1 : 0;
    place(value);
  }

 private:
  struct OpenContainer {
    std::size_t first;  // the mark of its parts
    std::size_t strings_with_controls_before;
    bool is_object;
  };

  void place(JsonValue value) {
    if (open_.empty()) {
      root_ = value;
    } else if (open_.back().is_object) {
      parts_.last_member_value() = value;
    } else {
      parts_.add_item(value);
    }
  }

  void end_container() {
    OpenContainer top = open_.back();
    open_.pop_back();
    JsonValue container = parts_.close(top.is_object, top.first, arena_);
    container.note_control_characters(strings_with_controls_ != top.strings_with_controls_before);
    place(container);
  }

  JsonArena& arena_;
  JsonValue root_;
  std::vector<OpenContainer> open_;
  ContainerParts parts_;
  // How many string values so far hold a control character other than LF.
  std::size_t strings_with_controls_ = 0;
};

}  // namespace

Expected<JsonValue, Json5ReadError> read_json5(Context& context, std::string_view text, JsonArena& arena) {
  TreeBuilder builder(arena);
  Json5EventReader reader(context, text, builder);
  if (reader.read() != decltype(reader)::Outcome::Read) return Unexpected(reader.failure());
  return builder.root();
}

std::optional<JsonValue> try_read_json5(Context& context, std::string_view text, JsonArena& arena) {
  TreeBuilder builder(arena);
  Json5EventReader reader(context, text, builder);
  if (reader.read() != decltype(reader)::Outcome::Read) return std::nullopt;
  return builder.root();
}

}  // namespace plomet
