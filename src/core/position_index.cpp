#include "core/position_index.h"

#include <random>

namespace plomet {

std::uint64_t hash_seed() {
  static const std::uint64_t seed = [] {
    std::uint64_t drawn = 0x2545f4914f6cdd1dULL;
    try {
      std::random_device device;
      drawn ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (...) {
      // No entropy source: the fixed value still hashes well.
    }
    return drawn;
  }();
  return seed;
}

}  // namespace plomet
