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
#include <algorithm>
#include <limits>
#include <optional>
#include <span>

#include "shape/object_merge.h"
#include "shape/schema.h"

namespace plomet {

namespace {

constexpr std::uint64_t kLargestInt = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Up to this many examples a duplicate is found by comparing with each;
// longer lists are searched through a hash index.
constexpr std::size_t kExampleScanLimit = 8;

void infer_into(Schema& out, const JsonValue& value);
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
// skipping values equal to one already held. Short lists are searched by
// comparing with each example; longer ones through a hash index, whose slots
// are fetched a few values ahead of their insertion, so that the memory
// accesses of a long list overlap instead of following one another.
template <class T, class Extract, class Hash>
[[gnu::noinline]] void gather_examples(LargeVector<T>& examples, std::span<const JsonValue> items,
                                       Extract extract, Hash hash) {
  std::size_t next = 0;
  for (; next < items.size() && examples.size() < kExampleScanLimit; ++next) {
    std::optional<T> candidate = extract(items[next]);
    if (!candidate) continue;
    bool held = false;
    for (const T& example : examples) held = held || example == *candidate;
    if (!held) examples.push_back(*candidate);
  }
  if (next == items.size()) return;

  PositionIndex index;
  for (std::size_t i = 0; i < examples.size(); ++i) {
    index.insert_new(hash(examples[i]), static_cast<std::uint32_t>(i));
  }
  struct Pending {
    T value;
    std::uint64_t hash;
  };
  constexpr std::size_t kLookahead = 16;
  Pending pending[kLookahead];
  std::size_t first = 0;
  std::size_t count = 0;
  auto insert_first = [&] {
    const Pending& p = pending[first];
    const auto position = static_cast<std::uint32_t>(examples.size());
    if (index.insert_unique(p.hash, position, [&](std::uint32_t i) { return examples[i] == p.value; })) {
      examples.push_back(p.value);
    }
    first = (first + 1) % kLookahead;
    --count;
  };
  for (; next < items.size(); ++next) {
    std::optional<T> candidate = extract(items[next]);
    if (!candidate) continue;
    if (count == kLookahead) insert_first();
    const std::uint64_t h = hash(*candidate);
    index.prefetch(h);
    pending[(first + count) % kLookahead] = {*candidate, h};
    ++count;
  }
  while (count > 0) insert_first();
}

// The recursive functions below keep their frames small (no schema
// temporaries; scalar work in separate functions), so that the deepest
// documents the reader accepts infer on a small thread stack.

[[gnu::noinline]] void infer_scalar_into(Schema& out, const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::Bool:
      out.payload.emplace<BoolSchema>().example = value.as_bool();
      break;
    case JsonValue::Kind::Number: {
      const JsonNumber& n = value.as_number();
      if (n.kind == JsonNumber::Kind::I64) {
        out.payload.emplace<IntSchema>().examples.push_back(n.i64_value);
      } else if (n.kind == JsonNumber::Kind::U64 && n.u64_value <= kLargestInt) {
        out.payload.emplace<IntSchema>().examples.push_back(static_cast<std::int64_t>(n.u64_value));
      } else {
        out.payload.emplace<FloatSchema>().examples.push_back(*float_example(value));
      }
      break;
    }
    case JsonValue::Kind::String:
      out.payload.emplace<StrSchema>().examples.push_back(value.as_string());
      break;
    case JsonValue::Kind::Null:
    case JsonValue::Kind::Array:
    case JsonValue::Kind::Object:
      out.payload.emplace<NullSchema>();
      break;
  }
}

// Applies the later items of an array to a scalar item shape.
[[gnu::noinline]] void refine_scalar_item(Schema& item, std::span<const JsonValue> rest) {
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
    case Schema::Kind::Null:  // merging into Null changes nothing
    case Schema::Kind::Array:
    case Schema::Kind::Object:
      break;
  }
}

// The item shape of an array, into item (Null on entry): the first item's
// shape refined by the rest.
void infer_items_into(Schema& item, std::span<const JsonValue> items) {
  if (items.empty()) return;
  infer_into(item, items.front());
  if (item.is_container()) {
    for (const JsonValue& later : items.subspan(1)) fold_value(item, later);
  } else {
    refine_scalar_item(item, items.subspan(1));
  }
}

// The shape of value, into out (Null on entry).
void infer_into(Schema& out, const JsonValue& value) {
  if (value.is(JsonValue::Kind::Array)) {
    const std::span<const JsonValue> items = value.items();
    ArraySchema& array = out.payload.emplace<ArraySchema>();
    array.item = std::make_unique<Schema>();
    array.max_items = items.size();
    infer_items_into(*array.item, items);
  } else if (value.is(JsonValue::Kind::Object)) {
    const ObjectMembers members = value.members();
    std::vector<SchemaField>& fields = out.payload.emplace<ObjectSchema>().fields;
    fields.resize(members.size());
    SchemaField* field = fields.data();
    for (const JsonMember& member : members) {
      field->key = member.key;
      infer_into(field->value, member.value);
      ++field;
    }
  } else {
    infer_scalar_into(out, value);
  }
}

// merge_schema(target, infer(value)) for objects: shared keys fold their
// values, new keys are appended as optional, and target keys missing from
// value become optional.
void fold_members(ObjectSchema& target, const ObjectMembers& members) {
  ObjectMerge merge(target);
  for (const JsonMember& member : members) {
    if (SchemaField* field = merge.find_shared(member.key)) {
      fold_value(field->value, member.value);
    } else {
      infer_into(merge.append_new(member.key), member.value);
    }
  }
  merge.finish();
}

// Items of a nested array merge among themselves before they meet the
// target; see the top of this file.
[[gnu::noinline]] void merge_gathered_items(Schema& target, std::span<const JsonValue> items) {
  Schema gathered;
  infer_items_into(gathered, items);
  merge_schema(target, gathered);
}

// merge_schema(target, the item shape of items) for a non-empty item list.
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
  for (const JsonValue& later : items.subspan(1)) {
    if (later.is(shared_kind)) {
      merge_gathered_items(target, items);
      return;
    }
  }
  fold_value(target, first);  // the item shape is the first item's own
}

void fold_value(Schema& target, const JsonValue& value) {
  if (target.is(Schema::Kind::Int)) {
    if (infers_as_float(value)) target.payload.emplace<FloatSchema>();
  } else if (target.is(Schema::Kind::Array)) {
    if (!value.is(JsonValue::Kind::Array)) return;
    ArraySchema& array = std::get<ArraySchema>(target.payload);
    const std::span<const JsonValue> items = value.items();
    array.max_items = std::max<std::uint64_t>(array.max_items, items.size());
    if (!items.empty()) fold_items(*array.item, items);
  } else if (target.is(Schema::Kind::Object)) {
    if (value.is(JsonValue::Kind::Object)) fold_members(std::get<ObjectSchema>(target.payload), value.members());
  }
}

}  // namespace

Schema infer_schema(const JsonValue& value) {
  Schema schema;
  infer_into(schema, value);
  return schema;
}

}  // namespace plomet
