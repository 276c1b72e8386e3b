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
  bool encode_ascii(PyObject* str);
#if defined(Py_LIMITED_API)
  bool transcode_slices(PyObject* str, Py_ssize_t length);
#else
  template <typename Unit>
  bool transcode_storage(PyObject* str, const Unit* code_points, std::size_t count);
#endif
  // Transcodes the str's count code points, step at most at a time, each
  // step's from code_points_at(done, take): a pointer to them, or nullptr
  // with the interpreter's error set.
  template <typename Unit, typename CodePointsAt>
  bool transcode(PyObject* str, std::size_t count, std::size_t step, CodePointsAt code_points_at);
  bool reserve(std::size_t bytes);
  // How many of the rest code points, of at most most_per_unit UTF-8 bytes
  // each, to encode next: at most step, and as many as surely fit; 0 when
  // the room cannot grow.
  std::size_t room_for(std::size_t rest, std::size_t most_per_unit, std::size_t step);
  // Encodes code points that fit the room left; false for a lone surrogate.
  template <typename Unit>
  bool append(const Unit* code_points, std::size_t count);

  Context& context_;
  MemoryBlock owned_;  // a non-ASCII str's UTF-8, transcoded here: its first size_ bytes
  const char* data_ = "";
  std::size_t size_ = 0;
};

}  // namespace plomet::module
