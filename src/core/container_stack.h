// A stack of the containers open around a reader's position, one frame per
// open array or object, with a fixed capacity: a push beyond it is refused,
// so nesting depth is bounded without growing memory.
#pragma once

#include <array>
#include <cstddef>

namespace plomet {

template <class Frame, std::size_t Capacity>
class ContainerStack {
 public:
  // Opens a container; false, changing nothing, when Capacity are open.
  [[nodiscard]] bool push(const Frame& frame) {
    if (depth_ == Capacity) return false;
    frames_[depth_++] = frame;
    return true;
  }
  // Closes the innermost container (not empty()).
  void pop() { --depth_; }
  // The innermost container (not empty()).
  Frame& top() { return frames_[depth_ - 1]; }
  const Frame& top() const { return frames_[depth_ - 1]; }
  std::size_t depth() const { return depth_; }
  bool empty() const { return depth_ == 0; }

 private:
  std::array<Frame, Capacity> frames_{};
  std::size_t depth_ = 0;
};

}  // namespace plomet
