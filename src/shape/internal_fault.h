// A broken internal invariant: a programming fault, never an input error.
// The core throws it; the hosts catch it at their boundary (the module turns
// it into PanicException), so no exception crosses the C API.
#pragma once

#include <stdexcept>
#include <string>
#include <version>
#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace plomet {

class InternalFault : public std::logic_error {
 public:
#if defined(__cpp_lib_source_location)
  explicit InternalFault(const std::string& message,
                         std::source_location where = std::source_location::current())
      : std::logic_error(message), where_(where) {}
  const std::source_location& where() const { return where_; }

 private:
  std::source_location where_;
#else
  // clang 14 with libstdc++ has no std::source_location.
  explicit InternalFault(const std::string& message) : std::logic_error(message) {}
#endif
};

}  // namespace plomet
