#include "document/json_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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
  for (std::size_t size : {0, 1, 2, 8, 9, 63, 64, 65, 66, 300}) {
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

}  // namespace
}  // namespace plomet
