// The one way into the CPython headers, and a small owner for new references.
// The stable-ABI module is built with Py_LIMITED_API, so only the stable ABI
// is reachable; the module built for one interpreter reaches beyond it in
// utf8_input alone.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace plomet::module {

// Owns one strong reference (or none) and drops it when it goes out of scope.
class PyRef {
 public:
  PyRef() = default;
  explicit PyRef(PyObject* owned) : object_(owned) {}
  static PyRef borrow(PyObject* borrowed) {
    Py_XINCREF(borrowed);
    return PyRef(borrowed);
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef(std::move(other)).swap(*this);
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }
  void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

 private:
  PyObject* object_ = nullptr;
};

inline PyObject* as_object(PyTypeObject* type) { return reinterpret_cast<PyObject*>(type); }

}  // namespace plomet::module
