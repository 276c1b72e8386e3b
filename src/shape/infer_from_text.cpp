// Inference from the reader's events. Each value goes to a destination that
// its place in the document decides:
//   Infer  - the value's own shape is built into an empty node: the root, a
//            key's value in an inferred object, a key new to a folded object,
//            the first item of an inferred array;
//   Fold   - the value is folded into an existing node exactly as merging
//            its inferred shape would: the later items of an array whose
//            item shape is a container, the values of keys a folded object
//            shares with its target;
//   Gather - the value adds an example to a scalar item shape: the later
//            items of an inferred array of scalars;
//   Skip   - the value cannot change the shape and is only read.
// Nothing is kept for a value beyond what its destination needs: with
// examples off, Gather never happens and no example is held.
//
// Folding item by item gives what merging the items' own shapes would,
// with one rule to keep: the items of an array nested in a folded value are
// merged among themselves under their own first item's kind before they
// meet the target, so when that first item does not share the target's kind
// the whole array leaves the target as it is.
#include "shape/infer_from_text.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "read/json5_event_reader.h"
#include "shape/object_merge.h"
#include "document/position_index.h"
#include "shape/event_values.h"
#include "shape/example_gatherer.h"

namespace plomet {
namespace {

enum class Destination : std::uint8_t { Infer, Fold, Gather, Skip };

// What a value is, as far as choosing and applying its destination goes.
enum class ValueKind : std::uint8_t { Null, Bool, Integer, Float, String, Array, Object };

struct Slot {
  Destination destination;
  Schema* node;
};

struct Frame {
  Schema* node;            // the Array or Object node; null when skipped
  std::uint64_t count = 0; // arrays: items begun
  std::uint64_t serial = 0;  // folded objects: this object's serial
  std::size_t hint = 0;      // objects: where the next key is looked for first
  Destination mode;          // Infer, Fold or Skip
  Destination later = Destination::Skip;  // arrays: where items after the first go
  bool is_object;
  bool cleaned = false;  // a kept string inside was cleaned of control characters
};

bool kind_matches(const Schema& node, ValueKind kind) {
  return (kind == ValueKind::Array && node.is(Schema::Kind::Array)) ||
         (kind == ValueKind::Object && node.is(Schema::Kind::Object));
}

class SchemaBuilder {
 public:
  SchemaBuilder(bool keep_examples, JsonArena& strings, Schema& root)
      : keep_examples_(keep_examples), strings_(strings), root_(root) {}

  void begin_array() { begin(ValueKind::Array); }
  void begin_object() { begin(ValueKind::Object); }
  void end_array() { end(); }
  void end_object() { end(); }

  bool wants_key_text() const { return frames_.back().mode != Destination::Skip; }

  // Only examples need a string's text.
  bool wants_string_text() const {
    if (!keep_examples_) return false;
    if (frames_.empty()) return true;
    const Frame& frame = frames_.back();
    if (frame.is_object) return pending_.destination == Destination::Infer;
    if (frame.mode == Destination::Skip) return false;
    if (frame.count == 0) return frame.mode == Destination::Infer;
    return frame.later == Destination::Gather;
  }

  bool key(std::string_view key, bool transient) {
    Frame& frame = frames_.back();
    if (frame.mode == Destination::Skip) {
      pending_ = {Destination::Skip, nullptr};
      return true;
    }
    ObjectSchema& object = std::get<ObjectSchema>(frame.node->payload);
    // Objects folded into one another mostly list their keys in the same
    // order, so the key after the last one found is tried first, inline.
    const std::size_t hint = frame.hint;
    const bool at_hint = hint < object.fields.size() && event_values::same_key(object.fields[hint].key, key);
    const std::size_t at = at_hint ? hint : field_position(object, key, object.fields.size());
    if (at < object.fields.size()) {
      frame.hint = at + 1;
      SchemaField& field = object.fields[at];
      if (frame.mode == Destination::Infer) {
        // A repeated key keeps its place and takes its last value.
        field.value = Schema();
        pending_ = {Destination::Infer, &field.value};
      } else {
        // The first value was folded in already and cannot be taken back.
        if (field.visit == frame.serial) return false;
        field.visit = frame.serial;
        pending_ = {Destination::Fold, &field.value};
      }
      return true;
    }
    frame.hint = at + 1;
    SchemaField& field = object.fields.emplace_back();
    field.key = transient ? strings_.copy_string(key) : key;
    if (frame.mode == Destination::Fold) {
      field.optional = true;
      field.visit = frame.serial;
    }
    pending_ = {Destination::Infer, &field.value};
    return true;
  }

  void null_value() { take_slot(ValueKind::Null); }

  void bool_value(bool value) {
    const Slot slot = take_slot(ValueKind::Bool);
    if (slot.destination != Destination::Infer) return;
    BoolSchema& node = slot.node->payload.emplace<BoolSchema>();
    if (keep_examples_) node.example = value;
  }

  void number_value(const NumberToken& number) {
    const bool is_integer = number.number_class == NumberToken::Class::Integer;
    if (number.number_class == NumberToken::Class::NotANumber) {
      take_slot(ValueKind::Null);
      return;
    }
    const Slot slot = take_slot(is_integer ? ValueKind::Integer : ValueKind::Float);
    switch (slot.destination) {
      case Destination::Infer:
        if (is_integer) {
          IntSchema& node = slot.node->payload.emplace<IntSchema>();
          if (keep_examples_) node.examples.push_back(event_values::integer_of(number.integer));
        } else {
          FloatSchema& node = slot.node->payload.emplace<FloatSchema>();
          if (keep_examples_) node.examples.push_back(float_token_value(number));
        }
        break;
      case Destination::Fold:
        // An integer node meeting a float becomes a float node, without
        // examples; nothing else changes a scalar.
        if (!is_integer && slot.node->is(Schema::Kind::Int)) slot.node->payload.emplace<FloatSchema>();
        break;
      case Destination::Gather:
        if (auto* ints = std::get_if<IntSchema>(&slot.node->payload)) {
          if (is_integer) int_examples_.add(ints->examples, event_values::integer_of(number.integer), frames_.size(), hash_integer);
        } else if (auto* floats = std::get_if<FloatSchema>(&slot.node->payload)) {
          float_examples_.add(floats->examples,
                              is_integer ? event_values::double_of(number.integer) : float_token_value(number), frames_.size(),
                              hash_double);
        }
        break;
      case Destination::Skip:
        break;
    }
  }

  void string_value(std::string_view text, bool transient, bool has_controls) {
    const Slot slot = take_slot(ValueKind::String);
    if (slot.destination == Destination::Infer) {
      StrSchema& node = slot.node->payload.emplace<StrSchema>();
      if (keep_examples_) node.examples.push_back(kept_string(cleaned(text, has_controls), transient || has_controls));
    } else if (slot.destination == Destination::Gather) {
      if (auto* strings = std::get_if<StrSchema>(&slot.node->payload)) {
        // The list may hold the example until the array ends.
        const std::string_view value = kept_string(cleaned(text, has_controls), transient || has_controls);
        string_examples_.add(strings->examples, value, frames_.size(), hash_bytes);
      }
    }
  }

 private:
  std::string_view kept_string(std::string_view text, bool copy) { return copy ? strings_.copy_string(text) : text; }

  // The string as the clean-up leaves it: without control characters other
  // than LF. A change emits the clean-up's event, and marks the containers
  // around it for theirs.
  std::string_view cleaned(std::string_view text, bool has_controls) {
    if (!has_controls) return text;
    if (!frames_.empty()) frames_.back().cleaned = true;
    return event_values::cleaned_string(text, cleaned_);
  }

  // Where the value that starts now goes.
  Slot take_slot(ValueKind kind) {
    if (frames_.empty()) return {Destination::Infer, &root_};
    Frame& frame = frames_.back();
    if (frame.is_object) return pending_;
    const std::uint64_t index = frame.count++;
    if (frame.mode == Destination::Skip) return {Destination::Skip, nullptr};
    Schema* item = std::get<ArraySchema>(frame.node->payload).item.get();
    if (index == 0) {
      if (frame.mode == Destination::Infer) {
        if (kind == ValueKind::Array || kind == ValueKind::Object) {
          frame.later = Destination::Fold;
        } else if (kind == ValueKind::Integer || kind == ValueKind::Float || kind == ValueKind::String) {
          frame.later = keep_examples_ ? Destination::Gather : Destination::Skip;
        }
        return {Destination::Infer, item};
      }
      // Folded: the later items count only when the first shares the kind
      // of the target's container item.
      frame.later = kind_matches(*item, kind) ? Destination::Fold : Destination::Skip;
      return {Destination::Fold, item};
    }
    return {frame.later, item};
  }

  void begin(ValueKind kind) {
    const Slot slot = take_slot(kind);
    Frame frame;
    frame.is_object = kind == ValueKind::Object;
    frame.node = slot.node;
    frame.mode = Destination::Skip;
    if (slot.destination == Destination::Infer) {
      frame.mode = Destination::Infer;
      if (frame.is_object) {
        slot.node->payload.emplace<ObjectSchema>();
      } else {
        slot.node->payload.emplace<ArraySchema>().item = std::make_unique<Schema>();
      }
    } else if (slot.destination == Destination::Fold && kind_matches(*slot.node, kind)) {
      frame.mode = Destination::Fold;
      if (frame.is_object) {
        ObjectSchema& target = std::get<ObjectSchema>(slot.node->payload);
        if (!target.merge_state || !target.merge_state->required_listed) merge_state_of(target);
        frame.serial = ++serial_;
      }
    }
    if (frame.mode == Destination::Skip) frame.node = nullptr;
    frames_.push_back(frame);
  }

  void end() {
    int_examples_.finish_at(frames_.size());
    float_examples_.finish_at(frames_.size());
    string_examples_.finish_at(frames_.size());
    const Frame& frame = frames_.back();
    if (frame.mode == Destination::Infer && !frame.is_object) {
      ArraySchema& array = std::get<ArraySchema>(frame.node->payload);
      array.max_items = frame.count;
      // An array's boolean item never keeps an example.
      if (auto* item = std::get_if<BoolSchema>(&array.item->payload)) item->example.reset();
    } else if (frame.mode == Destination::Fold && !frame.is_object) {
      ArraySchema& array = std::get<ArraySchema>(frame.node->payload);
      array.max_items = std::max(array.max_items, frame.count);
    } else if (frame.mode == Destination::Fold) {
      finish_fold(std::get<ObjectSchema>(frame.node->payload), frame.serial);
    }
    const bool cleaned = frame.cleaned;
    frames_.pop_back();
    if (cleaned) {
      event_values::note_cleaned_value();
      if (!frames_.empty()) frames_.back().cleaned = true;
    }
  }

  // The target's required keys that the folded object lacked become
  // optional, and leave the required list for good.
  static void finish_fold(ObjectSchema& target, std::uint64_t serial) {
    std::vector<std::uint32_t>& required = target.merge_state->required;
    std::size_t kept = 0;
    for (const std::uint32_t at : required) {
      SchemaField& field = target.fields[at];
      if (field.visit == serial) {
        required[kept++] = at;
      } else {
        field.optional = true;
      }
    }
    required.resize(kept);
  }

  const bool keep_examples_;
  JsonArena& strings_;
  Schema& root_;
  std::vector<Frame> frames_;
  Slot pending_{Destination::Skip, nullptr};
  std::uint64_t serial_ = 0;
  std::string cleaned_;
  ExampleGatherer<std::int64_t> int_examples_;
  ExampleGatherer<double> float_examples_;
  ExampleGatherer<std::string_view> string_examples_;
};

}  // namespace

TextInference infer_schema_from_text(std::string_view text, bool keep_examples, JsonArena& strings, Schema& schema) {
  schema = Schema();
  SchemaBuilder builder(keep_examples, strings, schema);
  Json5EventReader reader(text, builder);
  switch (reader.read()) {
    case decltype(reader)::Outcome::Read:
      return TextInference::Inferred;
    case decltype(reader)::Outcome::Stopped:
      return TextInference::NeedsTree;
    default:
      return TextInference::DoesNotRead;
  }
}

}  // namespace plomet
