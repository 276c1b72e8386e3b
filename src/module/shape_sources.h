// What plomet.Shape reads from Python objects, and how the core folds it with
// the GIL released: one document (str, bytes, bytearray, memoryview), or the
// lines of a path, a file object or an iterable of lines.
//
// The GIL is released only over bytes that no other thread can change: a
// bytes object (immutable, and referenced for the whole fold), a str's UTF-8,
// or the call's own copy of a mutable buffer. While it is released, the
// interrupt check takes the GIL back now and then to run the signal handlers
// that are due, so Ctrl-C still stops a long fold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnostics.h"
#include "module/arrow_strings.h"
#include "module/python_api.h"
#include "module/utf8_input.h"
#include "core/context.h"
#include "shape/shape_summary.h"

namespace plomet::module {

// What reading left out, each kind counted and its first kKept kept: the
// lines that add_lines(errors="skip") passed over, with their messages, and
// the documents that held values after their first, which repair keeps out
// (JSON Lines given as one document).
struct SkippedLines {
  static constexpr std::size_t kKept = 1000;
  struct Line {
    std::uint64_t number;
    std::string message;
  };
  std::vector<Line> kept;
  std::uint64_t count = 0;

  struct ValuesNotRead {
    std::uint64_t document;
    std::uint64_t line;  // of the source; 0 for a document given whole
    std::uint64_t values;
  };
  std::vector<ValuesNotRead> values_not_read;
  std::uint64_t values_not_read_count = 0;

  void add(std::uint64_t number, const std::string& message);
  // Notes the values after the first of the document just added from text,
  // when the attempt that read it was not the text as it is.
  void note_values_after_the_first(std::string_view text, const diagnostics::ReadAttempt& attempt,
                                   std::uint64_t document, std::uint64_t line);
};

// Raises ValueError with a message of the core (UTF-8, decoded leniently).
void raise_value_error(std::string_view message);
// Raises TypeError "<what> must be <expected>, not '<type of object>'".
void raise_wrong_type(const char* what, const char* expected, PyObject* object);

// The bytes of one Python object, readable with the GIL released: a bytes
// object's own (also behind a memoryview that spans all of it), a copy of
// any other buffer, or a str's UTF-8.
class DocumentBytes {
 public:
  // A str's UTF-8 is transcoded into a text of context.
  explicit DocumentBytes(Context& context) : utf8_(context) {}

  // Reads a str, bytes, bytearray or C-contiguous memoryview; false with a
  // Python error set. `what` names the object in a TypeError.
  bool read(PyObject* object, const char* what);
  // The same without str.
  bool read_buffer(PyObject* object, const char* what);
  std::string_view text() const { return text_; }

 private:
  bool read_bytes(PyObject* bytes);
  bool read_memoryview(PyObject* view);

  PyRef bytes_;
  Utf8Input utf8_;
  std::string_view text_;
};

// The functions that add documents do their work in context, with the GIL
// released and the signal handlers run as they go.

// Adds one document with the GIL released; false with the Python error set:
// ValueError with the core's message for a document that does not read (its
// attributes document, line and offset say where), or what a signal handler
// raised.
bool add_document(Context& context, ShapeSummary& summary, SkippedLines& skipped, std::string_view text);

enum class LineErrors : std::uint8_t {
  Raise,  // the first line that does not read raises ValueError("line N: ...")
  Skip,   // such lines are counted and kept in SkippedLines
};

// Adds every line of source that holds more than blanks, as a document:
// source is a path (str or os.PathLike), a file object (binary or text), or
// an iterable of str or bytes lines. Lines before a failure stay added.
bool add_lines(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* source, LineErrors errors);

// Adds each value of an Arrow string or binary array (see ArrowStrings) as
// one line: numbered from 1, and skipped when null or blank.
bool add_arrow_values(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* array, LineErrors errors);

// Adds the lines of the file at path (str or os.PathLike).
bool add_file_lines(Context& context, ShapeSummary& summary, SkippedLines& skipped, PyObject* path, LineErrors errors);

// The whole content of the file at path, as a bytes object, or an empty
// PyRef with the Python error set.
PyRef read_whole_file(PyObject* path);

}  // namespace plomet::module
