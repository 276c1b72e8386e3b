// Memory for the large buffers of a call: texts, arena chunks and indexes.
//
// A block of at least kMappedBytes is mapped from the system on its own and
// unmapped when freed, so its pages go back as soon as the call is done.
// Smaller blocks come from operator new. The C library would map large
// blocks too, but after it frees one it raises its mapping threshold to that
// block's size: from then on, blocks up to that size come from its heap and
// stay resident after they are freed, in every thread's arena.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace plomet {

inline constexpr std::size_t kMappedBytes = std::size_t{256} << 10;

// Throws std::bad_alloc when the memory cannot be had.
void* allocate_bytes(std::size_t bytes);
// Frees a block of allocate_bytes, given the same size.
void free_bytes(void* block, std::size_t bytes) noexcept;

// The allocator of the containers that may grow large.
template <class T>
struct PageAllocator {
  using value_type = T;
  PageAllocator() = default;
  template <class U>
  PageAllocator(const PageAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(allocate_bytes(n * sizeof(T))); }
  void deallocate(T* block, std::size_t n) noexcept { free_bytes(block, n * sizeof(T)); }
  friend bool operator==(const PageAllocator&, const PageAllocator&) { return true; }
};

// A text that a call builds: a decoded input, a normalised or repaired text.
using Text = std::basic_string<char, std::char_traits<char>, PageAllocator<char>>;

// A list that may grow to millions of items, such as the examples of a
// position.
template <class T>
using LargeVector = std::vector<T, PageAllocator<T>>;

// A block of raw memory that frees itself.
class MemoryBlock {
 public:
  MemoryBlock() = default;
  explicit MemoryBlock(std::size_t size) : bytes_(static_cast<std::byte*>(allocate_bytes(size))), size_(size) {}
  MemoryBlock(MemoryBlock&& other) noexcept
      : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  MemoryBlock& operator=(MemoryBlock&& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    return *this;
  }
  ~MemoryBlock() {
    if (bytes_ != nullptr) free_bytes(bytes_, size_);
  }

  std::byte* bytes() const { return bytes_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return bytes_ != nullptr; }

 private:
  std::byte* bytes_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace plomet
