// Inference. The first item of an array decides the kind of its items:
// scalar items gather examples from the later items of their kind, and
// container items take the later items through the merge rules.
//
// Later container items are folded straight into the item shape ("infer
// into") instead of being inferred into a temporary shape that is merged and
// dropped. Folding a value gives exactly merge_schema(target, infer(value)):
// the target's kind decides, merging never adds examples, and a key new to
// the target takes the inferred shape of its value, which is what the deep
// copy of that shape would be. The one place where folding item by item would
// differ from merging is an array nested in a later item: its items are first
// merged among themselves, under the kind of its own first item, and only
// then into the target. That case builds the nested array's item shape and
// merges it.
#include <limits>

#include "shape/object_merge.h"
#include "shape/schema.h"

namespace plomet {

namespace {

constexpr std::uint64_t kLargestInt = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Up to this many examples a duplicate is found by comparing with each;
// longer lists are searched through a hash index.
constexpr std::size_t kExampleScanLimit = 8;

Schema infer_value(const JsonValue& value);
void fold_value(Schema& target, const JsonValue& value);

// The integer an item adds to an Int item shape, if it adds one.
std::optional<std::int64_t> integer_example(const JsonValue& value) {
  if (!value.is(JsonValue::Kind::Number)) return std::nullopt;
  const JsonNumber& n = value.as_number();
  if (n.kind == JsonNumber::Kind::I64) return n.i64_value;
  if (n.kind == JsonNumber::Kind::U64 && n.u64_value <= kLargestInt) return static_cast<std::int64_t>(n.u64_value);
  return std::nullopt;
}

// The double an item adds to a Float item shape: every number, rounded to
// nearest.
std::optional<double> float_example(const JsonValue& value) {
  if (!value.is(JsonValue::Kind::Number)) return std::nullopt;
  const JsonNumber& n = value.as_number();
  switch (n.kind) {
    case JsonNumber::Kind::U64: return static_cast<double>(n.u64_value);
    case JsonNumber::Kind::I64: return static_cast<double>(n.i64_value);
    case JsonNumber::Kind::F64: return n.f64_value;
  }
  return std::nullopt;
}

// Whether a number infers as Float: a non-integer, or an integer above the
// signed 64-bit range.
bool infers_as_float(const JsonValue& value) {
  if (!value.is(JsonValue::Kind::Number)) return false;
  const JsonNumber& n = value.as_number();
  return n.kind == JsonNumber::Kind::F64 || (n.kind == JsonNumber::Kind::U64 && n.u64_value > kLargestInt);
}

// Appends to an example list the values that extract yields for the items,
// skipping values equal to one already held.
template <class T, class Extract, class Hash>
[[gnu::noinline]] void gather_examples(std::vector<T>& examples, std::span<const JsonValue> items,
                                       Extract extract, Hash hash) {
  PositionIndex index;
  for (const JsonValue& item : items) {
    std::optional<T> candidate = extract(item);
    if (!candidate) continue;
    const T value = *candidate;
    if (examples.size() < kExampleScanLimit) {
      bool held = false;
      for (const T& example : examples) held = held || example == value;
      if (held) continue;
      examples.push_back(value);
      if (examples.size() == kExampleScanLimit) {
        for (std::size_t i = 0; i < examples.size(); ++i) {
          index.insert_new(hash(examples[i]), static_cast<std::uint32_t>(i));
        }
      }
      continue;
    }
    const auto position = static_cast<std::uint32_t>(examples.size());
    if (index.insert_unique(hash(value), position, [&](std::uint32_t i) { return examples[i] == value; })) {
      examples.push_back(value);
    }
  }
}

// The item shape of an array: the first item's shape refined by the rest.
Schema infer_items(std::span<const JsonValue> items) {
  if (items.empty()) return Schema();
  Schema item = infer_value(items.front());
  const std::span<const JsonValue> rest = items.subspan(1);
  switch (static_cast<Schema::Kind>(item.payload.index())) {
    case Schema::Kind::Bool:
      std::get<BoolSchema>(item.payload).example.reset();
      break;
    case Schema::Kind::Int:
      gather_examples(std::get<IntSchema>(item.payload).examples, rest, integer_example, hash_integer);
      break;
    case Schema::Kind::Float:
      gather_examples(std::get<FloatSchema>(item.payload).examples, rest, float_example, hash_double);
      break;
    case Schema::Kind::Str:
      gather_examples(
          std::get<StrSchema>(item.payload).examples, rest,
          [](const JsonValue& v) {
            return v.is(JsonValue::Kind::String) ? std::optional(v.as_string()) : std::nullopt;
          },
          hash_bytes);
      break;
    case Schema::Kind::Null:
      break;  // merging into Null changes nothing
    case Schema::Kind::Array:
    case Schema::Kind::Object:
      for (const JsonValue& later : rest) fold_value(item, later);
      break;
  }
  return item;
}

Schema infer_object(const ObjectMap& members) {
  ObjectSchema object;
  object.fields.reserve(members.size());
  for (const JsonMember& member : members) object.fields.push_back({member.key, infer_value(member.value)});
  return Schema(std::move(object));
}

Schema infer_number(const JsonNumber& n) {
  switch (n.kind) {
    case JsonNumber::Kind::I64:
      return Schema(IntSchema{{n.i64_value}});
    case JsonNumber::Kind::U64:
      if (n.u64_value <= kLargestInt) return Schema(IntSchema{{static_cast<std::int64_t>(n.u64_value)}});
      return Schema(FloatSchema{{static_cast<double>(n.u64_value)}});
    case JsonNumber::Kind::F64:
      return Schema(FloatSchema{{n.f64_value}});
  }
  return Schema();
}

Schema infer_value(const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::Null:
      return Schema();
    case JsonValue::Kind::Bool:
      return Schema(BoolSchema{value.as_bool()});
    case JsonValue::Kind::Number:
      return infer_number(value.as_number());
    case JsonValue::Kind::String:
      return Schema(StrSchema{{value.as_string()}});
    case JsonValue::Kind::Array: {
      const std::span<const JsonValue> items = value.items();
      return Schema::array(infer_items(items), items.size());
    }
    case JsonValue::Kind::Object:
      return infer_object(value.members());
  }
  return Schema();
}

// merge_schema(target, infer(value)) for objects: shared keys fold their
// values, new keys are appended as optional, and target keys missing from
// value become optional.
void fold_members(ObjectSchema& target, const ObjectMap& members) {
  ObjectMerge merge(target);
  for (const JsonMember& member : members) {
    if (SchemaField* field = merge.find_shared(member.key)) {
      fold_value(field->value, member.value);
    } else {
      merge.append_new(member.key, infer_value(member.value));
    }
  }
  merge.finish();
}

// merge_schema(target, infer_items(items)) for a non-empty item list.
void fold_items(Schema& target, std::span<const JsonValue> items) {
  const JsonValue& first = items.front();
  JsonValue::Kind shared_kind;
  if (target.is(Schema::Kind::Array)) {
    shared_kind = JsonValue::Kind::Array;
  } else if (target.is(Schema::Kind::Object)) {
    shared_kind = JsonValue::Kind::Object;
  } else {
    // A scalar target changes only when an Int meets a Float, which the
    // first item alone decides.
    fold_value(target, first);
    return;
  }
  if (!first.is(shared_kind)) return;
  bool later_of_kind = false;
  for (const JsonValue& later : items.subspan(1)) later_of_kind = later_of_kind || later.is(shared_kind);
  if (!later_of_kind) {
    fold_value(target, first);  // the item shape is the first item's own
    return;
  }
  const Schema gathered = infer_items(items);
  merge_schema(target, gathered);
}

void fold_value(Schema& target, const JsonValue& value) {
  switch (static_cast<Schema::Kind>(target.payload.index())) {
    case Schema::Kind::Int:
      if (infers_as_float(value)) target = Schema(FloatSchema{});
      break;
    case Schema::Kind::Array:
      if (value.is(JsonValue::Kind::Array)) {
        ArraySchema& array = std::get<ArraySchema>(target.payload);
        const std::span<const JsonValue> items = value.items();
        array.max_items = std::max<std::uint64_t>(array.max_items, items.size());
        if (!items.empty()) fold_items(*array.item, items);
      }
      break;
    case Schema::Kind::Object:
      if (value.is(JsonValue::Kind::Object)) fold_members(std::get<ObjectSchema>(target.payload), value.members());
      break;
    case Schema::Kind::Null:
    case Schema::Kind::Bool:
    case Schema::Kind::Float:
    case Schema::Kind::Str:
      break;
  }
}

}  // namespace

Schema infer_schema(const JsonValue& value) { return infer_value(value); }

}  // namespace plomet
