// Each document's inferred shape meets the shape gathered so far exactly as
// a later array item meets the item shape: a scalar item shape gathers the
// examples of documents of its kind (Bool keeps none), a Null, Array or
// Object one takes the document through merge_schema.
#include "fold_documents.h"

#include <algorithm>
#include <utility>

namespace plomet {

namespace {

// The string store is compacted first when it reaches this size, later when
// it has doubled since the last compaction.
constexpr std::size_t kFirstCompaction = std::size_t{16} << 20;

// Calls visit on each key and string example of schema, so that it can
// replace the view. Recursive with a small frame: one level per nesting
// level, which the reader bounds.
template <class Visit>
void for_each_string(Schema& schema, Visit& visit) {
  if (auto* str = std::get_if<StrSchema>(&schema.payload)) {
    for (std::string_view& example : str->examples) visit(example);
  } else if (auto* array = std::get_if<ArraySchema>(&schema.payload)) {
    if (array->item) for_each_string(*array->item, visit);
  } else if (auto* object = std::get_if<ObjectSchema>(&schema.payload)) {
    for (SchemaField& field : object->fields) {
      visit(field.key);
      for_each_string(field.value, visit);
    }
  }
}

}  // namespace

DocumentFold::DocumentFold() : shape_(Schema::array(Schema(), 0)), compact_at_(kFirstCompaction) {}

void DocumentFold::add(const JsonValue& document) {
  Schema shape = infer_schema(document);
  ArraySchema& array = std::get<ArraySchema>(shape_.payload);
  Schema& item = *array.item;
  if (array.max_items++ == 0) {
    keep_strings_of(shape);
    item = std::move(shape);
    // A boolean item keeps no example, even alone.
    if (auto* boolean = std::get_if<BoolSchema>(&item.payload)) boolean->example.reset();
    index_first_example(item);
  } else if (item.is_container()) {
    // Only a document of the item's kind can leave strings in it.
    if (shape.payload.index() != item.payload.index()) return;
    keep_strings_of(shape);
    merge_schema(item, shape);
  } else {
    add_scalar(shape);  // a Null item takes nothing
  }
  compact_strings_when_due();
}

void DocumentFold::index_first_example(const Schema& item) {
  example_index_.reset(1);
  if (const auto* ints = std::get_if<IntSchema>(&item.payload)) {
    example_index_.insert_new(hash_integer(ints->examples[0]), 0);
  } else if (const auto* floats = std::get_if<FloatSchema>(&item.payload)) {
    example_index_.insert_new(hash_double(floats->examples[0]), 0);
  } else if (const auto* strings = std::get_if<StrSchema>(&item.payload)) {
    example_index_.insert_new(hash_bytes(strings->examples[0]), 0);
  }
}

// The scalar branches of array inference, for one more document.
void DocumentFold::add_scalar(const Schema& document) {
  auto add_unique = [&](auto& examples, auto value, std::uint64_t hash) {
    const auto position = static_cast<std::uint32_t>(examples.size());
    if (example_index_.insert_unique(hash, position, [&](std::uint32_t i) { return examples[i] == value; })) {
      examples.push_back(value);
      return true;
    }
    return false;
  };
  Schema& item = item_mut();
  if (auto* ints = std::get_if<IntSchema>(&item.payload)) {
    if (const auto* number = std::get_if<IntSchema>(&document.payload)) {
      add_unique(ints->examples, number->examples[0], hash_integer(number->examples[0]));
    }
  } else if (auto* floats = std::get_if<FloatSchema>(&item.payload)) {
    // Integers are taken too, rounded to the nearest double.
    double value = 0;
    if (const auto* number = std::get_if<IntSchema>(&document.payload)) {
      value = static_cast<double>(number->examples[0]);
    } else if (const auto* real = std::get_if<FloatSchema>(&document.payload)) {
      value = real->examples[0];
    } else {
      return;
    }
    add_unique(floats->examples, value, hash_double(value));
  } else if (auto* strings = std::get_if<StrSchema>(&item.payload)) {
    const auto* text = std::get_if<StrSchema>(&document.payload);
    if (text == nullptr) return;
    const std::string_view example = text->examples[0];
    if (add_unique(strings->examples, example, hash_bytes(example))) {
      strings->examples.back() = strings_.copy_string(example);
      string_bytes_ += example.size();
    }
  }
}

void DocumentFold::keep_strings_of(Schema& schema) {
  auto keep = [this](std::string_view& text) {
    text = strings_.copy_string(text);
    string_bytes_ += text.size();
  };
  for_each_string(schema, keep);
}

// Copies the strings the shape uses into a fresh store and drops the old one,
// with the copies of strings that merges did not retain.
void DocumentFold::compact_strings_when_due() {
  if (string_bytes_ < compact_at_) return;
  JsonArena fresh;
  std::size_t kept = 0;
  auto move_to_fresh = [&](std::string_view& text) {
    text = fresh.copy_string(text);
    kept += text.size();
  };
  for_each_string(shape_, move_to_fresh);
  strings_ = std::move(fresh);
  string_bytes_ = kept;
  compact_at_ = std::max(kFirstCompaction, 2 * kept);
}

}  // namespace plomet
