// The caller's str as UTF-8 bytes that the pipeline borrows for one call.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/context.h"
#include "module/python_api.h"

namespace plomet::module {

class Utf8Input {
 public:
  // The transcoded text comes from context and goes back to it.
  explicit Utf8Input(Context& context) : context_(context) {}
  Utf8Input(const Utf8Input&) = delete;
  Utf8Input& operator=(const Utf8Input&) = delete;
  ~Utf8Input();

  std::string_view text() const { return {data_, size_}; }

  // Fills this with the UTF-8 form of a str (or str subclass); returns false
  // with the interpreter's error set (UnicodeEncodeError for a lone
  // surrogate, MemoryError, or what a signal handler raised between the
  // slices of a long str).
  bool encode(PyObject* str);

 private:
  bool encode_ascii(PyObject* str);
  bool transcode(PyObject* str, Py_ssize_t length);

  Context& context_;
  Text owned_;  // a non-ASCII str's UTF-8, transcoded here
  const char* data_ = "";
  std::size_t size_ = 0;
};

}  // namespace plomet::module
