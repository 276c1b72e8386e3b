#include "document/json_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/position_index.h"

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

TEST(ContextMemory, ArenaAndDocumentDestructorsSurviveRunningOutOfMemory) {
  {
    Context context;
    {
      JsonArena arena(context);
      arena.allocate(64, 8);
      refuse_allocations = true;  // the spare list cannot grow to keep the chunk
    }
    refuse_allocations = false;
    EXPECT_FALSE(context.take_chunk(1));  // dropped, not kept
    {
      JsonArena arena(context);
      arena.allocate(64, 8);
    }
    EXPECT_TRUE(context.take_chunk(1));  // kept again once memory is there
  }
  Context context;
  {
    JsonDocument document(context);
    document.owned_text = std::make_unique<Text>(8192, 'x');
    refuse_allocations = true;
  }
  refuse_allocations = false;
  EXPECT_LT(context.take_text(0).capacity(), 8192u);
}

TEST(ContextMemory, KeepsSpareMemoryWithinItsBound) {
  {
    Context context;
    const struct {
      std::size_t size;
      bool kept;
    } chunks[] = {{kSpareBytes - 8192, true}, {8192, true}, {1, false}};
    for (const auto& c : chunks) context.give_chunk(MemoryBlock(c.size));
    for (const auto& c : chunks) EXPECT_EQ(context.take_chunk(c.size).size() == c.size, c.kept) << c.size;
  }
  Context context;
  context.recycle_text(Text(100, 'x'));  // too small to keep
  Text big(10000, 'x');
  const std::size_t capacity = big.capacity();
  context.recycle_text(std::move(big));
  Text taken = context.take_text(10);
  EXPECT_EQ(taken.capacity(), capacity);
  EXPECT_TRUE(taken.empty());
  EXPECT_LT(context.take_text(0).capacity(), 4096u);
}

// Texts and indexes grow across the size at which their memory is mapped
// rather than allocated, and shrink back; under the sanitizers a block freed
// the wrong way fails.
TEST(ContextMemory, BuffersGrowAndShrinkAcrossTheMappedSize) {
  for (const std::size_t size : {kMappedBytes - 1, kMappedBytes, kMappedBytes + 1, 3 * kMappedBytes}) {
    SCOPED_TRACE(size);
    Text text;
    for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>('a' + i % 26));
    ASSERT_EQ(text.size(), size);
    EXPECT_EQ(text[size - 1], static_cast<char>('a' + (size - 1) % 26));
    text.resize(10);
    text.shrink_to_fit();
    EXPECT_EQ(text, "abcdefghij");
    MemoryBlock block(size);
    std::fill_n(block.bytes(), size, std::byte{7});
    MemoryBlock moved = std::move(block);
    EXPECT_FALSE(block);
    EXPECT_EQ(moved.bytes()[size - 1], std::byte{7});
  }
  PositionIndex index;
  const std::uint32_t count = kMappedBytes / 4;
  for (std::uint32_t i = 0; i < count; ++i) index.insert_new(hash_integer(i), i);
  EXPECT_EQ(index.size(), count);
  EXPECT_EQ(index.find(hash_integer(count - 1), [&](std::uint32_t at) { return at == count - 1; }), count - 1);
}

}  // namespace
}  // namespace plomet
