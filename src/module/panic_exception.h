// PanicException: how a fault of the native code reaches Python. It derives
// from BaseException, so `except Exception` handlers let it pass.
#pragma once

#include "module/python_api.h"

namespace plomet::module {

// The process-wide PanicException type, created on first use (borrowed
// reference), or nullptr with a Python error set.
PyObject* panic_exception_type();

// Sets the Python error for the C++ exception being handled: InternalFault and
// every other exception become PanicException (with a diagnostic line on
// stderr), std::bad_alloc becomes MemoryError. Call only from a catch block.
void raise_for_current_native_exception() noexcept;

}  // namespace plomet::module
