#include "module/shape_sources.h"

#include <chrono>
#include <optional>
#include <utility>

#include "core/context.h"
#include "read/json5_event_reader.h"
#include "repair/top_level_values.h"

namespace plomet::module {
namespace {

// An int, or None for a value that is not known.
PyRef int_or_none(std::optional<std::uint64_t> value) {
  return value ? PyRef(PyLong_FromUnsignedLongLong(*value)) : PyRef::borrow(Py_None);
}

// Raises ValueError(message) that says where: the attributes document (its
// number in the Shape, from 1), line and offset (of the document's text),
// each None when not known.
void raise_document_error(std::string_view message, std::uint64_t document, std::optional<std::uint64_t> line,
                          std::size_t offset) {
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  PyRef error(PyObject_CallFunctionObjArgs(PyExc_ValueError, text.get(), nullptr));
  if (!error) return;
  const std::optional<std::uint64_t> at =
      offset == DocumentError::kNoOffset ? std::nullopt : std::optional<std::uint64_t>(offset);
  const std::pair<const char*, PyRef> attributes[] = {
      {"document", int_or_none(document)}, {"line", int_or_none(line)}, {"offset", int_or_none(at)}};
  for (const auto& [name, value] : attributes) {
    if (!value || PyObject_SetAttrString(error.get(), name, value.get()) < 0) return;
  }
  PyErr_SetObject(PyExc_ValueError, error.get());
}

// Bytes asked of a file per read(), and the size at which the lines gathered
// from an iterable are folded: memory stays within this and the longest line.
constexpr Py_ssize_t kChunkBytes = Py_ssize_t{1} << 20;

// How often, at most, a fold with the GIL released takes it back to run the
// signal handlers: well within the 100 ms in which Ctrl-C must act, and
// rarely enough that waiting for the GIL costs nothing measurable.
constexpr std::chrono::milliseconds kSignalCheckInterval{10};

// 1 when the calling thread is the interpreter's main thread, the only one
// whose PyErr_CheckSignals runs handlers; also 1 when threading was never
// imported and so cannot tell. 0 for another thread; -1 with the error set
// when asking failed (a signal handler may raise on the way). Needs the GIL.
int is_main_thread() {
  PyRef name(PyUnicode_FromString("threading"));
  if (!name) return -1;
  PyRef threading(PyImport_GetModule(name.get()));
  if (!threading) return PyErr_Occurred() ? -1 : 1;
  PyRef main_thread(PyObject_CallMethod(threading.get(), "main_thread", nullptr));
  if (!main_thread) return -1;
  PyRef ident(PyObject_GetAttrString(main_thread.get(), "ident"));
  if (!ident) return -1;
  const unsigned long main_ident = PyLong_AsUnsignedLong(ident.get());
  if (PyErr_Occurred()) return -1;
  return main_ident == PyThread_get_thread_ident() ? 1 : 0;
}

// The interrupt check of a fold that runs with the GIL released: at most
// every kSignalCheckInterval it takes the GIL back with the thread's own
// state (which, unlike PyGILState_Ensure, also serves a subinterpreter) and
// runs the signal handlers that are due; true when one raised. A thread that
// is not the main thread cannot run handlers, so after its first check it
// never takes the GIL.
class ReleasedGilCheck {
 public:
  static bool run(void* check) { return static_cast<ReleasedGilCheck*>(check)->signal_handler_raised(); }

  // The state of the thread that released the GIL, for each fold.
  void set_thread(PyThreadState* thread) { thread_ = thread; }

 private:
  bool signal_handler_raised();

  PyThreadState* thread_ = nullptr;
  std::chrono::steady_clock::time_point next_check_{};
  bool thread_known_ = false;
  bool runs_handlers_ = true;
};

bool ReleasedGilCheck::signal_handler_raised() {
  if (!runs_handlers_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_check_) return false;
  next_check_ = now + kSignalCheckInterval;
  PyEval_RestoreThread(thread_);
  bool raised = false;
  if (!thread_known_) {
    const int main_thread = is_main_thread();
    raised = main_thread < 0;
    runs_handlers_ = main_thread != 0;
    thread_known_ = true;
  }
  if (!raised && runs_handlers_) raised = PyErr_CheckSignals() != 0;
  PyEval_SaveThread();
  return raised;
}

// Releases the GIL for its lifetime.
class ReleasedGil {
 public:
  ReleasedGil() : thread_(PyEval_SaveThread()) {}
  ~ReleasedGil() { PyEval_RestoreThread(thread_); }
  ReleasedGil(const ReleasedGil&) = delete;
  ReleasedGil& operator=(const ReleasedGil&) = delete;

  PyThreadState* thread() const { return thread_; }

 private:
  PyThreadState* thread_;
};

// Installs a check on a context for its lifetime.
class InterruptCheckScope {
 public:
  InterruptCheckScope(Context& context, InterruptCheck check, void* state) : context_(context) {
    context.set_interrupt_check(check, state);
  }
  ~InterruptCheckScope() { context_.set_interrupt_check(nullptr, nullptr); }
  InterruptCheckScope(const InterruptCheckScope&) = delete;
  InterruptCheckScope& operator=(const InterruptCheckScope&) = delete;

 private:
  Context& context_;
};

// Runs work with the GIL released and check installed on context; the GIL
// is held again when work returns or throws.
template <class Work>
auto without_gil(Context& context, ReleasedGilCheck& check, Work work) {
  ReleasedGil released;
  check.set_thread(released.thread());
  InterruptCheckScope interruptible(context, &ReleasedGilCheck::run, &check);
  return work();
}

// The Python error set when it is made; restore() raises it again, and
// otherwise it is dropped.
class SavedError {
 public:
  SavedError() { PyErr_Fetch(&type_, &value_, &traceback_); }
  ~SavedError() {
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(traceback_);
  }
  SavedError(const SavedError&) = delete;
  SavedError& operator=(const SavedError&) = delete;

  explicit operator bool() const { return type_ != nullptr; }
  void restore() {
    PyErr_Restore(std::exchange(type_, nullptr), std::exchange(value_, nullptr), std::exchange(traceback_, nullptr));
  }

 private:
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
};

bool is_blank(std::string_view line) { return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos; }

// Splits a stream of text, chunk after chunk, into lines at "\n" (without a
// "\r" before it) and adds each line that holds more than blanks as one
// document, with the GIL released. Line numbers count every line from 1.
class LineFolder {
 public:
  LineFolder(Context& context, ShapeSummary& summary, SkippedLines& skipped, LineErrors errors)
      : context_(context), summary_(summary), skipped_(skipped), errors_(errors) {}

  // Adds the lines that chunk ends; its unfinished last line waits for the
  // next chunk. Called with the GIL held; false with the Python error set.
  bool fold(std::string_view chunk);
  // Adds the unfinished last line of the stream, if any.
  bool finish();
  // Adds each value as one line, a null as a blank one.
  bool fold_values(const ArrowStrings& values);

  Context& context() const { return context_; }

 private:
  template <class Step>
  bool run_without_gil(Step step);
  bool fold_lines(std::string_view chunk);
  bool fold_unfinished();
  bool fold_line(std::string_view line);

  Context& context_;
  ShapeSummary& summary_;
  SkippedLines& skipped_;
  LineErrors errors_;
  // One check for every chunk: a thread's first check finds out whether it
  // runs signal handlers at all.
  ReleasedGilCheck interrupt_check_;
  std::string unfinished_;
  std::uint64_t line_number_ = 0;
  std::optional<DocumentError> failure_;  // of line line_number_
};

bool LineFolder::fold(std::string_view chunk) {
  return run_without_gil([&] { return fold_lines(chunk); });
}

bool LineFolder::finish() {
  return run_without_gil([&] { return fold_unfinished(); });
}

bool LineFolder::fold_values(const ArrowStrings& values) {
  return run_without_gil([&] {
    for (std::int64_t i = 0; i < values.size(); ++i) {
      if (!fold_line(values.value(i).value_or(std::string_view()))) return false;
    }
    return true;
  });
}

// Runs a step with the GIL released; a line that stopped it raises its
// ValueError, and an interruption leaves the signal handler's exception.
template <class Step>
bool LineFolder::run_without_gil(Step step) {
  if (without_gil(context_, interrupt_check_, step)) return true;
  if (failure_->kind != DocumentError::Kind::Interrupted) {
    raise_document_error("line " + std::to_string(line_number_) + ": " + failure_->message, summary_.documents() + 1,
                         line_number_, failure_->offset);
  }
  return false;
}

bool LineFolder::fold_lines(std::string_view chunk) {
  std::size_t start = 0;
  if (!unfinished_.empty()) {
    const std::size_t end = chunk.find('\n');
    if (end == std::string_view::npos) {
      unfinished_.append(chunk);
      return true;
    }
    unfinished_.append(chunk.substr(0, end));
    if (!fold_line(unfinished_)) return false;
    start = end + 1;
  }
  for (std::size_t end = chunk.find('\n', start); end != std::string_view::npos; end = chunk.find('\n', start)) {
    if (!fold_line(chunk.substr(start, end - start))) return false;
    start = end + 1;
  }
  unfinished_.assign(chunk.substr(start));
  return true;
}

bool LineFolder::fold_unfinished() {
  if (unfinished_.empty()) return true;
  const bool folded = fold_line(unfinished_);
  unfinished_.clear();
  return folded;
}

bool LineFolder::fold_line(std::string_view line) {
  ++line_number_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (is_blank(line)) return true;
  diagnostics::ReadAttempt attempt;
  std::optional<DocumentError> error = summary_.add_text(context_, line, ReadMode::Lenient, &attempt);
  if (!error) {
    skipped_.note_values_after_the_first(line, attempt, summary_.documents(), line_number_);
    return true;
  }
  if (errors_ == LineErrors::Skip && error->kind != DocumentError::Kind::Interrupted) {
    skipped_.add(line_number_, error->message);
    return true;
  }
  failure_ = std::move(error);
  return false;
}

bool is_buffer(PyObject* object) {
  return PyBytes_Check(object) || PyByteArray_Check(object) || PyMemoryView_Check(object);
}

// A str, or an object whose type has __fspath__ (os.PathLike).
bool is_path(PyObject* object) {
  return PyUnicode_Check(object) || PyObject_HasAttrString(as_object(Py_TYPE(object)), "__fspath__");
}

// The file at path, opened for reading bytes without buffering: each read()
// is one system call, made with the GIL released.
PyRef open_binary(PyObject* path) {
  if (!is_path(path)) {
    raise_wrong_type("path", "str or os.PathLike", path);
    return {};
  }
  PyRef io(PyImport_ImportModule("io"));
  if (!io) return {};
  return PyRef(PyObject_CallMethod(io.get(), "open", "Osi", path, "rb", 0));
}

// Closes file; an error set before stays the one raised.
bool close_file(PyObject* file) {
  SavedError earlier;
  PyRef closed(PyObject_CallMethod(file, "close", nullptr));
  if (!earlier) return static_cast<bool>(closed);
  earlier.restore();
  return false;
}

// Reads file (binary or text) in chunks until read() gives nothing.
bool fold_stream_lines(PyObject* file, LineFolder& folder) {
  for (;;) {
    PyRef chunk(PyObject_CallMethod(file, "read", "n", kChunkBytes));
    if (!chunk) return false;
    DocumentBytes bytes(folder.context());
    if (!bytes.read(chunk.get(), "read() result")) return false;
    if (bytes.text().empty()) return folder.finish();
    if (!folder.fold(bytes.text())) return false;
  }
}

bool fold_path_lines(PyObject* path, LineFolder& folder) {
  PyRef file = open_binary(path);
  if (!file) return false;
  const bool folded = fold_stream_lines(file.get(), folder);
  const bool closed = close_file(file.get());
  return folded && closed;
}

// Each item of an iterable is one line, or several if it holds "\n"; a final
// "\n" only ends it.
void append_line(std::string& batch, std::string_view item) {
  batch.append(item);
  if (item.empty() || item.back() != '\n') batch.push_back('\n');
}

bool fold_batch(LineFolder& folder, std::string& batch) {
  const bool folded = folder.fold(batch);
  batch.clear();
  return folded;
}

// Gathers the items in batches, folded with the GIL released. When the
// iteration fails, the lines before the failure are added first; a failure
// of one of them is raised instead, as it comes first.
bool fold_iterable_lines(PyObject* iterable, LineFolder& folder) {
  PyRef iterator(PyObject_GetIter(iterable));
  if (!iterator) return false;
  std::string batch;
  while (PyRef item{PyIter_Next(iterator.get())}) {
    DocumentBytes line(folder.context());
    if (!line.read(item.get(), "a line")) break;
    append_line(batch, line.text());
    if (batch.size() >= static_cast<std::size_t>(kChunkBytes) && !fold_batch(folder, batch)) return false;
  }
  if (!PyErr_Occurred()) return fold_batch(folder, batch);
  SavedError failure;
  if (fold_batch(folder, batch)) failure.restore();
  return false;
}

}  // namespace

void raise_value_error(std::string_view message) {
  // A message can quote the document; decoding leniently keeps a stray byte
  // from replacing the ValueError with a UnicodeDecodeError.
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
}

void raise_wrong_type(const char* what, const char* expected, PyObject* object) {
  PyRef name(PyObject_GetAttrString(as_object(Py_TYPE(object)), "__name__"));
  if (name) PyErr_Format(PyExc_TypeError, "%s must be %s, not '%U'", what, expected, name.get());
}

void SkippedLines::add(std::uint64_t number, const std::string& message) {
  ++count;
  if (kept.size() < kKept) kept.push_back({number, message});
}

void SkippedLines::note_values_after_the_first(std::string_view text, const diagnostics::ReadAttempt& attempt,
                                               std::uint64_t document, std::uint64_t line) {
  if (attempt.stage == diagnostics::ReadAttempt::Stage::AsRead) return;
  const std::optional<MoreValues> more = values_after_the_first(text);
  if (!more) return;
  ++values_not_read_count;
  if (values_not_read.size() < kKept) values_not_read.push_back({document, line, more->count});
}

bool DocumentBytes::read(PyObject* object, const char* what) {
  if (!PyUnicode_Check(object)) {
    if (is_buffer(object)) return read_buffer(object, what);
    raise_wrong_type(what, "str, bytes, bytearray or memoryview", object);
    return false;
  }
  if (!utf8_.encode(object)) return false;
  text_ = utf8_.text();
  return true;
}

bool DocumentBytes::read_buffer(PyObject* object, const char* what) {
  if (PyBytes_Check(object)) return read_bytes(object);
  if (PyMemoryView_Check(object)) return read_memoryview(object);
  if (!PyByteArray_Check(object)) {
    raise_wrong_type(what, "bytes, bytearray or memoryview", object);
    return false;
  }
  PyRef copy(PyBytes_FromStringAndSize(PyByteArray_AsString(object), PyByteArray_Size(object)));
  return copy && read_bytes(copy.get());
}

bool DocumentBytes::read_bytes(PyObject* bytes) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) < 0) return false;
  bytes_ = PyRef::borrow(bytes);
  text_ = {data, static_cast<std::size_t>(size)};
  return true;
}

// A view of a whole bytes object is read in place; any other view is copied,
// as its memory may belong to a mutable object. The stable ABI of the
// oldest interpreter served has no buffer protocol, so the view is asked
// through its Python attributes.
bool DocumentBytes::read_memoryview(PyObject* view) {
  PyRef contiguous(PyObject_GetAttrString(view, "c_contiguous"));
  if (!contiguous) return false;
  if (contiguous.get() != Py_True) {
    PyErr_SetString(PyExc_BufferError, "memoryview is not C-contiguous");
    return false;
  }
  PyRef base(PyObject_GetAttrString(view, "obj"));
  PyRef size(PyObject_GetAttrString(view, "nbytes"));
  if (!base || !size) return false;
  if (PyBytes_Check(base.get()) && PyLong_AsSsize_t(size.get()) == PyBytes_Size(base.get())) {
    return read_bytes(base.get());
  }
  PyRef copy(PyObject_CallMethod(view, "tobytes", nullptr));
  return copy && read_bytes(copy.get());
}

bool add_document(Context& context, ShapeSummary& summary, SkippedLines& skipped, std::string_view text) {
  ReleasedGilCheck interrupt_check;
  diagnostics::ReadAttempt attempt;
  const std::optional<DocumentError> error = without_gil(context, interrupt_check, [&] {
    std::optional<DocumentError> refused = summary.add_text(context, text, ReadMode::Lenient, &attempt);
    if (!refused) skipped.note_values_after_the_first(text, attempt, summary.documents(), 0);
    return refused;
  });
  if (!error) return true;
  if (error->kind == DocumentError::Kind::Interrupted) return false;
  std::optional<std::uint64_t> line;
  if (error->offset != DocumentError::kNoOffset) line = json5::line_and_column(text, error->offset).first;
  raise_document_error(error->message, summary.documents() + 1, line, error->offset);
  return false;
}

bool add_lines(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* source, LineErrors errors) {
  if (is_buffer(source)) {
    PyErr_SetString(PyExc_TypeError,
                    "add_lines() takes a path, a file object or an iterable of lines, not a buffer: "
                    "io.BytesIO(data) reads the lines of bytes");
    return false;
  }
  LineFolder folder(context, summary, skipped, errors);
  if (is_path(source)) return fold_path_lines(source, folder);
  if (PyObject_HasAttrString(source, "read")) return fold_stream_lines(source, folder);
  return fold_iterable_lines(source, folder);
}

bool add_arrow_values(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* array, LineErrors errors) {
  ArrowStrings values;
  if (!values.read(array)) return false;
  LineFolder folder(context, summary, skipped, errors);
  return folder.fold_values(values);
}

bool add_file_lines(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* path, LineErrors errors) {
  LineFolder folder(context, summary, skipped, errors);
  return fold_path_lines(path, folder);
}

PyRef read_whole_file(PyObject* path) {
  PyRef file = open_binary(path);
  if (!file) return {};
  PyRef content(PyObject_CallMethod(file.get(), "read", nullptr));
  if (!close_file(file.get())) return {};
  return content;
}

}  // namespace plomet::module
