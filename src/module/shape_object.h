// plomet.Shape, the fold of many documents, for the module's exec slot.
#pragma once

#include "module/python_api.h"

namespace plomet::module {

// A new Shape type for module (each module object has its own), or nullptr
// with the Python error set.
PyObject* new_shape_type(PyObject* module);

}  // namespace plomet::module
