// The inferred shape of a document: the kind of every value, the keys of
// every object in order with the optional ones marked, one merged shape for
// the items of each array, and example values for scalars.
//
// String examples and object keys are views into the document the schema was
// inferred from, so that document must outlive the schema. Within one call
// the document is released only after the outline has been rendered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "document/json_value.h"
#include "shape/leaf_text.h"
#include "core/position_index.h"

namespace plomet {

struct Schema;
struct SchemaField;

struct NullSchema {};

struct BoolSchema {
  // Absent for the item of an array.
  std::optional<bool> example;
};

// Example lists hold no two equal values, in order of first appearance.
struct IntSchema {
  LargeVector<std::int64_t> examples;
};

struct FloatSchema {
  // Compared with IEEE ==, so 0.0 and -0.0 count as one value.
  LargeVector<double> examples;
};

struct StrSchema {
  LargeVector<std::string_view> examples;
};

struct ArraySchema {
  // The one shape of every item; never null in a schema built by inference.
  std::unique_ptr<Schema> item;
  // The largest item count among the arrays merged into this node.
  std::uint64_t max_items = 0;
};

// Bookkeeping of an object that other objects are merged into, made on the
// first merge: a key index for large objects, covering the fields before
// key_index.size(), and the positions of the fields not marked optional.
// Once it exists, optional marks change only through merges.
struct ObjectMergeState {
  PositionIndex key_index;
  std::vector<std::uint32_t> required;
  // Whether required lists the required fields yet: inference may make the
  // state for its key index before the object is complete.
  bool required_listed = false;
};

// Fields in insertion order with unique keys. The optional keys are kept as a
// mark on each field: every optional key is a field key, and the set is only
// ever tested for membership or added to.
struct ObjectSchema {
  std::vector<SchemaField> fields;
  std::unique_ptr<ObjectMergeState> merge_state;
};

struct Schema {
  // The payload's index is the kind's tag.
  enum class Kind : std::uint8_t { Null = 0, Bool = 1, Int = 2, Float = 3, Str = 4, Array = 5, Object = 6 };
  using Payload =
      std::variant<NullSchema, BoolSchema, IntSchema, FloatSchema, StrSchema, ArraySchema, ObjectSchema>;

  Payload payload;

  Schema() noexcept;
  template <class T>
    requires std::is_constructible_v<Payload, T&&>
  Schema(T&& kind_payload) : payload(std::forward<T>(kind_payload)) {}
  Schema(Schema&& other) noexcept;
  Schema& operator=(Schema&& other) noexcept;
  Schema(const Schema&) = delete;  // deep copies are explicit: copy_schema_into
  Schema& operator=(const Schema&) = delete;
  // Releases nested containers from an explicit work list, so that a schema
  // of any depth is released without deep recursion.
  ~Schema();

  static Schema array(Schema item, std::uint64_t max_items);

  bool is(Kind kind) const { return payload.index() == static_cast<std::size_t>(kind); }
  bool is_container() const { return is(Kind::Array) || is(Kind::Object); }
};

struct SchemaField {
  std::string_view key;
  Schema value;
  bool optional = false;
  // Scratch mark of an object merge: a required key was present in the other
  // object. False outside a merge.
  bool seen = false;
  // Inference from text: the serial of the last object folded into this
  // one that had the key.
  std::uint64_t visit = 0;
};

// The shape of value. For arrays whose first item is a null, an array or an
// object, each later item is folded into the item shape exactly as merging
// its own inferred shape would.
Schema infer_schema(const JsonValue& value);

// Folds other into target in place; the target's kind wins. Only (Int, Float),
// (Array, Array) and (Object, Object) change the target, and examples are
// never combined.
void merge_schema(Schema& target, const Schema& other);

// A deep copy written over out: same kinds, examples, field order and
// optional marks.
void copy_schema_into(Schema& out, const Schema& schema);

}  // namespace plomet
