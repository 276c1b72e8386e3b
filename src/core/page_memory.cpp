#include "core/page_memory.h"

#include <sys/mman.h>

namespace plomet {

void* allocate_bytes(std::size_t bytes) {
  if (bytes < kMappedBytes) return ::operator new(bytes);
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  return block;
}

void free_bytes(void* block, std::size_t bytes) noexcept {
  if (bytes < kMappedBytes) {
    ::operator delete(block);
  } else {
    munmap(block, bytes);
  }
}

}  // namespace plomet
