#include "shape/schema.h"

#include <type_traits>
#include <variant>


namespace plomet {

namespace {

bool has_container_child(const Schema& node) {
  if (const auto* array = std::get_if<ArraySchema>(&node.payload)) {
    return array->item && array->item->is_container();
  }
  if (const auto* object = std::get_if<ObjectSchema>(&node.payload)) {
    for (const SchemaField& field : object->fields) {
      if (field.value.is_container()) return true;
    }
  }
  return false;
}

// Moves node's container children onto pending, leaving empty nodes behind.
void detach_container_children(Schema& node, std::vector<Schema>& pending) {
  if (auto* array = std::get_if<ArraySchema>(&node.payload)) {
    if (array->item && array->item->is_container()) {
      pending.push_back(std::move(*array->item));
      *array->item = Schema();
    }
  } else if (auto* object = std::get_if<ObjectSchema>(&node.payload)) {
    for (SchemaField& field : object->fields) {
      if (field.value.is_container()) {
        pending.push_back(std::move(field.value));
        field.value = Schema();
      }
    }
  }
}

// Containers are the caller's; anything else, a payload left valueless
// included, is copied as Null.
[[gnu::noinline]] void copy_scalar_into(Schema& out, const Schema& schema) {
  if (schema.payload.valueless_by_exception()) {
    out.payload.emplace<NullSchema>();
    return;
  }
  std::visit(
      [&out](const auto& scalar) {
        using Payload = std::decay_t<decltype(scalar)>;
        if constexpr (std::is_same_v<Payload, ArraySchema> || std::is_same_v<Payload, ObjectSchema>) {
          out.payload.emplace<NullSchema>();
        } else {
          out.payload.emplace<Payload>(scalar);
        }
      },
      schema.payload);
}

}  // namespace

Schema::Schema() noexcept = default;
Schema::Schema(Schema&& other) noexcept = default;
Schema& Schema::operator=(Schema&& other) noexcept = default;

Schema::~Schema() {
  if (!has_container_child(*this)) return;
  try {
    std::vector<Schema> pending;
    detach_container_children(*this, pending);
    while (!pending.empty()) {
      Schema node = std::move(pending.back());
      pending.pop_back();
      detach_container_children(node, pending);
    }
  } catch (...) {
    // Out of memory for the work list: whatever was not detached is released
    // by the members' own destructors, which try again level by level.
  }
}

Schema Schema::array(Schema item, std::uint64_t max_items) {
  return Schema(ArraySchema{std::make_unique<Schema>(std::move(item)), max_items});
}

// Recursive with a small frame: containers are filled in place.
void copy_schema_into(Schema& out, const Schema& schema) {
  if (const auto* array = std::get_if<ArraySchema>(&schema.payload)) {
    ArraySchema& copy = out.payload.emplace<ArraySchema>();
    copy.max_items = array->max_items;
    copy.item = std::make_unique<Schema>();
    if (array->item) copy_schema_into(*copy.item, *array->item);
  } else if (const auto* object = std::get_if<ObjectSchema>(&schema.payload)) {
    std::vector<SchemaField>& fields = out.payload.emplace<ObjectSchema>().fields;
    fields.resize(object->fields.size());
    SchemaField* field = fields.data();
    for (const SchemaField& original : object->fields) {
      field->key = original.key;
      field->optional = original.optional;
      copy_schema_into(field->value, original.value);
      ++field;
    }
  } else {
    copy_scalar_into(out, schema);
  }
}

}  // namespace plomet
