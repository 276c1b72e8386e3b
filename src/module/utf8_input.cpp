// An ASCII str is read in place: its characters are its UTF-8 bytes, and
// PyUnicode_AsUTF8AndSize hands them out without copying or caching anything
// on the str. Any other str is transcoded here, a slice at a time: the
// interpreter hands out the slice's code points (PyUnicode_AsUCS4) and a
// vectorised encoder writes them as UTF-8. That is several times faster than
// the interpreter's per-character encoder for two- and four-byte strs, and
// leaves no UTF-8 copy attached to the caller's str; the slices keep the
// extra memory to one small buffer.
#include "module/utf8_input.h"

#include <algorithm>
#include <new>

#include "text/utf8.h"

namespace plomet::module {
namespace {

// A str that fits the context's transcoding buffer is converted in one
// step (slicing costs a copy of each slice); a longer one in slices of that
// size, so the extra memory beyond the UTF-8 text stays at 64 KiB of code
// points.
constexpr auto kSliceCodePoints = static_cast<Py_ssize_t>(kTranscodingCodePoints);

bool is_ascii(PyObject* str) {
  // Calls str.isascii itself, so a subclass cannot run code here.
  PyRef answer(PyObject_CallMethod(as_object(&PyUnicode_Type), "isascii", "O", str));
  if (!answer) {
    PyErr_Clear();
    return false;  // the transcoder handles every str
  }
  return answer.get() == Py_True;
}

}  // namespace

// The transcoded text goes back to the context, whose texts the repair
// chain reuses.
Utf8Input::~Utf8Input() { context_.recycle_text(std::move(owned_)); }

bool Utf8Input::encode(PyObject* str) {
  const Py_ssize_t length = PyUnicode_GetLength(str);
  if (length < 0) return false;
  return is_ascii(str) ? encode_ascii(str) : transcode(str, length);
}

bool Utf8Input::encode_ascii(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return false;
  data_ = data;
  size_ = static_cast<std::size_t>(size);
  return true;
}

bool Utf8Input::transcode(PyObject* str, Py_ssize_t length) {
  const Py_ssize_t slice_length = std::min(length, kSliceCodePoints);
  try {
    char32_t* slice = context_.transcoding_buffer().data();
    auto* slice_units = reinterpret_cast<Py_UCS4*>(slice);
    // Room for mostly-ASCII text; grown on demand.
    owned_ = context_.take_text(0);
    owned_.resize(static_cast<std::size_t>(length) + static_cast<std::size_t>(length) / 8 + 64);
    std::size_t size = 0;
    for (Py_ssize_t start = 0; start < length; start += slice_length) {
      // Between slices the signal handlers that are due run, as they do in
      // the pipeline; one that raises ends the call with its exception.
      if (start > 0 && PyErr_CheckSignals() != 0) return false;
      const Py_ssize_t count = std::min(slice_length, length - start);
      if (count == length) {
        if (!PyUnicode_AsUCS4(str, slice_units, count, 0)) return false;
      } else {
        PyRef piece(PyUnicode_Substring(str, start, start + count));
        if (!piece || !PyUnicode_AsUCS4(piece.get(), slice_units, count, 0)) return false;
      }
      const std::size_t most = static_cast<std::size_t>(count) * scan::kMaxUtf8BytesPerCodePoint;
      if (owned_.size() - size < most) owned_.resize(std::max(owned_.size() + owned_.size() / 2, size + most));
      char* stop = scan::encode_utf8(slice, static_cast<std::size_t>(count), owned_.data() + size);
      if (stop == nullptr) {
        // A lone surrogate: the interpreter's encoder raises its own error.
        PyRef refused(PyUnicode_AsUTF8String(str));
        if (!refused) return false;
        PyErr_SetString(PyExc_SystemError, "plomet: a str with a surrogate was encoded");
        return false;
      }
      size = static_cast<std::size_t>(stop - owned_.data());
    }
    owned_.resize(size);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
  data_ = owned_.data();
  size_ = owned_.size();
  return true;
}

}  // namespace plomet::module
