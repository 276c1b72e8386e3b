// plomet_fault_probe: a test-only module that throws C++ exceptions through
// the same boundary as analyze_json, since no input can reach an internal
// fault. It is built with the tests and never shipped.
#include <new>
#include <string_view>
#include <stdexcept>
#include <string>

#include "module/panic_exception.h"
#include "core/internal_fault.h"

namespace {

using plomet::module::PyRef;

[[noreturn]] void throw_kind(std::string_view kind, const char* message) {
  if (kind == "internal_fault") throw plomet::InternalFault(message);
  if (kind == "logic_error") throw std::logic_error(message);
  if (kind == "bad_alloc") throw std::bad_alloc();
  if (kind == "int") throw 7;
  throw std::invalid_argument("unknown kind");
}

// raise_native(kind, message): throws the named C++ exception and lets the
// boundary map it.
PyObject* raise_native(PyObject* /*module*/, PyObject* args) {
  const char* kind = nullptr;
  const char* message = "";
  if (!PyArg_ParseTuple(args, "s|s", &kind, &message)) return nullptr;
  try {
    throw_kind(kind, message);
  } catch (...) {
    plomet::module::raise_for_current_native_exception();
  }
  return nullptr;
}

PyObject* panic_exception_type(PyObject* /*module*/, PyObject* /*unused*/) {
  return PyRef::borrow(plomet::module::panic_exception_type()).release();
}

PyMethodDef probe_methods[] = {
    {"raise_native", &raise_native, METH_VARARGS, nullptr},
    {"panic_exception_type", &panic_exception_type, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_definition = {
    PyModuleDef_HEAD_INIT, "plomet_fault_probe", nullptr, 0, probe_methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_plomet_fault_probe() { return PyModuleDef_Init(&probe_definition); }
