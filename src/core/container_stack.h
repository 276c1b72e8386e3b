// A stack of the containers open around a reader's position, one frame per
// open array or object, with a fixed capacity: a push beyond it is refused,
// so nesting depth is bounded without growing memory.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

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
  void clear() { depth_ = 0; }
  // The innermost container (not empty()).
  Frame& top() { return frames_[depth_ - 1]; }
  const Frame& top() const { return frames_[depth_ - 1]; }
  // The container at level (0: the outermost), below depth().
  const Frame& operator[](std::size_t level) const { return frames_[level]; }
  std::size_t depth() const { return depth_; }
  bool empty() const { return depth_ == 0; }

 private:
  // Only frames below depth_ are ever read, so none is set up in advance.
  std::array<Frame, Capacity> frames_;
  std::size_t depth_ = 0;
};

// A stack with no bound of its own, for work whose depth its reader bounds:
// push stays inline in hot loops, and only growing is a call.
template <class Frame>
class GrowingStack {
 public:
  void push_back(const Frame& frame) {
    if (depth_ == frames_.size()) [[unlikely]] grow();
    frames_[depth_++] = frame;
  }
  void pop_back() { --depth_; }
  Frame& back() { return frames_[depth_ - 1]; }
  const Frame& back() const { return frames_[depth_ - 1]; }
  Frame& operator[](std::size_t at) { return frames_[at]; }
  const Frame& operator[](std::size_t at) const { return frames_[at]; }
  std::size_t size() const { return depth_; }
  bool empty() const { return depth_ == 0; }

 private:
  [[gnu::noinline]] void grow() { frames_.resize(std::max<std::size_t>(16, frames_.size() * 2)); }

  std::vector<Frame> frames_;
  std::size_t depth_ = 0;
};

}  // namespace plomet
