// plomet.Shape: a heap type that wraps a ShapeSummary, the fold of many
// documents, with the methods that feed, merge, store and render it.
//
// A Shape serves one call at a time. A call claims it with an atomic flag;
// another call made meanwhile, by a thread that runs while the first folds
// with the GIL released, raises RuntimeError instead of touching the
// summary. No C++ exception leaves this file.
#include "module/shape_object.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "module/panic_exception.h"
#include "module/shape_sources.h"
#include "output/json_schema.h"
#include "output/outline.h"
#include "shape/shape_summary.h"

namespace plomet::module {
namespace {

struct ShapeState {
  explicit ShapeState(ShapeSummary folded) : keeps_examples(folded.keeps_examples()), summary(std::move(folded)) {}

  const bool keeps_examples;  // read without a claim: it never changes
  // The memory the Shape's folds reuse from document to document; used only
  // under a claim.
  Context context;
  ShapeSummary summary;
  SkippedLines skipped;
  std::atomic<bool> in_use{false};
};

struct ShapeObject {
  PyObject_HEAD
  ShapeState* state;
};

ShapeState& state_of(PyObject* shape) { return *reinterpret_cast<ShapeObject*>(shape)->state; }

PyTypeObject* as_type(PyObject* type) { return reinterpret_cast<PyTypeObject*>(type); }

// Holds a Shape for one call, if no other call holds it, until it ends.
class Claim {
 public:
  explicit Claim(ShapeState& state)
      : state_(state), held_(!state.in_use.exchange(true, std::memory_order_acquire)) {}
  ~Claim() {
    if (held_) state_.in_use.store(false, std::memory_order_release);
  }
  Claim(const Claim&) = delete;
  Claim& operator=(const Claim&) = delete;

  bool held() const { return held_; }
  // Whether the call may go on; if not, raises RuntimeError.
  bool held_or_raise() const {
    if (!held_) PyErr_SetString(PyExc_RuntimeError, "Shape is in use by another thread");
    return held_;
  }

 private:
  ShapeState& state_;
  bool held_;
};

// Runs the body of a method; a C++ exception becomes a Python error.
template <class Body>
PyObject* guarded(Body body) noexcept {
  try {
    return body();
  } catch (...) {
    raise_for_current_native_exception();
    return nullptr;
  }
}

char** keyword_list(const char** names) { return const_cast<char**>(names); }

PyObject* text_object(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

void shape_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<ShapeObject*>(self)->state;
  auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free(self);
  Py_DECREF(type);
}

// True for a Shape of any module object's Shape type.
bool is_shape(PyObject* object) {
  return PyType_GetSlot(Py_TYPE(object), Py_tp_dealloc) == reinterpret_cast<void*>(&shape_dealloc);
}

PyObject* new_shape(PyTypeObject* type, ShapeSummary summary) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyRef shape(alloc(type, 0));
  if (!shape) return nullptr;
  reinterpret_cast<ShapeObject*>(shape.get())->state = new ShapeState(std::move(summary));
  return shape.release();
}

PyObject* shape_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"examples", nullptr};
  int examples = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|p:Shape", keyword_list(keywords), &examples)) return nullptr;
  return guarded([&] { return new_shape(type, ShapeSummary(examples != 0)); });
}

PyObject* shape_add(PyObject* self, PyObject* doc) {
  return guarded([&]() -> PyObject* {
    ShapeState& state = state_of(self);
    Claim claim(state);
    DocumentBytes bytes(state.context);
    if (!claim.held_or_raise() || !bytes.read(doc, "add() argument") ||
        !add_document(state.context, state.summary, state.skipped, bytes.text())) {
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

std::optional<LineErrors> line_errors(PyObject* errors) {
  auto is = [errors](const char* text) {
    return PyUnicode_Check(errors) && PyUnicode_CompareWithASCIIString(errors, text) == 0;
  };
  if (errors == nullptr || is("raise")) return LineErrors::Raise;
  if (is("skip")) return LineErrors::Skip;
  PyErr_Format(PyExc_ValueError, "errors must be 'raise' or 'skip', not %R", errors);
  return std::nullopt;
}

// add_lines and add_arrow: many values folded with an errors= choice; the
// source comes first, under the keyword `source_keyword`.
template <class Fold>
PyObject* fold_many(PyObject* self, PyObject* args, PyObject* kwargs, const char* source_keyword, const char* format,
                    Fold fold) {
  const char* keywords[] = {source_keyword, "errors", nullptr};
  PyObject* source = nullptr;
  PyObject* errors = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, keyword_list(keywords), &source, &errors)) return nullptr;
  const std::optional<LineErrors> mode = line_errors(errors);
  if (!mode) return nullptr;
  return guarded([&]() -> PyObject* {
    ShapeState& state = state_of(self);
    Claim claim(state);
    if (!claim.held_or_raise() || !fold(state, source, *mode)) return nullptr;
    Py_RETURN_NONE;
  });
}

PyObject* shape_add_lines(PyObject* self, PyObject* args, PyObject* kwargs) {
  return fold_many(self, args, kwargs, "source", "O|O:add_lines", [](ShapeState& state, PyObject* source, LineErrors mode) {
    return add_lines(state.context, state.summary, state.skipped, source, mode);
  });
}

PyObject* shape_add_arrow(PyObject* self, PyObject* args, PyObject* kwargs) {
  return fold_many(self, args, kwargs, "array", "O|O:add_arrow", [](ShapeState& state, PyObject* array, LineErrors mode) {
    return add_arrow_values(state.context, state.summary, state.skipped, array, mode);
  });
}

bool add_whole_file(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* path) {
  PyRef content = read_whole_file(path);
  DocumentBytes bytes(context);
  return content && bytes.read_buffer(content.get(), "read() result") &&
         add_document(context, summary, skipped, bytes.text());
}

PyObject* shape_from_file(PyObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"path", "lines", "examples", "errors", nullptr};
  PyObject* path = nullptr;
  int lines = 0;
  int examples = 1;
  PyObject* errors = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|ppO:from_file", keyword_list(keywords), &path, &lines,
                                   &examples, &errors)) {
    return nullptr;
  }
  const std::optional<LineErrors> mode = line_errors(errors);
  if (!mode) return nullptr;
  return guarded([&]() -> PyObject* {
    // No other call can see the new Shape: it needs no claim.
    PyRef shape(new_shape(as_type(type), ShapeSummary(examples != 0)));
    if (!shape) return nullptr;
    ShapeState& state = state_of(shape.get());
    const bool added = lines != 0 ? add_file_lines(state.context, state.summary, state.skipped, path, *mode)
                                  : add_whole_file(state.context, state.summary, state.skipped, path);
    return added ? shape.release() : nullptr;
  });
}

// Merging reads its argument while it writes the summary, so a summary
// merged with itself is given a copy: an empty summary merged with it.
void merge_with_itself(ShapeSummary& summary) {
  ShapeSummary copy(summary.keeps_examples());
  copy.merge(summary);
  summary.merge(copy);
}

// Appends the documents of the Shape later after those of the Shape into.
bool merge_into(PyObject* into, PyObject* later) {
  ShapeState& target = state_of(into);
  Claim target_claim(target);
  if (!target_claim.held_or_raise()) return false;
  if (into == later) {
    merge_with_itself(target.summary);
    return true;
  }
  ShapeState& source = state_of(later);
  Claim source_claim(source);
  if (!source_claim.held_or_raise()) return false;
  if (target.keeps_examples != source.keeps_examples) {
    PyErr_SetString(PyExc_ValueError, "cannot merge a Shape that keeps examples with one that does not");
    return false;
  }
  target.summary.merge(source.summary);
  return true;
}

PyObject* shape_merge(PyObject* self, PyObject* other) {
  return guarded([&]() -> PyObject* {
    if (!is_shape(other)) {
      raise_wrong_type("merge() argument", "a Shape", other);
      return nullptr;
    }
    if (!merge_into(self, other)) return nullptr;
    return Py_NewRef(self);
  });
}

PyObject* shape_or(PyObject* left, PyObject* right) {
  if (!is_shape(left) || !is_shape(right)) Py_RETURN_NOTIMPLEMENTED;
  return guarded([&]() -> PyObject* {
    PyRef merged(new_shape(Py_TYPE(left), ShapeSummary(state_of(left).keeps_examples)));
    if (!merged || !merge_into(merged.get(), left) || !merge_into(merged.get(), right)) return nullptr;
    return merged.release();
  });
}

PyObject* shape_inplace_or(PyObject* self, PyObject* other) {
  if (!is_shape(self) || !is_shape(other)) Py_RETURN_NOTIMPLEMENTED;
  return shape_merge(self, other);
}

PyObject* shape_bytes(PyObject* self, PyObject* /*unused*/) {
  return guarded([&]() -> PyObject* {
    ShapeState& state = state_of(self);
    Claim claim(state);
    if (!claim.held_or_raise()) return nullptr;
    const std::string bytes = state.summary.to_bytes();
    return PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
  });
}

PyObject* shape_from_bytes(PyObject* type, PyObject* data) {
  return guarded([&]() -> PyObject* {
    Context context;
    DocumentBytes bytes(context);
    if (!bytes.read_buffer(data, "from_bytes() argument")) return nullptr;
    Expected<ShapeSummary, std::string> summary = ShapeSummary::from_bytes(bytes.text());
    if (!summary) {
      raise_value_error(summary.error());
      return nullptr;
    }
    return new_shape(as_type(type), std::move(summary).value());
  });
}

// Pickles as Shape.from_bytes(bytes(shape)).
PyObject* shape_reduce(PyObject* self, PyObject* /*unused*/) {
  PyRef bytes(shape_bytes(self, nullptr));
  if (!bytes) return nullptr;
  PyRef from_bytes(PyObject_GetAttrString(as_object(Py_TYPE(self)), "from_bytes"));
  if (!from_bytes) return nullptr;
  return Py_BuildValue("(O(O))", from_bytes.get(), bytes.get());
}

// A cap of examples: None for none, else an int of at least 0.
bool read_example_cap(PyObject* value, const char* name, std::size_t& cap) {
  if (value == nullptr || value == Py_None) return true;
  if (!PyLong_Check(value)) {
    raise_wrong_type(name, "an int or None", value);
    return false;
  }
  const long long requested = PyLong_AsLongLong(value);
  if (requested == -1 && PyErr_Occurred()) return false;
  if (requested < 0) {
    PyErr_Format(PyExc_ValueError, "%s must be at least 0, not %lld", name, requested);
    return false;
  }
  cap = static_cast<std::size_t>(requested);
  return true;
}

// outline() and json_schema(): render(summary, show_examples, limits) gives
// the text. A Shape that keeps no examples shows type words.
template <class Render>
PyObject* render_shape(PyObject* self, PyObject* args, PyObject* kwargs, const char* format, Render render) {
  static const char* keywords[] = {"show_examples", "max_examples", "max_example_chars", nullptr};
  int show_examples = 1;
  PyObject* max_examples = nullptr;
  PyObject* max_example_chars = nullptr;
  ExampleLimits limits;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, keyword_list(keywords), &show_examples, &max_examples,
                                   &max_example_chars) ||
      !read_example_cap(max_examples, "max_examples", limits.max_examples) ||
      !read_example_cap(max_example_chars, "max_example_chars", limits.max_example_chars)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    ShapeState& state = state_of(self);
    Claim claim(state);
    if (!claim.held_or_raise()) return nullptr;
    return text_object(render(state.context, state.summary, show_examples != 0 && state.keeps_examples, limits));
  });
}

PyObject* shape_outline(PyObject* self, PyObject* args, PyObject* kwargs) {
  return render_shape(self, args, kwargs, "|pOO:outline",
                      [](Context& context, const ShapeSummary& summary, bool show_examples,
                         const ExampleLimits& limits) {
                        return render_documents_outline(context, summary, show_examples, limits);
                      });
}

PyObject* shape_json_schema(PyObject* self, PyObject* args, PyObject* kwargs) {
  return render_shape(self, args, kwargs, "|pOO:json_schema",
                      [](Context& /*context*/, const ShapeSummary& summary, bool show_examples,
                         const ExampleLimits& limits) {
                        return render_json_schema(summary, show_examples, limits);
                      });
}

PyObject* shape_documents(PyObject* self, void* /*closure*/) {
  ShapeState& state = state_of(self);
  Claim claim(state);
  if (!claim.held_or_raise()) return nullptr;
  return PyLong_FromUnsignedLongLong(state.summary.documents());
}

PyObject* shape_examples(PyObject* self, void* /*closure*/) { return PyBool_FromLong(state_of(self).keeps_examples); }

PyObject* skipped_line(const SkippedLines::Line& line) {
  PyRef message(PyUnicode_DecodeUTF8(line.message.data(), static_cast<Py_ssize_t>(line.message.size()), "replace"));
  if (!message) return nullptr;
  return Py_BuildValue("(KO)", static_cast<unsigned long long>(line.number), message.get());
}

PyObject* shape_skipped(PyObject* self, void* /*closure*/) {
  ShapeState& state = state_of(self);
  Claim claim(state);
  if (!claim.held_or_raise()) return nullptr;
  PyRef list(PyList_New(static_cast<Py_ssize_t>(state.skipped.kept.size())));
  if (!list) return nullptr;
  Py_ssize_t index = 0;
  for (const SkippedLines::Line& line : state.skipped.kept) {
    PyObject* item = skipped_line(line);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), index++, item);  // steals item
  }
  return list.release();
}

PyObject* shape_values_not_read(PyObject* self, void* /*closure*/) {
  ShapeState& state = state_of(self);
  Claim claim(state);
  if (!claim.held_or_raise()) return nullptr;
  PyRef list(PyList_New(static_cast<Py_ssize_t>(state.skipped.values_not_read.size())));
  if (!list) return nullptr;
  Py_ssize_t index = 0;
  for (const SkippedLines::ValuesNotRead& entry : state.skipped.values_not_read) {
    PyObject* item = entry.line == 0 ? Py_BuildValue("(KOK)", static_cast<unsigned long long>(entry.document), Py_None,
                                                     static_cast<unsigned long long>(entry.values))
                                     : Py_BuildValue("(KKK)", static_cast<unsigned long long>(entry.document),
                                                     static_cast<unsigned long long>(entry.line),
                                                     static_cast<unsigned long long>(entry.values));
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), index++, item);  // steals item
  }
  return list.release();
}

PyObject* shape_skipped_count(PyObject* self, void* /*closure*/) {
  ShapeState& state = state_of(self);
  Claim claim(state);
  if (!claim.held_or_raise()) return nullptr;
  return PyLong_FromUnsignedLongLong(state.skipped.count);
}

const char* plural(unsigned long long count) { return count == 1 ? "" : "s"; }

PyObject* shape_repr(PyObject* self) {
  ShapeState& state = state_of(self);
  Claim claim(state);
  if (!claim.held()) return PyUnicode_FromString("<plomet.Shape: in use>");
  const unsigned long long documents = state.summary.documents();
  const unsigned long long skipped = state.skipped.count;
  if (skipped == 0) return PyUnicode_FromFormat("<plomet.Shape: %llu document%s>", documents, plural(documents));
  return PyUnicode_FromFormat("<plomet.Shape: %llu document%s, %llu line%s skipped>", documents, plural(documents),
                              skipped, plural(skipped));
}

template <class Function>
PyCFunction method(Function function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr const char* kShapeDoc =
    "Shape(examples=True)\n--\n\n"
    "The shape of many documents, folded as the items of one array: the first\n"
    "document decides the kind. With examples=False no example value is kept:\n"
    "folding is faster and outlines show type words. A Shape serves one call at\n"
    "a time; a call from another thread meanwhile raises RuntimeError.";

PyMethodDef shape_methods[] = {
    {"add", method(&shape_add), METH_O,
     "add($self, doc, /)\n--\n\n"
     "Adds one document (str, bytes, bytearray or C-contiguous memoryview), read or\n"
     "repaired as analyze_json reads it. Raises ValueError, and adds nothing, when\n"
     "it does not read; its attributes document, line and offset say where."},
    {"add_lines", method(&shape_add_lines), METH_VARARGS | METH_KEYWORDS,
     "add_lines($self, /, source, errors='raise')\n--\n\n"
     "Adds each line that holds more than blanks as a document. source is a path\n"
     "(str or os.PathLike), a binary or text file object, or an iterable of str or\n"
     "bytes lines. errors='raise': a line that does not read raises\n"
     "ValueError('line N: ...'), the lines before it staying added. errors='skip':\n"
     "such lines are counted in skipped_count, the first 1000 kept in skipped."},
    {"add_arrow", method(&shape_add_arrow), METH_VARARGS | METH_KEYWORDS,
     "add_arrow($self, /, array, errors='raise')\n--\n\n"
     "Adds each value of an Arrow string or binary array (any object with\n"
     "__arrow_c_array__) as one line of add_lines, read in place: values are\n"
     "numbered from 1, nulls and blanks skipped, errors as for add_lines."},
    {"from_file", method(&shape_from_file), METH_CLASS | METH_VARARGS | METH_KEYWORDS,
     "from_file($type, /, path, lines=False, examples=True, errors='raise')\n--\n\n"
     "A new Shape of the file at path: the whole file as one document, or with\n"
     "lines=True each of its lines, as add_lines(path, errors) reads them."},
    {"merge", method(&shape_merge), METH_O,
     "merge($self, other, /)\n--\n\n"
     "Appends the documents of other after this Shape's own and returns this Shape.\n"
     "Both must keep examples, or neither (else ValueError)."},
    {"outline", method(&shape_outline), METH_VARARGS | METH_KEYWORDS,
     "outline($self, /, show_examples=True, max_examples=None, max_example_chars=None)\n--\n\n"
     "The outline of the array of every document, as the plomet command prints it."},
    {"json_schema", method(&shape_json_schema), METH_VARARGS | METH_KEYWORDS,
     "json_schema($self, /, show_examples=True, max_examples=None, max_example_chars=None)\n--\n\n"
     "The JSON Schema of one document, as the plomet command prints it."},
    {"from_bytes", method(&shape_from_bytes), METH_CLASS | METH_O,
     "from_bytes($type, data, /)\n--\n\n"
     "The Shape that bytes(shape) wrote. Raises ValueError for bytes that are cut,\n"
     "corrupted or of another version."},
    {"__bytes__", method(&shape_bytes), METH_NOARGS,
     "__bytes__($self, /)\n--\n\n"
     "The documents folded so far in a compact, versioned form (skipped lines\n"
     "are not part of it)."},
    {"__reduce__", method(&shape_reduce), METH_NOARGS,
     "__reduce__($self, /)\n--\n\nPickles the Shape as Shape.from_bytes(bytes(shape))."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef shape_properties[] = {
    {"documents", &shape_documents, nullptr, "The number of documents folded.", nullptr},
    {"examples", &shape_examples, nullptr, "Whether example values are kept.", nullptr},
    {"skipped", &shape_skipped, nullptr,
     "(line number, message) of each line that add_lines(errors='skip') passed over, the first 1000.", nullptr},
    {"skipped_count", &shape_skipped_count, nullptr,
     "The number of lines that add_lines(errors='skip') passed over.", nullptr},
    {"values_not_read", &shape_values_not_read, nullptr,
     "(document, line, count) of each document that held count values after its first, which were not read\n"
     "(JSON Lines given as one document); line is None for a document given whole. The first 1000.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot shape_slots[] = {
    {Py_tp_doc, const_cast<char*>(kShapeDoc)},
    {Py_tp_new, reinterpret_cast<void*>(&shape_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&shape_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(&shape_repr)},
    {Py_tp_methods, shape_methods},
    {Py_tp_getset, shape_properties},
    {Py_nb_or, reinterpret_cast<void*>(&shape_or)},
    {Py_nb_inplace_or, reinterpret_cast<void*>(&shape_inplace_or)},
    {0, nullptr},
};

PyType_Spec shape_spec = {
    "plomet.Shape",
    static_cast<int>(sizeof(ShapeObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    shape_slots,
};

}  // namespace

PyObject* new_shape_type(PyObject* module) { return PyType_FromModuleAndSpec(module, &shape_spec, nullptr); }

}  // namespace plomet::module
