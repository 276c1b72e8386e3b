#include "module/argument_binding.h"

namespace plomet::module {
namespace {

constexpr const char* kFunctionDisplayName = "analyze_json()";
constexpr const char* kParameterNames[] = {"input", "show_examples"};
constexpr Py_ssize_t kParameterCount = 2;
constexpr Py_ssize_t kRequiredCount = 1;

// The parameter index of a keyword name, or -1.
Py_ssize_t parameter_index(PyObject* keyword) {
  if (!PyUnicode_Check(keyword)) return -1;
  for (Py_ssize_t i = 0; i < kParameterCount; ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, kParameterNames[i]) == 0) return i;
  }
  return -1;
}

// Sets the underlying conversion error "'T' object is not an instance of 'target'".
void set_type_mismatch(PyObject* object, const char* target) {
  if (object == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", target);
    return;
  }
  PyRef qualname(PyObject_GetAttrString(as_object(Py_TYPE(object)), "__qualname__"));
  if (qualname && PyUnicode_Check(qualname.get())) {
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", qualname.get(), target);
  } else {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'", target);
  }
}

// Turns the pending conversion error of a parameter into the error the caller
// sees: a TypeError (exactly) becomes "argument 'name': <its text>" and passes
// its __cause__ on; any other error is left as it is.
void prefix_conversion_error(const char* parameter) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef owned_type(type), owned_value(value), owned_traceback(traceback);
  if (type != PyExc_TypeError) {  // a subclass of TypeError is raised unchanged
    PyErr_Restore(owned_type.release(), owned_value.release(), owned_traceback.release());
    return;
  }
  PyRef message(PyUnicode_FromFormat("argument '%s': %S", parameter, value));
  if (!message) return;
  PyRef replacement(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (!replacement) return;
  if (PyObject* cause = PyException_GetCause(value)) {
    PyException_SetCause(replacement.get(), cause);  // steals cause
  }
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

// The attribute name as found along the MRO of type, without invoking any
// descriptor: a new reference, or an empty PyRef (with an error set only when
// the lookup itself failed).
PyRef lookup_on_type(PyTypeObject* type, const char* name) {
  PyRef mro(PyObject_GetAttrString(as_object(type), "__mro__"));
  if (!mro) return {};
  if (!PyTuple_Check(mro.get())) {
    PyErr_SetString(PyExc_TypeError, "type.__mro__ is not a tuple");
    return {};
  }
  const Py_ssize_t count = PyTuple_Size(mro.get());
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyRef namespace_(PyObject_GetAttrString(PyTuple_GetItem(mro.get(), i), "__dict__"));
    if (!namespace_) return {};
    PyRef found(PyMapping_GetItemString(namespace_.get(), name));
    if (found) return found;
    if (!PyErr_ExceptionMatches(PyExc_KeyError)) return {};
    PyErr_Clear();
  }
  return {};
}

bool has_string_attribute(PyObject* object, const char* name, const char* const* accepted, int accepted_count) {
  PyRef attribute(PyObject_GetAttrString(object, name));
  if (!attribute) {
    PyErr_Clear();
    return false;
  }
  if (!PyUnicode_Check(attribute.get())) return false;
  for (int i = 0; i < accepted_count; ++i) {
    if (PyUnicode_CompareWithASCIIString(attribute.get(), accepted[i]) == 0) return true;
  }
  return false;
}

bool is_numpy_bool_type(PyTypeObject* type) {
  static constexpr const char* kModule[] = {"numpy"};
  static constexpr const char* kNames[] = {"bool_", "bool"};
  return has_string_attribute(as_object(type), "__module__", kModule, 1) &&
         has_string_attribute(as_object(type), "__name__", kNames, 2);
}

// Calls type(object).__bool__ on a numpy boolean scalar; the result must be a bool.
bool numpy_bool_value(PyObject* object, bool& value) {
  PyTypeObject* type = Py_TYPE(object);
  PyRef method = lookup_on_type(type, "__bool__");
  if (!method) {
    if (!PyErr_Occurred()) {
      PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion",
                   as_object(type));
    }
    return false;
  }
  PyRef callable;
  PyRef bind = lookup_on_type(Py_TYPE(method.get()), "__get__");
  if (bind) {
    callable = PyRef(PyObject_CallFunctionObjArgs(bind.get(), method.get(), object, as_object(type), nullptr));
  } else if (!PyErr_Occurred()) {
    callable = std::move(method);
  }
  if (!callable) return false;
  PyRef result(PyObject_CallObject(callable.get(), nullptr));
  if (!result) return false;
  if (Py_TYPE(result.get()) != &PyBool_Type) {
    set_type_mismatch(result.get(), "bool");
    return false;
  }
  value = result.get() == Py_True;
  return true;
}

}  // namespace

bool bind_arguments(PyObject* args, PyObject* kwargs, BoundArguments& bound) {
  const Py_ssize_t positional_count = PyTuple_Size(args);
  if (positional_count < 0) return false;
  if (positional_count > kParameterCount) {
    PyErr_Format(PyExc_TypeError, "%s takes from %zd to %zd positional arguments but %zd %s given",
                 kFunctionDisplayName, kRequiredCount, kParameterCount, positional_count,
                 positional_count == 1 ? "was" : "were");
    return false;
  }
  PyRef* slots[kParameterCount] = {&bound.input, &bound.show_examples};
  for (Py_ssize_t i = 0; i < positional_count; ++i) {
    *slots[i] = PyRef::borrow(PyTuple_GetItem(args, i));
  }
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* keyword = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &keyword, &value)) {
      const Py_ssize_t index = parameter_index(keyword);
      if (index < 0) {
        PyErr_Format(PyExc_TypeError, PyUnicode_Check(keyword) ? "%s got an unexpected keyword argument '%U'"
                                                                : "%s got an unexpected keyword argument '%S'",
                     kFunctionDisplayName, keyword);
        return false;
      }
      if (index < positional_count) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", kFunctionDisplayName,
                     kParameterNames[index]);
        return false;
      }
      *slots[index] = PyRef::borrow(value);
    }
  }
  if (!bound.input) {
    PyErr_Format(PyExc_TypeError, "%s missing %d required %s %s: '%s'", kFunctionDisplayName, 1, "positional",
                 "argument", kParameterNames[0]);
    return false;
  }
  return true;
}

bool input_as_utf8(PyObject* input, Utf8Input& utf8) {
  if (!PyUnicode_Check(input)) {
    set_type_mismatch(input, "str");
    prefix_conversion_error(kParameterNames[0]);
    return false;
  }
  // Encoding raises no TypeError of its own; what a signal handler raises
  // while it runs passes unchanged.
  return utf8.encode(input);
}

bool show_examples_as_bool(PyObject* show_examples, bool& value) {
  bool converted = false;
  if (Py_TYPE(show_examples) == &PyBool_Type) {
    value = show_examples == Py_True;
    converted = true;
  } else if (is_numpy_bool_type(Py_TYPE(show_examples))) {
    converted = numpy_bool_value(show_examples, value);
  } else {
    set_type_mismatch(show_examples, "bool");
  }
  if (!converted) prefix_conversion_error(kParameterNames[1]);
  return converted;
}

}  // namespace plomet::module
