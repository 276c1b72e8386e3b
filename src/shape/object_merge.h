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
  std::size_t position_of(std::string_view key);

  ObjectSchema& target_;
  ObjectMergeState& state_;
  std::size_t hint_ = 0;
};

}  // namespace plomet
