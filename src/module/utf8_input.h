// The caller's str as UTF-8 bytes that the pipeline borrows for one call.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/context.h"
#include "core/page_memory.h"
#include "module/python_api.h"

namespace plomet::module {

class Utf8Input {
 public:
  // The transcoded text lives in memory of context and goes back to it.
  explicit Utf8Input(Context& context) : context_(context) {}
  Utf8Input(const Utf8Input&) = delete;
  Utf8Input& operator=(const Utf8Input&) = delete;
  ~Utf8Input();

  std::string_view text() const { return {data_, size_}; }

  // Fills this with the UTF-8 form of a str (or str subclass), leaving the
  // str as it was; returns false with the interpreter's error set
  // (UnicodeEncodeError for a lone surrogate, MemoryError, or what a signal
  // handler raised while a long str was transcoded).
  bool encode(PyObject* str);

 private:
  enum class Appended { kDone, kRefused, kOutOfMemory };

  bool encode_ascii(PyObject* str);
#if defined(Py_LIMITED_API)
  bool transcode_slices(PyObject* str, Py_ssize_t length);
#else
  template <typename Unit>
  bool transcode_storage(PyObject* str, const Unit* code_points, std::size_t count);
#endif
  bool reserve(std::size_t bytes);
  template <typename Unit>
  Appended append(const Unit* code_points, std::size_t count);
  bool finish(Appended last, PyObject* str);

  Context& context_;
  MemoryBlock owned_;  // a non-ASCII str's UTF-8, transcoded here: its first size_ bytes
  const char* data_ = "";
  std::size_t size_ = 0;
};

}  // namespace plomet::module
