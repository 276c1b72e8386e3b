// The values of an Arrow string or binary array, read in place through the
// Arrow C data interface: any object with __arrow_c_array__ (a pyarrow
// Array, and the arrays of other Arrow libraries) hands over capsules of an
// ArrowSchema and an ArrowArray, whose buffers are read without a copy and
// without a Python object per value.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "module/python_api.h"

namespace plomet::module {

class ArrowStrings {
 public:
  // Reads object's array; false with TypeError or ValueError set when it has
  // no __arrow_c_array__, is not of type string, large_string, binary or
  // large_binary, or its buffers are not as that type lays them out.
  bool read(PyObject* object);

  std::int64_t size() const { return length_; }
  // Value i (0 <= i < size()), or nullopt for a null.
  std::optional<std::string_view> value(std::int64_t i) const;

 private:
  std::int64_t offset_at(std::int64_t i) const;

  PyRef schema_capsule_;  // own the arrays' memory while the values are read
  PyRef array_capsule_;
  const std::uint8_t* validity_ = nullptr;
  const void* offsets_ = nullptr;
  const char* data_ = nullptr;
  bool wide_offsets_ = false;
  std::int64_t first_ = 0;
  std::int64_t length_ = 0;
};

}  // namespace plomet::module
