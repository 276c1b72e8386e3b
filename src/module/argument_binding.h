// Binding and conversion of the arguments of analyze_json(input, show_examples=True).
// Every function returns false with a Python error set when the call must fail.
#pragma once

#include "module/python_api.h"
#include "module/utf8_input.h"

namespace plomet::module {

struct BoundArguments {
  PyRef input;          // always set after a successful bind
  PyRef show_examples;  // set only when the caller passed it
};

// Binds the argument tuple and keyword dictionary (may be nullptr) to the two
// parameters, raising the interpreter's TypeError texts for a bad call.
bool bind_arguments(PyObject* args, PyObject* kwargs, BoundArguments& bound);

// The UTF-8 encoding of input, which must be a str or str subclass.
bool input_as_utf8(PyObject* input, Utf8Input& utf8);

// The truth value of show_examples: exactly a bool, or a numpy boolean scalar.
bool show_examples_as_bool(PyObject* show_examples, bool& value);

}  // namespace plomet::module
