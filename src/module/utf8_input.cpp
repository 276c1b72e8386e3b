// An ASCII str is copied by the interpreter's own encoder, which is a memory
// copy for it. Any other str is transcoded here, a slice at a time: the
// interpreter hands out the slice's code points (PyUnicode_AsUCS4) and a
// vectorised encoder writes them as UTF-8. That is several times faster than
// the interpreter's per-character encoder for two- and four-byte strs, and
// the slices keep the extra memory to one small buffer.
#include "module/utf8_input.h"

#include <algorithm>
#include <new>

#include "unicode/utf8_encoding.h"

namespace plomet::module {
namespace {

// A str of up to kWholeCodePoints is converted in one step (slicing costs a
// copy of each slice); a longer one in slices of kSliceCodePoints, so the
// extra memory stays a few megabytes however long the text.
constexpr Py_ssize_t kWholeCodePoints = 1 << 21;
constexpr Py_ssize_t kSliceCodePoints = 1 << 18;

bool is_ascii(PyObject* str) {
  // Calls str.isascii itself, so a subclass cannot run code here.
  PyRef answer(PyObject_CallMethod(as_object(&PyUnicode_Type), "isascii", "O", str));
  if (!answer) {
    PyErr_Clear();
    return false;  // the transcoder handles every str
  }
  return answer.get() == Py_True;
}

// Buffers of finished calls, kept for the next call on the same thread: fresh
// memory costs a page fault per page, which for a document of megabytes is
// as much as transcoding it.
constexpr std::size_t kKeptTextCapacity = std::size_t{32} << 20;

struct SpareBuffers {
  std::unique_ptr<char, void (*)(void*)> text{nullptr, std::free};
  std::size_t text_capacity = 0;
  std::unique_ptr<char32_t[]> slice;
  std::size_t slice_capacity = 0;
};

thread_local SpareBuffers spare_buffers;

char32_t* slice_buffer(std::size_t code_points) {
  SpareBuffers& spare = spare_buffers;
  if (spare.slice_capacity < code_points) {
    spare.slice.reset(new (std::nothrow) char32_t[code_points]);
    spare.slice_capacity = spare.slice ? code_points : 0;
  }
  return spare.slice.get();
}

}  // namespace

Utf8Input::~Utf8Input() {
  SpareBuffers& spare = spare_buffers;
  if (owned_ && owned_capacity_ <= kKeptTextCapacity && owned_capacity_ > spare.text_capacity) {
    spare.text.reset(owned_.release());
    spare.text_capacity = owned_capacity_;
  }
}

bool Utf8Input::encode(PyObject* str) {
  const Py_ssize_t length = PyUnicode_GetLength(str);
  if (length < 0) return false;
  return is_ascii(str) ? encode_ascii(str) : transcode(str, length);
}

bool Utf8Input::encode_ascii(PyObject* str) {
  bytes_ = PyRef(PyUnicode_AsUTF8String(str));
  if (!bytes_) return false;
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes_.get(), &data, &size) < 0) return false;
  data_ = data;
  size_ = static_cast<std::size_t>(size);
  return true;
}

bool Utf8Input::transcode(PyObject* str, Py_ssize_t length) {
  const Py_ssize_t slice_length = length <= kWholeCodePoints ? length : kSliceCodePoints;
  char32_t* slice = slice_buffer(static_cast<std::size_t>(slice_length));
  auto* slice_units = reinterpret_cast<Py_UCS4*>(slice);
  // Room for mostly-ASCII text; grown on demand (realloc of a large block
  // remaps its pages instead of copying them).
  std::size_t capacity = static_cast<std::size_t>(length) + static_cast<std::size_t>(length) / 8 + 64;
  SpareBuffers& spare = spare_buffers;
  if (spare.text && spare.text_capacity >= capacity) {
    owned_.reset(spare.text.release());
    capacity = spare.text_capacity;
    spare.text_capacity = 0;
  } else {
    owned_.reset(static_cast<char*>(std::malloc(capacity)));
  }
  owned_capacity_ = capacity;
  if (!slice || !owned_) {
    PyErr_NoMemory();
    return false;
  }
  std::size_t size = 0;
  for (Py_ssize_t start = 0; start < length; start += slice_length) {
    // Between slices the signal handlers that are due run, as they do in the
    // pipeline; one that raises ends the call with its exception.
    if (start > 0 && PyErr_CheckSignals() != 0) return false;
    const Py_ssize_t count = std::min(slice_length, length - start);
    if (count == length) {
      if (!PyUnicode_AsUCS4(str, slice_units, count, 0)) return false;
    } else {
      PyRef piece(PyUnicode_Substring(str, start, start + count));
      if (!piece || !PyUnicode_AsUCS4(piece.get(), slice_units, count, 0)) return false;
    }
    const std::size_t most = static_cast<std::size_t>(count) * kMaxUtf8BytesPerCodePoint;
    if (capacity - size < most) {
      capacity = std::max(capacity + capacity / 2, size + most);
      char* grown = static_cast<char*>(std::realloc(owned_.get(), capacity));
      if (grown == nullptr) {
        PyErr_NoMemory();
        return false;
      }
      static_cast<void>(owned_.release());
      owned_.reset(grown);
      owned_capacity_ = capacity;
    }
    char* stop = encode_utf8(slice, static_cast<std::size_t>(count), owned_.get() + size);
    if (stop == nullptr) {
      // A lone surrogate: the interpreter's encoder raises its own error.
      PyRef refused(PyUnicode_AsUTF8String(str));
      if (!refused) return false;
      PyErr_SetString(PyExc_SystemError, "plomet: a str with a surrogate was encoded");
      return false;
    }
    size = static_cast<std::size_t>(stop - owned_.get());
  }
  data_ = owned_.get();
  size_ = size;
  return true;
}

}  // namespace plomet::module
