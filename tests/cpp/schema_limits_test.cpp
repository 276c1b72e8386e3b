// Depth and size limits of inference, merging, rendering and release: the
// deepest documents the reader accepts run on a small thread stack, and the
// cost per item or key stays flat as inputs grow.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "analyze.h"
#include "repeated_text.h"
#include "read/read_json5.h"
#include "output/outline.h"
#include "shape/schema.h"

namespace plomet {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// A Python thread may be given 512 KiB, part of which the interpreter and the
// reader use themselves: optimised builds must do with half of it.
// Unoptimised frames are larger, and AddressSanitizer's red zones larger
// still, so those builds get more room.
#if defined(__OPTIMIZE__)
constexpr bool kOptimized = true;
#else
constexpr bool kOptimized = false;
#endif
constexpr std::size_t kSmallStack = kAddressSanitizer ? 2048 * 1024 : kOptimized ? 256 * 1024 : 512 * 1024;
constexpr std::size_t kPythonThreadStack = 2 * kSmallStack;

// Runs work on a new thread with the given stack size; rethrows its failure.
void run_on_stack(std::size_t stack_bytes, const std::function<void()>& work) {
  struct Job {
    const std::function<void()>* work;
    std::exception_ptr failure;
  } job{&work, nullptr};
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, stack_bytes), 0);
  pthread_t thread;
  auto body = [](void* raw) -> void* {
    Job* j = static_cast<Job*>(raw);
    try {
      (*j->work)();
    } catch (...) {
      j->failure = std::current_exception();
    }
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, body, &job), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  if (job.failure) std::rethrow_exception(job.failure);
}

JsonValue one_member_object(std::string_view key, JsonValue value, JsonArena& arena) {
  const JsonMember member{key, value};
  return make_object({&member, 1}, arena);
}

// levels nested arrays around a single 1: [[[1]]].
JsonValue nested_arrays(std::size_t levels, JsonArena& arena) {
  JsonValue value = JsonValue::number(JsonNumber::u64(1));
  for (std::size_t i = 0; i < levels; ++i) value = make_array({&value, 1}, arena);
  return value;
}

// levels nested objects around a single 1: {"a": {"a": 1}}.
JsonValue nested_objects(std::size_t levels, JsonArena& arena) {
  JsonValue value = JsonValue::number(JsonNumber::u64(1));
  for (std::size_t i = 0; i < levels; ++i) value = one_member_object("a", value, arena);
  return value;
}

// levels / 2 arrays of objects nested through the key a: [{"a": [{"a": 1}]}].
// With a sibling, every array also holds that second item after the object.
JsonValue nested_arrays_of_objects(std::size_t levels, JsonArena& arena, const JsonValue* sibling = nullptr) {
  JsonValue value = JsonValue::number(JsonNumber::u64(1));
  for (std::size_t i = 0; i < levels / 2; ++i) {
    const JsonValue items[] = {one_member_object("a", value, arena), sibling ? *sibling : JsonValue()};
    value = make_array({items, sibling ? 2u : 1u}, arena);
  }
  return value;
}

JsonValue pair_array(JsonValue first, JsonValue second, JsonArena& arena) {
  const JsonValue items[] = {first, second};
  return make_array(items, arena);
}

void infer_render_release(const JsonValue& root) {
  Schema schema = infer_schema(root);
  const std::string shown = render_schema(schema, true);
  const std::string hidden = render_schema(schema, false);
  // Every level adds an opening and a closing line.
  if (std::count(hidden.begin(), hidden.end(), '\n') < 2000) throw std::runtime_error("outline too short");
  Schema copy;
  copy_schema_into(copy, schema);
  merge_schema(copy, schema);
  if (render_schema(copy, true) != shown) throw std::runtime_error("merging a copy changed the outline");
}

TEST(SchemaDepth, DeepestDocumentsOnASmallStack) {
  constexpr std::size_t kDepth = kMaxNestingDepth;
  JsonArena arena;
  const JsonValue one_key = one_member_object("b", JsonValue::number(JsonNumber::u64(1)), arena);
  struct Case {
    const char* name;
    JsonValue root;
  };
  const Case cases[] = {
      {"arrays of arrays", nested_arrays(kDepth, arena)},
      {"objects of objects", nested_objects(kDepth, arena)},
      // The second chain folds into the first one's shape level by level.
      {"two chains of arrays of objects",
       pair_array(nested_arrays_of_objects(kDepth - 1, arena), nested_arrays_of_objects(kDepth - 1, arena), arena)},
      // Every array of the second chain holds two objects, so its items are
      // gathered into a shape of their own, which is merged level by level.
      {"merged chains of arrays of objects",
       pair_array(nested_arrays_of_objects(kDepth - 1, arena), nested_arrays_of_objects(kDepth - 1, arena, &one_key),
                  arena)},
      // The deep key is new to the first item's shape and is deep-copied.
      {"deep key new to the target",
       pair_array(make_array({&one_key, 1}, arena),
                  pair_array(one_key, one_member_object("a", nested_arrays_of_objects(kDepth - 3, arena), arena),
                             arena),
                  arena)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run_on_stack(kSmallStack, [&] { infer_render_release(c.root); });
  }
}

using testing::repeated;

// The whole pipeline, reader included, on the stack a Python thread may have.
TEST(SchemaDepth, DeepestTextsThroughThePipeline) {
  const std::size_t depth = kMaxNestingDepth;
  const std::string texts[] = {
      repeated("[", depth) + "1" + repeated("]", depth),
      repeated(R"({"a":)", depth) + "1" + repeated("}", depth),
      repeated(R"([{"a":)", depth / 2) + "1" + repeated("}]", depth / 2),
      repeated(R"([{"b":1},{"a":)", depth / 2) + "1" + repeated("}]", depth / 2),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 16));
    run_on_stack(kPythonThreadStack, [&] {
      auto outline = analyze_text(text, true);
      if (!outline || outline->find('1') == std::string::npos) throw std::runtime_error("no outline");
    });
  }
}

using Clock = std::chrono::steady_clock;

// Sanitized builds are slow enough that a fifth of the size still shows a
// quadratic step two hundredfold.
constexpr std::size_t kLargeList = kAddressSanitizer ? 200000 : 1000000;

// The best of a few runs, in seconds.
double seconds_for(const std::function<void()>& work, int runs = 3) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// Seconds per unit of work at a small and a large size; a quadratic step
// would make the large size a thousand times slower per unit.
void expect_flat_cost(const char* what, std::size_t small, std::size_t large,
                      const std::function<std::function<void()>(std::size_t)>& prepare) {
  const std::function<void()> small_work = prepare(small);
  const std::size_t repeats = large / small;
  const double small_cost = seconds_for([&] {
    for (std::size_t r = 0; r < repeats; ++r) small_work();
  }) / static_cast<double>(large);
  const double large_cost = seconds_for(prepare(large)) / static_cast<double>(large);
  EXPECT_LT(large_cost, 10 * small_cost + 1e-9) << what << ": " << small_cost * 1e9 << " ns per unit at " << small
                                                << ", " << large_cost * 1e9 << " ns at " << large;
}

TEST(SchemaCost, DistinctExamplesCostTheSamePerItem) {
  auto ints = [](std::size_t count) {
    auto arena = std::make_shared<JsonArena>();
    std::vector<JsonValue> items;
    for (std::size_t i = 0; i < count; ++i) items.push_back(JsonValue::number(JsonNumber::u64(i * 2654435761u)));
    JsonValue root = make_array(items, *arena);
    return std::function<void()>([arena, root] { (void)infer_schema(root); });
  };
  auto floats = [](std::size_t count) {
    auto arena = std::make_shared<JsonArena>();
    std::vector<JsonValue> items;
    for (std::size_t i = 0; i < count; ++i) items.push_back(JsonValue::number(JsonNumber::f64(static_cast<double>(i) * 0.25)));
    JsonValue root = make_array(items, *arena);
    return std::function<void()>([arena, root] { (void)infer_schema(root); });
  };
  auto strings = [](std::size_t count) {
    auto arena = std::make_shared<JsonArena>();
    std::vector<JsonValue> items;
    for (std::size_t i = 0; i < count; ++i) items.push_back(JsonValue::string(arena->copy_string(std::to_string(i))));
    JsonValue root = make_array(items, *arena);
    return std::function<void()>([arena, root] { (void)infer_schema(root); });
  };
  expect_flat_cost("distinct integers", 1000, kLargeList, ints);
  expect_flat_cost("distinct floats", 1000, kLargeList, floats);
  expect_flat_cost("distinct strings", 1000, kLargeList, strings);
}

std::vector<std::string> numbered_keys(std::size_t count) {
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < count; ++i) keys.push_back(std::to_string(i));
  return keys;
}

TEST(SchemaCost, ObjectMergesCostTheSamePerKey) {
  // Two objects with the same keys in opposite orders: every lookup misses
  // the in-order guess and goes through the key index.
  auto reversed_pair = [](std::size_t count) {
    auto arena = std::make_shared<JsonArena>();
    auto keys = std::make_shared<std::vector<std::string>>(numbered_keys(count));
    std::vector<JsonMember> forward, backward;
    for (std::size_t i = 0; i < count; ++i) {
      forward.push_back({(*keys)[i], JsonValue::null()});
      backward.push_back({(*keys)[count - 1 - i], JsonValue::null()});
    }
    JsonValue root = pair_array(make_object(forward, *arena), make_object(backward, *arena), *arena);
    return std::function<void()>([arena, keys, root] { (void)infer_schema(root); });
  };
  // Objects with one new key each: the item shape grows to every key, and
  // each merge must not walk all of them.
  auto one_new_key_each = [](std::size_t count) {
    auto arena = std::make_shared<JsonArena>();
    auto keys = std::make_shared<std::vector<std::string>>(numbered_keys(count));
    std::vector<JsonValue> items;
    for (std::size_t i = 0; i < count; ++i) items.push_back(one_member_object((*keys)[i], JsonValue::null(), *arena));
    JsonValue root = make_array(items, *arena);
    return std::function<void()>([arena, keys, root] { (void)infer_schema(root); });
  };
  expect_flat_cost("reversed keys", 1000, kLargeList / 5, reversed_pair);
  expect_flat_cost("one new key per object", 1000, kLargeList / 5, one_new_key_each);
}

TEST(SchemaCost, DeepOutlineRendersInTimeLinearInItsLength) {
  constexpr std::size_t kItems = 100000;
  JsonArena arena;
  std::vector<JsonValue> items;
  for (std::size_t i = 0; i < kItems; ++i) items.push_back(JsonValue::number(JsonNumber::u64(i)));
  const JsonValue wide = make_array(items, arena);
  struct Timing {
    double seconds;
    std::size_t bytes;
  };
  auto render_timing = [](const JsonValue& root) {
    Schema schema = infer_schema(root);
    std::size_t bytes = 0;
    const double seconds = seconds_for([&] { bytes = render_schema(schema, true).size(); });
    return Timing{seconds, bytes};
  };
  JsonValue deep_arrays = wide;
  for (std::size_t i = 1; i < kMaxNestingDepth; ++i) deep_arrays = make_array({&deep_arrays, 1}, arena);
  JsonValue deep_objects = wide;
  for (std::size_t i = 1; i < kMaxNestingDepth; ++i) deep_objects = one_member_object("k", deep_objects, arena);
  const Timing flat = render_timing(wide);
  for (const JsonValue* deep : {&deep_arrays, &deep_objects}) {
    const Timing nested = render_timing(*deep);
    const double flat_per_byte = flat.seconds / static_cast<double>(flat.bytes);
    const double nested_per_byte = nested.seconds / static_cast<double>(nested.bytes);
    EXPECT_LT(nested_per_byte, 5 * flat_per_byte + 1e-9)
        << flat.bytes << " bytes in " << flat.seconds << " s, nested " << nested.bytes << " bytes in "
        << nested.seconds << " s";
  }
}

}  // namespace
}  // namespace plomet
