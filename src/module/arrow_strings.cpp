#include "module/arrow_strings.h"

#include <cstring>

namespace plomet::module {
namespace {

// The structs of the Arrow C data interface, an ABI that Arrow keeps stable.
struct ArrowSchema {
  const char* format;
  const char* name;
  const char* metadata;
  std::int64_t flags;
  std::int64_t n_children;
  ArrowSchema** children;
  ArrowSchema* dictionary;
  void (*release)(ArrowSchema*);
  void* private_data;
};

struct ArrowArray {
  std::int64_t length;
  std::int64_t null_count;
  std::int64_t offset;
  std::int64_t n_buffers;
  std::int64_t n_children;
  const void** buffers;
  ArrowArray** children;
  ArrowArray* dictionary;
  void (*release)(ArrowArray*);
  void* private_data;
};

// The struct a capsule of the given name points to, or nullptr with the
// error set. A struct whose release is null has been moved out already.
template <class Struct>
Struct* capsule_struct(PyObject* capsule, const char* name) {
  auto* found = static_cast<Struct*>(PyCapsule_GetPointer(capsule, name));
  if (found != nullptr && found->release == nullptr) {
    PyErr_Format(PyExc_ValueError, "the %s capsule was released", name);
    return nullptr;
  }
  return found;
}

// Whether a format string names string or binary ("u", "z"), or their large
// forms with 64-bit offsets ("U", "Z").
std::optional<bool> wide_offsets_of(const char* format) {
  if (std::strcmp(format, "u") == 0 || std::strcmp(format, "z") == 0) return false;
  if (std::strcmp(format, "U") == 0 || std::strcmp(format, "Z") == 0) return true;
  return std::nullopt;
}

}  // namespace

bool ArrowStrings::read(PyObject* object) {
  PyRef exporter(PyObject_GetAttrString(object, "__arrow_c_array__"));
  if (!exporter) {
    PyErr_Clear();
    PyRef name(PyObject_GetAttrString(as_object(Py_TYPE(object)), "__name__"));
    if (name) PyErr_Format(PyExc_TypeError, "expected an Arrow array (with __arrow_c_array__), not '%U'", name.get());
    return false;
  }
  PyRef capsules(PyObject_CallNoArgs(exporter.get()));
  if (!capsules) return false;
  if (!PyTuple_Check(capsules.get()) || PyTuple_Size(capsules.get()) != 2) {
    PyErr_SetString(PyExc_TypeError, "__arrow_c_array__() must return a (schema, array) pair of capsules");
    return false;
  }
  schema_capsule_ = PyRef::borrow(PyTuple_GetItem(capsules.get(), 0));
  array_capsule_ = PyRef::borrow(PyTuple_GetItem(capsules.get(), 1));
  const auto* schema = capsule_struct<ArrowSchema>(schema_capsule_.get(), "arrow_schema");
  if (schema == nullptr) return false;
  const auto* array = capsule_struct<ArrowArray>(array_capsule_.get(), "arrow_array");
  if (array == nullptr) return false;

  const std::optional<bool> wide = wide_offsets_of(schema->format);
  if (!wide) {
    PyErr_Format(PyExc_TypeError, "expected an Arrow array of strings or binary values, not of format '%s'",
                 schema->format);
    return false;
  }
  if (array->n_buffers != 3 || array->length < 0 || array->offset < 0 ||
      (array->length > 0 && array->buffers[1] == nullptr) ||
      (array->null_count > 0 && array->buffers[0] == nullptr)) {
    PyErr_SetString(PyExc_ValueError, "the Arrow array's buffers are not those of its type");
    return false;
  }
  // A null count of -1 is unknown; a missing validity bitmap means no nulls.
  validity_ = array->null_count == 0 ? nullptr : static_cast<const std::uint8_t*>(array->buffers[0]);
  offsets_ = array->buffers[1];
  data_ = static_cast<const char*>(array->buffers[2]);
  wide_offsets_ = *wide;
  first_ = array->offset;
  length_ = array->length;
  std::int64_t start = length_ > 0 ? offset_at(0) : 0;
  for (std::int64_t i = 1; i <= length_ && start >= 0; ++i) {
    const std::int64_t end = offset_at(i);
    start = end < start || (data_ == nullptr && end != start) ? -1 : end;
  }
  if (start < 0) PyErr_SetString(PyExc_ValueError, "the Arrow array's offsets are not in order");
  return start >= 0;
}

std::int64_t ArrowStrings::offset_at(std::int64_t i) const {
  const std::int64_t at = first_ + i;
  if (wide_offsets_) return static_cast<const std::int64_t*>(offsets_)[at];
  return static_cast<const std::int32_t*>(offsets_)[at];
}

std::optional<std::string_view> ArrowStrings::value(std::int64_t i) const {
  const std::int64_t at = first_ + i;
  if (validity_ != nullptr && (validity_[at / 8] >> (at % 8) & 1) == 0) return std::nullopt;
  const std::int64_t start = offset_at(i);
  if (data_ == nullptr) return std::string_view();
  return std::string_view(data_ + start, static_cast<std::size_t>(offset_at(i + 1) - start));
}

}  // namespace plomet::module
