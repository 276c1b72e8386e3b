// How the caller's str becomes the UTF-8 text that the pipeline reads,
// leaving the str as it was (no UTF-8 copy is cached on it, as
// PyUnicode_AsUTF8AndSize would cache for a non-ASCII str):
// - an ASCII str is read in place: its characters are its UTF-8 bytes;
// - in the module built for the running interpreter, any other str is
//   transcoded from its own storage (one, two or four bytes per code point)
//   by the vectorised encoders of text/utf8;
// - in the stable-ABI module, which cannot reach that storage, it is
//   transcoded a slice at a time: the interpreter hands out the slice's code
//   points (PyUnicode_AsUCS4) and the same encoders write them. The
//   interpreter's own encoder (PyUnicode_AsUTF8String) is no faster on
//   four-byte strs, and makes a call on a mostly-ASCII two-byte one twice as
//   slow: its bytes object, sized for three bytes per code point, is new
//   memory each call.
// A lone surrogate is left to the interpreter's encoder, which raises its
// own UnicodeEncodeError.
#include "module/utf8_input.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "text/utf8.h"

namespace plomet::module {
namespace {

// Code points encoded between two runs of the signal handlers. A chunk of
// the storage is about a millisecond's work; a slice is what one call of
// PyUnicode_AsUCS4 copies out, into the context's transcoding buffer.
constexpr std::size_t kChunkCodePoints = std::size_t{1} << 20;
constexpr std::size_t kSliceCodePoints = kTranscodingCodePoints;

// The block starts with room for mostly-ASCII text (or all of the worst case
// for a short str), and each step encodes as many code points as surely fit
// in the room left. The room grows by half when it holds fewer than
// kMinimumStep code points; the first one leaves that much over.
constexpr std::size_t kMinimumStep = std::size_t{1} << 12;

std::size_t first_capacity(std::size_t count, std::size_t most_per_unit) {
  return std::min(count * most_per_unit, count + count / 8 + kMinimumStep * most_per_unit);
}

bool raise_no_memory() {
  PyErr_NoMemory();
  return false;
}

// Runs the signal handlers that are due between two steps, as the pipeline
// does; true when one raised, which ends the call with its exception.
bool signal_handler_raised(std::size_t done) { return done > 0 && PyErr_CheckSignals() != 0; }

}  // namespace

// The transcoded text goes back to the context, whose spare memory the
// arenas and the next str reuse.
Utf8Input::~Utf8Input() {
  if (owned_) context_.give_chunk(std::move(owned_));
}

// Room for `bytes` in all: a spare block of the context, or a new one, which
// takes over what was written so far. Nothing is written before it is used
// (no zero fill), and the pages of a large block are mapped as they are
// written.
bool Utf8Input::reserve(std::size_t bytes) {
  try {
    MemoryBlock block = context_.take_chunk(bytes);
    if (!block) block = MemoryBlock(bytes);
    if (size_ > 0) std::memcpy(block.bytes(), owned_.bytes(), size_);
    if (owned_) context_.give_chunk(std::move(owned_));
    owned_ = std::move(block);  // a block the context did not keep is freed here
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::size_t Utf8Input::room_for(std::size_t rest, std::size_t most_per_unit, std::size_t step) {
  const std::size_t capacity = owned_.size();
  const std::size_t wanted = std::min(rest, kMinimumStep);
  if ((capacity - size_) / most_per_unit < wanted &&
      !reserve(std::max(capacity + capacity / 2, size_ + wanted * most_per_unit))) {
    return 0;
  }
  return std::min({rest, step, (owned_.size() - size_) / most_per_unit});
}

template <typename Unit>
bool Utf8Input::append(const Unit* code_points, std::size_t count) {
  char* start = reinterpret_cast<char*>(owned_.bytes());
  char* stop = scan::encode_utf8(code_points, count, start + size_);
  if (stop == nullptr) return false;
  size_ = static_cast<std::size_t>(stop - start);
  return true;
}

template <typename Unit, typename CodePointsAt>
bool Utf8Input::transcode(PyObject* str, std::size_t count, std::size_t step, CodePointsAt code_points_at) {
  constexpr std::size_t kMostPerUnit = scan::kMaxUtf8BytesPerUnit<Unit>;
  size_ = 0;
  if (!reserve(first_capacity(count, kMostPerUnit))) return raise_no_memory();
  for (std::size_t done = 0; done < count;) {
    if (signal_handler_raised(done)) return false;
    const std::size_t take = room_for(count - done, kMostPerUnit, step);
    if (take == 0) return raise_no_memory();
    const Unit* code_points = code_points_at(done, take);
    if (code_points == nullptr) return false;
    if (!append(code_points, take)) {
      // A lone surrogate: the interpreter's encoder raises its own error.
      PyRef refused(PyUnicode_AsUTF8String(str));
      if (refused) PyErr_SetString(PyExc_SystemError, "plomet: a str with a surrogate was encoded");
      return false;
    }
    done += take;
  }
  data_ = reinterpret_cast<const char*>(owned_.bytes());
  return true;
}

#if defined(Py_LIMITED_API)

namespace {

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

bool Utf8Input::encode(PyObject* str) {
  const Py_ssize_t length = PyUnicode_GetLength(str);
  if (length < 0) return false;
  return is_ascii(str) ? encode_ascii(str) : transcode_slices(str, length);
}

// PyUnicode_AsUTF8AndSize caches nothing for an ASCII str: it hands out the
// str's own characters.
bool Utf8Input::encode_ascii(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return false;
  data_ = data;
  size_ = static_cast<std::size_t>(size);
  return true;
}

// A str that fits one slice is copied out whole; a longer one slice by
// slice, each a new str (PyUnicode_Substring) whose code points are copied.
bool Utf8Input::transcode_slices(PyObject* str, Py_ssize_t length) {
  const auto count = static_cast<std::size_t>(length);
  Py_UCS4* slice = nullptr;
  try {
    slice = reinterpret_cast<Py_UCS4*>(context_.transcoding_buffer().data());
  } catch (const std::bad_alloc&) {
    return raise_no_memory();
  }
  return transcode<Py_UCS4>(str, count, kSliceCodePoints, [&](std::size_t done, std::size_t take) -> Py_UCS4* {
    const auto start = static_cast<Py_ssize_t>(done);
    const auto size = static_cast<Py_ssize_t>(take);
    if (take == count) return PyUnicode_AsUCS4(str, slice, size, 0);
    PyRef piece(PyUnicode_Substring(str, start, start + size));
    return piece ? PyUnicode_AsUCS4(piece.get(), slice, size, 0) : nullptr;
  });
}

#else

bool Utf8Input::encode(PyObject* str) {
#if PY_VERSION_HEX < 0x030C0000
  // A str made through the legacy wchar_t API gets its storage here.
  if (PyUnicode_READY(str) < 0) return false;
#endif
  if (PyUnicode_IS_ASCII(str)) return encode_ascii(str);
  const void* storage = PyUnicode_DATA(str);
  const auto count = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_1BYTE_KIND:
      return transcode_storage(str, static_cast<const Py_UCS1*>(storage), count);
    case PyUnicode_2BYTE_KIND:
      return transcode_storage(str, static_cast<const Py_UCS2*>(storage), count);
    default:
      return transcode_storage(str, static_cast<const Py_UCS4*>(storage), count);
  }
}

bool Utf8Input::encode_ascii(PyObject* str) {
  data_ = static_cast<const char*>(PyUnicode_DATA(str));
  size_ = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  return true;
}

template <typename Unit>
bool Utf8Input::transcode_storage(PyObject* str, const Unit* code_points, std::size_t count) {
  return transcode<Unit>(str, count, kChunkCodePoints,
                         [code_points](std::size_t done, std::size_t) { return code_points + done; });
}

#endif

}  // namespace plomet::module
