#include "module/panic_exception.h"

#include <cstdio>
#include <exception>
#include <new>
#include <cstring>

#include "core/internal_fault.h"

namespace plomet::module {
namespace {

constexpr const char* kPanicExceptionName = "_plomet_runtime.PanicException";
constexpr const char* kPanicExceptionDoc =
    "Raised when the native code of plomet fails on a broken internal invariant.\n"
    "\n"
    "Like SystemExit, it derives from BaseException and not from Exception, so that\n"
    "`except Exception` handlers do not catch it: it typically propagates to the top\n"
    "and ends the program.";
constexpr const char* kFaultWithoutMessage = "the native code failed without a message";

// Created under the GIL. Creating a type can run Python code that lets another
// thread in, so a thread that loses the race drops its own type and uses the
// published one: exactly one type is ever handed out.
PyObject* published_panic_exception_type = nullptr;

void write_fault_line(const char* message, const FaultLocation* where) {
  if (where != nullptr) {
    std::fprintf(stderr, "plomet: internal fault at %s:%u in %s: %s\n", where->file_name, where->line,
                 where->function_name, message);
  } else {
    std::fprintf(stderr, "plomet: internal fault at an unknown location: %s\n", message);
  }
  std::fflush(stderr);
}

void raise_panic(const char* message, const FaultLocation* where) {
  if (message == nullptr || *message == '\0') message = kFaultWithoutMessage;
  write_fault_line(message, where);
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the error of the failed creation stays set
  // Decoded leniently: the message is for people, a stray byte must not hide it.
  PyRef text(PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)),
                                  "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

}  // namespace

PyObject* panic_exception_type() {
  if (published_panic_exception_type != nullptr) return published_panic_exception_type;
  PyObject* created =
      PyErr_NewExceptionWithDoc(kPanicExceptionName, kPanicExceptionDoc, PyExc_BaseException, nullptr);
  if (created == nullptr) return nullptr;
  if (published_panic_exception_type != nullptr) {
    Py_DECREF(created);
  } else {
    published_panic_exception_type = created;  // kept for the life of the process
  }
  return published_panic_exception_type;
}

void raise_for_current_native_exception() noexcept {
  try {
    throw;
  } catch (const InternalFault& fault) {
    raise_panic(fault.what(), &fault.where());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise_panic(error.what(), nullptr);
  } catch (...) {
    raise_panic(nullptr, nullptr);
  }
}

}  // namespace plomet::module
