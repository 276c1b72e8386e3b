// analyze_json(input, show_examples=True): binds and converts the arguments,
// runs the pipeline with the GIL held, and maps its result to a str or an
// exception. No C++ exception leaves this file.
#include "module/analyze_json.h"

#include <string_view>

#include "module/argument_binding.h"
#include "module/panic_exception.h"
#include "reader/analyze.h"

namespace plomet::module {
namespace {

constexpr std::string_view kRepairFailurePrefix = "Failed to parse or repair JSON: ";

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
  // The call's own UTF-8 copy of the text; the pipeline borrows it.
  Utf8Input utf8;
  if (!input_as_utf8(bound.input.get(), utf8)) return nullptr;
  bool show_examples = true;
  if (bound.show_examples && !show_examples_as_bool(bound.show_examples.get(), show_examples)) return nullptr;

  try {
    auto outline = analyze_text(utf8.text(), show_examples);
    if (!outline) {
      raise_repair_failure(outline.error());
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
