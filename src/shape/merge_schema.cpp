#include <algorithm>

#include "shape/object_merge.h"
#include "shape/schema.h"

namespace plomet {

namespace {

// Shared keys merge their shapes, keys new to the target are appended as
// optional deep copies, target keys that other lacks become optional, and
// other's optional keys stay optional.
void merge_fields(ObjectSchema& target, const ObjectSchema& other) {
  ObjectMerge merge(target);
  for (const SchemaField& incoming : other.fields) {
    if (SchemaField* field = merge.find_shared(incoming.key)) {
      field->optional = field->optional || incoming.optional;
      merge_schema(field->value, incoming.value);
    } else {
      copy_schema_into(merge.append_new(incoming.key), incoming.value);
    }
  }
  merge.finish();
}

}  // namespace

void merge_schema(Schema& target, const Schema& other) {
  if (target.is(Schema::Kind::Int) && other.is(Schema::Kind::Float)) {
    // The integer examples are dropped and the float ones are not taken.
    target.payload.emplace<FloatSchema>();
  } else if (target.is(Schema::Kind::Array) && other.is(Schema::Kind::Array)) {
    ArraySchema& array = std::get<ArraySchema>(target.payload);
    const ArraySchema& incoming = std::get<ArraySchema>(other.payload);
    array.max_items = std::max(array.max_items, incoming.max_items);
    if (array.item && incoming.item) merge_schema(*array.item, *incoming.item);
  } else if (target.is(Schema::Kind::Object) && other.is(Schema::Kind::Object)) {
    merge_fields(std::get<ObjectSchema>(target.payload), std::get<ObjectSchema>(other.payload));
  }
}

}  // namespace plomet
