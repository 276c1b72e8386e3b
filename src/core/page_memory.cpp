#include "core/page_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace plomet {
namespace {

// Blocks of at least this size are laid on huge-page boundaries and offered
// to the kernel as huge pages: one fault maps 2 MiB instead of 4 KiB.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t mapped_size(std::size_t bytes) {
  return bytes >= kHugePage ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
}

void* map_huge(std::size_t size) {
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(mapped, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + size), start + kHugePage - aligned);
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* allocate_bytes(std::size_t bytes) {
  if (bytes < kMappedBytes) return ::operator new(bytes);
  const std::size_t size = mapped_size(bytes);
  void* block = size >= kHugePage
                    ? map_huge(size)
                    : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == nullptr || block == MAP_FAILED) throw std::bad_alloc();
  return block;
}

void free_bytes(void* block, std::size_t bytes) noexcept {
  if (bytes < kMappedBytes) {
    ::operator delete(block);
  } else {
    munmap(block, mapped_size(bytes));
  }
}

}  // namespace plomet
