// The module definition of plomet._plomet, which the package plomet
// re-exports: multi-phase initialisation whose one exec
// slot adds analyze_json to the module and to its __all__, and the Shape
// type to the module. __all__ stays ["analyze_json"], which callers may rely
// on; Shape is reached as plomet.Shape.
#include "module/analyze_json.h"
#include "module/python_api.h"
#include "module/shape_object.h"

namespace plomet::module {
namespace {

// Adds object to module under its __name__, and appends that name to
// __all__ (created when absent).
int add_public(PyObject* module, PyObject* object) {
  PyRef name(PyObject_GetAttrString(object, "__name__"));
  if (!name) return -1;

  PyRef all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = PyRef(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
  }
  if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
    return -1;
  }
  if (PyList_Append(all.get(), name.get()) < 0) return -1;
  return PyObject_SetAttr(module, name.get(), object);
}

// Adds a function built from definition, bound to module, whose __module__
// is the package plomet that re-exports it.
int add_function(PyObject* module, PyMethodDef* definition) {
  PyRef module_name(PyUnicode_FromString("plomet"));
  if (!module_name) return -1;
  PyRef function(PyCFunction_NewEx(definition, module, module_name.get()));
  if (!function) return -1;
  return add_public(module, function.get());
}

int add_shape_type(PyObject* module) {
  PyRef type(new_shape_type(module));
  if (!type) return -1;
  return PyObject_SetAttrString(module, "Shape", type.get());
}

int exec_plomet(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "plomet can only be executed on a module object");
    return -1;
  }
  if (add_function(module, analyze_json_method()) < 0) return -1;
  return add_shape_type(module);
}

PyModuleDef_Slot plomet_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_plomet)},
    {0, nullptr},
};

PyModuleDef plomet_definition = {
    PyModuleDef_HEAD_INIT,
    "plomet._plomet",
    "",
    0,
    nullptr,
    plomet_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace plomet::module

PyMODINIT_FUNC PyInit__plomet() { return PyModuleDef_Init(&plomet::module::plomet_definition); }
