// A broken internal invariant: a programming fault, never an input error.
// The core throws it; the hosts catch it at their boundary (the module turns
// it into PanicException), so no exception crosses the C API.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

namespace plomet {

class InternalFault : public std::logic_error {
 public:
  explicit InternalFault(const std::string& message,
                         std::source_location where = std::source_location::current())
      : std::logic_error(message), where_(where) {}
  const std::source_location& where() const { return where_; }

 private:
  std::source_location where_;
};

}  // namespace plomet
