#include "shape/schema.h"

#include <random>

namespace plomet {

std::uint64_t hash_seed() {
  static const std::uint64_t seed = [] {
    std::uint64_t drawn = 0x2545f4914f6cdd1dULL;
    try {
      std::random_device device;
      drawn ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (...) {
      // No entropy source: the fixed value still hashes well.
    }
    return drawn;
  }();
  return seed;
}

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

bool ObjectSchema::is_optional(std::string_view key) const {
  for (const SchemaField& field : fields) {
    if (field.key == key) return field.optional;
  }
  return false;
}

Schema copy_schema(const Schema& schema) {
  switch (static_cast<Schema::Kind>(schema.payload.index())) {
    case Schema::Kind::Null:
      return Schema();
    case Schema::Kind::Bool:
      return Schema(std::get<BoolSchema>(schema.payload));
    case Schema::Kind::Int:
      return Schema(std::get<IntSchema>(schema.payload));
    case Schema::Kind::Float:
      return Schema(std::get<FloatSchema>(schema.payload));
    case Schema::Kind::Str:
      return Schema(std::get<StrSchema>(schema.payload));
    case Schema::Kind::Array: {
      const ArraySchema& array = std::get<ArraySchema>(schema.payload);
      return Schema::array(array.item ? copy_schema(*array.item) : Schema(), array.max_items);
    }
    case Schema::Kind::Object: {
      const ObjectSchema& object = std::get<ObjectSchema>(schema.payload);
      ObjectSchema copy;
      copy.fields.reserve(object.fields.size());
      for (const SchemaField& field : object.fields) {
        copy.fields.push_back({field.key, copy_schema(field.value), field.optional, false});
      }
      return Schema(std::move(copy));
    }
  }
  return Schema();
}

}  // namespace plomet
