// A stack of the containers open around a reader's position, one frame per
// open array or object, with a fixed capacity: a push beyond it is refused,
// so nesting depth is bounded without growing memory.
#pragma once

#include <array>
#include <cstddef>

namespace plomet {

// Arrays and objects may nest this deep and no deeper: 1024 nested `[` read,
// 1025 do not. The JSON5 reader and the loose reader of the missing-quote
// repair share the bound.
inline constexpr std::size_t kMaxNestingDepth = 1024;

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
  // Only frames below depth_ are ever read, so none is set up in advance.
  std::array<Frame, Capacity> frames_;
  std::size_t depth_ = 0;
};

}  // namespace plomet
