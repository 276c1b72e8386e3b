// One object folded into a target object, key by key, in the other object's
// order: shared keys are found (and their values merged by the caller), new
// keys are appended as optional, and finish() marks optional the target keys
// the other object lacked. Costs time linear in the other object's keys plus
// the keys that become optional, however large the target has grown.
#pragma once

#include <cstddef>
#include <string_view>

#include "shape/schema.h"

namespace plomet {

// The merge bookkeeping of target, with its required fields listed.
ObjectMergeState& merge_state_of(ObjectSchema& target);

// The position of key among the object's fields, or the field count when it
// has none; tries hint first. Objects of many fields are searched through
// their key index, which this brings up to date.
std::size_t field_position(ObjectSchema& object, std::string_view key, std::size_t hint);

class ObjectMerge {
 public:
  explicit ObjectMerge(ObjectSchema& target);

  // The target's field for key, noted as present in the other object; null
  // when the target lacks the key.
  SchemaField* find_shared(std::string_view key);
  // Appends a key the target lacks, marked optional, with a Null value for
  // the caller to fill in before the next append.
  Schema& append_new(std::string_view key);
  // Marks optional the required keys that were not found; call once, after
  // every key of the other object.
  void finish();

 private:
  ObjectSchema& target_;
  ObjectMergeState& state_;
  std::size_t hint_ = 0;
};

}  // namespace plomet
