// The name of a UTF-8 kernel, for the names and messages of the tests that
// run each one.
#pragma once

#include <string>

#include "text/utf8.h"

namespace plomet::scan {

inline std::string kernel_name(Utf8Kernel kernel) {
  switch (kernel) {
    case Utf8Kernel::kScalar:
      return "Scalar";
    case Utf8Kernel::kSse42:
      return "Sse42";
    case Utf8Kernel::kAvx2:
      return "Avx2";
  }
  return "Unknown";
}

}  // namespace plomet::scan
