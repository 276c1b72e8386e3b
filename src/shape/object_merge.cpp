#include "shape/object_merge.h"

namespace plomet {

namespace {

// Up to this many fields a key is searched by comparing keys directly.
constexpr std::size_t kKeyScanLimit = 16;

}  // namespace

ObjectMergeState& merge_state_of(ObjectSchema& target) {
  if (!target.merge_state) target.merge_state = std::make_unique<ObjectMergeState>();
  ObjectMergeState& state = *target.merge_state;
  if (!state.required_listed) {
    for (std::size_t i = 0; i < target.fields.size(); ++i) {
      if (!target.fields[i].optional) state.required.push_back(static_cast<std::uint32_t>(i));
    }
    state.required_listed = true;
  }
  return state;
}

std::size_t field_position(ObjectSchema& object, std::string_view key, std::size_t hint) {
  const std::vector<SchemaField>& fields = object.fields;
  const std::size_t count = fields.size();
  // Objects merged into one another mostly list their keys in the same order.
  if (hint < count && fields[hint].key == key) return hint;
  if (count <= kKeyScanLimit) {
    for (std::size_t i = 0; i < count; ++i) {
      if (fields[i].key == key) return i;
    }
    return count;
  }
  if (!object.merge_state) object.merge_state = std::make_unique<ObjectMergeState>();
  PositionIndex& index = object.merge_state->key_index;
  for (std::size_t i = index.size(); i < count; ++i) {
    index.insert_new(hash_bytes(fields[i].key), static_cast<std::uint32_t>(i));
  }
  const std::uint32_t found = index.find(hash_bytes(key), [&](std::uint32_t i) { return fields[i].key == key; });
  return found == PositionIndex::kAbsent ? count : found;
}

ObjectMerge::ObjectMerge(ObjectSchema& target) : target_(target), state_(merge_state_of(target)) {}

SchemaField* ObjectMerge::find_shared(std::string_view key) {
  const std::size_t at = field_position(target_, key, hint_);
  if (at == target_.fields.size()) return nullptr;
  hint_ = at + 1;
  SchemaField& field = target_.fields[at];
  if (!field.optional) field.seen = true;
  return &field;
}

Schema& ObjectMerge::append_new(std::string_view key) {
  SchemaField& field = target_.fields.emplace_back();
  field.key = key;
  field.optional = true;
  return field.value;
}

void ObjectMerge::finish() {
  // Every seen mark is on a field of the required list, so this walk clears
  // them all; fields that end optional leave the list for good.
  std::vector<std::uint32_t>& required = state_.required;
  std::size_t kept = 0;
  for (const std::uint32_t at : required) {
    SchemaField& field = target_.fields[at];
    const bool still_required = field.seen && !field.optional;
    field.seen = false;
    field.optional = !still_required;
    if (still_required) required[kept++] = at;
  }
  required.resize(kept);
}

}  // namespace plomet
