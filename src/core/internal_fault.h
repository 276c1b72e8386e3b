// A broken internal invariant: a programming fault, never an input error.
// The core throws it; the hosts catch it at their boundary (the module turns
// it into PanicException), so no exception crosses the C API.
#pragma once

#include <stdexcept>
#include <string>

namespace plomet {

// Where a fault was thrown. std::source_location needs a builtin that clang 14
// lacks with libstdc++ 12, so the location comes from the builtins that both
// g++ and clang have, taken at the throw site through default arguments.
struct FaultLocation {
  const char* file_name;
  unsigned line;
  const char* function_name;
};

class InternalFault : public std::logic_error {
 public:
  explicit InternalFault(const std::string& message, const char* file_name = __builtin_FILE(),
                         unsigned line = __builtin_LINE(), const char* function_name = __builtin_FUNCTION())
      : std::logic_error(message), where_{file_name, line, function_name} {}
  const FaultLocation& where() const { return where_; }

 private:
  FaultLocation where_;
};

}  // namespace plomet
