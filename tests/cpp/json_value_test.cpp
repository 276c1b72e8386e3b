#include "document/json_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "document/workspace.h"

namespace {
// While set, allocation fails on this thread: a test runs code that must
// survive running out of memory.
thread_local bool refuse_allocations = false;
}  // namespace

// Every form of new and delete is replaced, so that each allocation and its
// release go through the same pair (malloc and free).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return refuse_allocations ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size) {
  if (void* p = operator new(size, std::nothrow)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return operator new(size, nothrow); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace plomet {
namespace {

// The insert-or-replace rule written plainly: quadratic, but obviously right.
std::vector<std::pair<std::string, std::uint64_t>> reference_object(const std::vector<JsonMember>& members) {
  std::vector<std::pair<std::string, std::uint64_t>> out;
  for (const JsonMember& m : members) {
    auto it = std::find_if(out.begin(), out.end(), [&](const auto& kept) { return kept.first == m.key; });
    if (it == out.end()) {
      out.emplace_back(std::string(m.key), m.value.as_number().u64_value);
    } else {
      it->second = m.value.as_number().u64_value;
    }
  }
  return out;
}

TEST(MakeObject, KeepsFirstPositionsAndLastValuesOnEitherSideOfEveryThreshold) {
  std::mt19937 rng(3);
  for (std::size_t size : {0u, 1u, 2u, 8u, 9u, 63u, 64u, 65u, 66u, 300u}) {
    for (std::size_t distinct : {std::size_t{1}, size / 2 + 1, size + 1}) {
      std::vector<std::string> keys;  // owns the key texts the members view
      keys.reserve(size);
      for (std::size_t i = 0; i < size; ++i) {
        // Keys that share first, middle and last bytes and lengths, so tags collide.
        std::string key(1, 'k');
        key += std::to_string(rng() % distinct);
        key += 'k';
        keys.push_back(std::move(key));
      }
      std::vector<JsonMember> members;
      for (std::size_t i = 0; i < size; ++i) members.push_back({keys[i], JsonValue::number(JsonNumber::u64(i))});

      JsonArena arena;
      const JsonValue object = make_object(members, arena);
      std::vector<std::pair<std::string, std::uint64_t>> got;
      for (const JsonMember& m : object.members()) got.emplace_back(std::string(m.key), m.value.as_number().u64_value);
      EXPECT_EQ(got, reference_object(members)) << "size " << size << ", distinct " << distinct;
    }
  }
}

// Each case runs on a thread of its own, whose workspace starts empty.
void on_fresh_thread(void (*body)()) { std::thread(body).join(); }

TEST(Workspace, ArenaAndDocumentDestructorsSurviveRunningOutOfMemory) {
  on_fresh_thread([] {
    {
      JsonArena arena;
      arena.allocate(64, 8);
      refuse_allocations = true;  // the spare list cannot grow to keep the chunk
    }
    refuse_allocations = false;
    EXPECT_EQ(take_spare_chunk(1).bytes, nullptr);  // dropped, not kept
    { JsonArena arena; arena.allocate(64, 8); }
    EXPECT_NE(take_spare_chunk(1).bytes, nullptr);  // kept again once memory is there
  });
  on_fresh_thread([] {
    {
      JsonDocument document;
      document.owned_text = std::make_unique<std::string>(8192, 'x');
      refuse_allocations = true;
    }
    refuse_allocations = false;
    EXPECT_LT(take_text_buffer(0).capacity(), 8192u);
  });
}

TEST(Workspace, KeepsSpareMemoryWithinItsBound) {
  on_fresh_thread([] {
    const struct {
      std::size_t size;
      bool kept;
    } chunks[] = {{kWorkspaceBytes - 8192, true}, {8192, true}, {1, false}};
    for (const auto& c : chunks) give_spare_chunk({std::make_unique_for_overwrite<std::byte[]>(c.size), c.size});
    for (const auto& c : chunks) {
      EXPECT_EQ(take_spare_chunk(c.size).size == c.size, c.kept) << c.size;
    }
  });
  on_fresh_thread([] {
    recycle_text_buffer(std::string(100, 'x'));  // too small to keep
    std::string big(10000, 'x');
    const std::size_t capacity = big.capacity();
    recycle_text_buffer(std::move(big));
    std::string taken = take_text_buffer(10);
    EXPECT_EQ(taken.capacity(), capacity);
    EXPECT_TRUE(taken.empty());
    EXPECT_LT(take_text_buffer(0).capacity(), 4096u);
  });
}

}  // namespace
}  // namespace plomet
