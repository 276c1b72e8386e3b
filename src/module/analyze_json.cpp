// analyze_json(input, show_examples=True): binds and converts the arguments,
// runs the pipeline with the GIL held, and maps its result to a str or an
// exception. No C++ exception leaves this file.
//
// The pipeline runs Python's signal handlers as it goes (PyErr_CheckSignals
// through the core's interrupt poll), so Ctrl-C or a timer signal stops a long
// call with the exception its handler raised.
#include "module/analyze_json.h"

#include <string_view>

#include "module/argument_binding.h"
#include "module/panic_exception.h"
#include "analyze.h"
#include "core/context.h"

namespace plomet::module {
namespace {

constexpr std::string_view kRepairFailurePrefix = "Failed to parse or repair JSON: ";

// The interrupt check of a call: runs the signal handlers that are due (the
// interpreter does so on the main thread only); true when one raised.
bool signal_handler_raised(void* /*context*/) { return PyErr_CheckSignals() != 0; }

void raise_repair_failure(const RepairError& error) {
  std::string message(kRepairFailurePrefix);
  message += error.display_text();
  // A payload quotes the caller's text; decoding leniently keeps a stray byte
  // from replacing the ValueError with a UnicodeDecodeError.
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
}

PyObject* analyze_json(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  BoundArguments bound;
  if (!bind_arguments(args, kwargs, bound)) return nullptr;
  // Everything the call uses is its own and goes before it returns: nothing
  // is kept from one call to the next.
  Context context;
  context.set_interrupt_check(signal_handler_raised, nullptr);
  // The call's own UTF-8 copy of the text; the pipeline borrows it.
  Utf8Input utf8(context);
  if (!input_as_utf8(bound.input.get(), utf8)) return nullptr;
  bool show_examples = true;
  if (bound.show_examples && !show_examples_as_bool(bound.show_examples.get(), show_examples)) return nullptr;

  try {
    auto outline = analyze_text(context, utf8.text(), show_examples);
    if (!outline) {
      // An interrupted call leaves the handler's exception set.
      if (outline.error().kind != RepairError::Kind::Interrupted) raise_repair_failure(outline.error());
      return nullptr;
    }
    return PyUnicode_FromStringAndSize(outline->data(), static_cast<Py_ssize_t>(outline->size()));
  } catch (...) {
    raise_for_current_native_exception();
    return nullptr;
  }
}

PyMethodDef analyze_json_definition = {
    "analyze_json",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&analyze_json)),
    METH_VARARGS | METH_KEYWORDS,
    "analyze_json(input, show_examples=True)\n--\n\n",
};

}  // namespace

PyMethodDef* analyze_json_method() { return &analyze_json_definition; }

}  // namespace plomet::module
