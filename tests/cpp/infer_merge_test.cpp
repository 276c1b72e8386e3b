#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "read/read_json5.h"
#include "schema_test_support.h"
#include "shape/schema.h"

namespace plomet {
namespace {

using testing::arr_of;
using testing::cat;
using testing::describe;
using testing::document;
using testing::J;
using testing::null_value;
using testing::obj_of;

struct InferCase {
  std::string_view json;
  std::string_view expected;
};

std::string described_inference(std::string_view json) {
  Context context;
  JsonArena arena;
  auto value = read_json5(context, json, arena);
  if (!value) return "unreadable: " + value.error().message;
  return describe(infer_schema(*value));
}

void expect_inferred(const InferCase& c) { EXPECT_EQ(described_inference(c.json), c.expected) << c.json; }

constexpr std::uint64_t k2To63 = std::uint64_t{1} << 63;

TEST(InferSchema, ScalarsAndArraysOfScalars) {
  const InferCase cases[] = {
      {R"(5)", "int[5]"},
      {R"(-5)", "int[-5]"},
      {R"(5.0)", "float[5]"},
      {R"(true)", "bool:true"},
      {R"(null)", "null"},
      {R"("x")", "str[\"x\"]"},
      {R"(9223372036854775807)", "int[9223372036854775807]"},
      {R"(-9223372036854775808)", "int[-9223372036854775808]"},
      {R"([1, 2.5, 3])", "[3: int[1, 3]]"},
      {R"([2.5, 1, 3])", "[3: float[2.5, 1, 3]]"},
      {R"([1.0, 1])", "[2: float[1]]"},
      {R"([0.0, -0.0])", "[2: float[0]]"},
      {R"([-0.0, 0.0])", "[2: float[-0]]"},
      {R"([1, "a", null])", "[3: int[1]]"},
      {R"(["a", 1, "a", "b"])", "[4: str[\"a\", \"b\"]]"},
      {R"([1, 1, 2, 1])", "[4: int[1, 2]]"},
      {R"([true])", "[1: bool]"},
      {R"([false, true])", "[2: bool]"},
      {R"([true, 1, "x"])", "[3: bool]"},
      {R"(["", "", "a"])", "[3: str[\"\", \"a\"]]"},
      {R"([null, 1])", "[2: null]"},
      {R"([1, null])", "[2: int[1]]"},
      {R"([])", "[0: null]"},
      {R"({})", "{}"},
      {R"({"flag": true})", "{flag: bool:true}"},
      {R"({"b": 1, "a": [true]})", "{b: int[1], a: [1: bool]}"},
  };
  for (const InferCase& c : cases) expect_inferred(c);
}

// The reader refuses integer literals past the signed 64-bit range, but the
// value model holds any U64; those above it infer as Float.
TEST(InferSchema, UnsignedValuesAboveTheSignedRange) {
  const J huge = J::unsigned64(k2To63);
  const J largest = J::unsigned64(~std::uint64_t{0});
  struct Case {
    const char* name;
    J document;
    const char* expected;
  } cases[] = {
      {"2^63", huge, "float[9223372036854776000]"},
      {"[1, 2^63, -3]", testing::arr({1, huge, -3}), "[3: int[1, -3]]"},
      {"[2.5, 2^64 - 1, -1]", testing::arr({2.5, largest, -1}), "[3: float[2.5, 18446744073709552000, -1]]"},
      {"[2^63, 1]", testing::arr({huge, 1}), "[2: float[9223372036854776000, 1]]"},
      {"[{a: 1}, {a: 2^63}]", testing::arr({testing::obj({{"a", 1}}), testing::obj({{"a", huge}})}),
       "[2: {a: float[]}]"},
  };
  for (const Case& c : cases) {
    testing::TestDocument doc = document(c.document);
    EXPECT_EQ(describe(infer_schema(doc.root)), c.expected) << c.name;
  }
}

TEST(InferSchema, LongExampleListsKeepFirstAppearanceOrder) {
  // Past the short lists that are scanned directly, duplicates are found
  // through the hash index; the order stays that of first appearance.
  std::vector<J> ints, floats, strings;
  std::string ints_expected, floats_expected, strings_expected;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 40; ++i) {
      int value = (i * 7) % 20 - 10;  // each value twice per round
      ints.push_back(value);
      floats.push_back(value == 0 && round == 1 ? -0.0 : value / 4.0);
      strings.push_back(std::string(static_cast<std::size_t>(value + 10), 's'));
    }
  }
  for (int i = 0; i < 20; ++i) {
    int value = (i * 7) % 20 - 10;
    if (i > 0) {
      ints_expected += ", ";
      floats_expected += ", ";
      strings_expected += ", ";
    }
    ints_expected += std::to_string(value);
    floats_expected += float_text(value / 4.0);
    strings_expected += cat({"\"", std::string(static_cast<std::size_t>(value + 10), 's'), "\""});
  }
  auto described = [](std::vector<J> items) {
    testing::TestDocument doc = document(arr_of(std::move(items)));
    return describe(infer_schema(doc.root));
  };
  EXPECT_EQ(described(ints), cat({"[120: int[", ints_expected, "]]"}));
  EXPECT_EQ(described(floats), cat({"[120: float[", floats_expected, "]]"}));
  EXPECT_EQ(described(strings), cat({"[120: str[", strings_expected, "]]"}));
}

TEST(InferSchema, LaterItemsMergeIntoTheFirstItemsShape) {
  const InferCase cases[] = {
      {R"([[], [1, 2]])", "[2: [2: null]]"},
      {R"([{"a": 1}, {"b": 2}])", "[2: {a?: int[1], b?: int[2]}]"},
      {R"([{"a": 1}, {"a": 2}])", "[2: {a: int[1]}]"},
      {R"([{"a": 1}, 7])", "[2: {a: int[1]}]"},
      {R"([{"a": 1, "b": 2}, {"a": 3}])", "[2: {a: int[1], b?: int[2]}]"},
      {R"([{"a": 1}, {"a": 1, "b": 2}, {"a": 1}])",
       "[3: {a: int[1], b?: int[2]}]"},
      {R"([{"a": 1}, {}])", "[2: {a?: int[1]}]"},
      {R"([{}, {"a": 1}])", "[2: {a?: int[1]}]"},
      {R"([{"b": 1, "a": 2}, {"c": 3, "a": 4}])", "[2: {b?: int[1], a: int[2], c?: int[3]}]"},
      {R"([{"a": {"x": 1}}, {"a": {"y": 2}}])",
       "[2: {a: {x?: int[1], y?: int[2]}}]"},
      {R"([{"a": 1}, {"a": 2.5}])", "[2: {a: float[]}]"},
      {R"([{"a": 2.5}, {"a": 1}])", "[2: {a: float[2.5]}]"},
      {R"([{"a": 1}, {"a": "s"}])", "[2: {a: int[1]}]"},
      {R"([{"a": null}, {"a": 1}])", "[2: {a: null}]"},
      {R"([{"a": 1}, {"a": null}])", "[2: {a: int[1]}]"},
      {R"([{"a": true}, {"a": false}])", "[2: {a: bool:true}]"},
      {R"([[1, 2], [3, 4, 5]])", "[2: [3: int[1, 2]]]"},
      {R"([[1], [2.5]])", "[2: [1: float[]]]"},
      {R"([[1], [3, 2.5]])", "[2: [2: int[1]]]"},
      {R"([[], [1]])", "[2: [1: null]]"},
      {R"([{"a": [1]}, {"a": [2, 3]}])", "[2: {a: [2: int[1]]}]"},
      {R"([{"a": 1}, [1]])", "[2: {a: int[1]}]"},
      {R"([[1], {"a": 1}])", "[2: [1: int[1]]]"},
      {R"([null, {"a": 1}])", "[2: null]"},
      // Optionality is recorded per object node: the inner keys are optional,
      // the enclosing key stays required.
      {R"([{"a": [{"x": 1}, {"y": 2}]}, {"a": [{"x": 3}]}])",
       "[2: {a: [2: {x?: int[1], y?: int[2]}]}]"},
      // A key new to the target takes its whole shape, examples included.
      {R"([{}, {"n": {"m": ["s", "t"]}}])", "[2: {n?: {m: [2: str[\"s\", \"t\"]]}}]"},
      // A nested array's items merge among themselves first, under its own
      // first item's kind: the 2.5 meets a Str and is ignored.
      {R"([[{"k": 1}], [{"k": "s"}, {"k": 2.5}]])",
       "[2: [2: {k: int[1]}]]"},
      {R"([[[1]], [["s"], [2.5]]])", "[2: [2: [1: int[1]]]]"},
      {R"([[[1]], [[2.5], ["s"]]])", "[2: [2: [1: float[]]]]"},
      // The other side's optional keys stay optional.
      {R"([[{"a": 1}], [{"a": 2}, {}]])", "[2: [2: {a?: int[1]}]]"},
  };
  for (const InferCase& c : cases) expect_inferred(c);
}

TEST(MergeSchema, TargetKindWins) {
  struct Case {
    Schema target;
    Schema other;
    const char* expected;
  };
  Case cases[] = {
      {Schema(IntSchema{{1, 2}}), Schema(FloatSchema{{2.5}}), "float[]"},
      {Schema(FloatSchema{{2.5}}), Schema(IntSchema{{1}}), "float[2.5]"},
      {Schema(IntSchema{{1}}), Schema(IntSchema{{2}}), "int[1]"},
      {Schema(StrSchema{{"a"}}), Schema(StrSchema{{"b"}}), "str[\"a\"]"},
      {Schema(BoolSchema{true}), Schema(BoolSchema{false}), "bool:true"},
      {Schema(), Schema(IntSchema{{1}}), "null"},
      {Schema(IntSchema{{1}}), Schema(), "int[1]"},
      {Schema(StrSchema{{"a"}}), Schema(IntSchema{{1}}), "str[\"a\"]"},
      {Schema(ObjectSchema{}), Schema::array(Schema(), 3), "{}"},
      {Schema::array(Schema(IntSchema{{1}}), 1), Schema::array(Schema(FloatSchema{}), 4), "[4: float[]]"},
      {Schema::array(Schema(IntSchema{{1}}), 5), Schema::array(Schema(IntSchema{{7}}), 2), "[5: int[1]]"},
  };
  for (Case& c : cases) {
    merge_schema(c.target, c.other);
    EXPECT_EQ(describe(c.target), c.expected);
  }
}

// Objects with more keys than are compared directly go through the key
// index; merging a reversed, partly overlapping object checks it finds every
// shared key and appends the new ones in the other object's order.
TEST(MergeSchema, LargeObjectsMergeThroughTheKeyIndex) {
  constexpr int kKeys = 60;
  std::vector<std::pair<std::string, J>> first, second;
  for (int i = 0; i < kKeys; ++i) first.push_back({cat({"k", std::to_string(i)}), i});
  for (int i = kKeys + 20; i-- > kKeys / 2;) second.push_back({cat({"k", std::to_string(i)}), i});
  testing::TestDocument doc = document(testing::arr({obj_of(first), obj_of(second)}));
  Schema schema = infer_schema(doc.root);
  const auto& object = std::get<ObjectSchema>(std::get<ArraySchema>(schema.payload).item->payload);
  ASSERT_EQ(object.fields.size(), static_cast<std::size_t>(kKeys + 20));
  for (int i = 0; i < kKeys; ++i) {
    const SchemaField& field = object.fields[static_cast<std::size_t>(i)];
    EXPECT_EQ(field.key, cat({"k", std::to_string(i)}));
    EXPECT_EQ(field.optional, i < kKeys / 2) << field.key;
    EXPECT_EQ(describe(field.value), cat({"int[", std::to_string(i), "]"}));
  }
  for (int j = 0; j < 20; ++j) {
    const SchemaField& field = object.fields[static_cast<std::size_t>(kKeys + j)];
    EXPECT_EQ(field.key, cat({"k", std::to_string(kKeys + 19 - j)}));
    EXPECT_TRUE(field.optional);
  }
}

TEST(CopySchema, KeepsKindsExamplesOrderAndOptionalMarks) {
  Context context;
  JsonArena arena;
  auto value = read_json5(context, R"([{"b": [1, 2], "a": {"x": "s"}}, {"b": [2.5], "c": true}])", arena);
  ASSERT_TRUE(value);
  Schema original = infer_schema(*value);
  Schema copy;
  copy_schema_into(copy, original);
  EXPECT_EQ(describe(copy), describe(original));
  EXPECT_EQ(describe(copy), "[2: {b: [2: float[]], a?: {x: str[\"s\"]}, c?: bool:true}]");
}

// The rules as written: every later container item is inferred on its own
// and merged in, and duplicates are found by comparing with each example.
Schema reference_infer(const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::Null:
      return Schema();
    case JsonValue::Kind::Bool:
      return Schema(BoolSchema{value.as_bool()});
    case JsonValue::Kind::Number: {
      const JsonNumber& n = value.as_number();
      if (n.kind == JsonNumber::Kind::I64) return Schema(IntSchema{{n.i64_value}});
      if (n.kind == JsonNumber::Kind::U64 && n.u64_value < k2To63) {
        return Schema(IntSchema{{static_cast<std::int64_t>(n.u64_value)}});
      }
      return Schema(FloatSchema{{n.kind == JsonNumber::Kind::F64 ? n.f64_value : static_cast<double>(n.u64_value)}});
    }
    case JsonValue::Kind::String:
      return Schema(StrSchema{{value.as_string()}});
    case JsonValue::Kind::Object: {
      ObjectSchema object;
      for (const JsonMember& m : value.members()) object.fields.push_back({m.key, reference_infer(m.value)});
      return Schema(std::move(object));
    }
    case JsonValue::Kind::Array:
      break;
  }
  const auto items = value.items();
  if (items.empty()) return Schema::array(Schema(), 0);
  Schema item = reference_infer(items[0]);
  if (auto* b = std::get_if<BoolSchema>(&item.payload)) b->example.reset();
  auto append_unique = [](auto& examples, auto v) {
    if (std::find(examples.begin(), examples.end(), v) == examples.end()) examples.push_back(v);
  };
  for (const JsonValue& later : items.subspan(1)) {
    const bool number = later.is(JsonValue::Kind::Number);
    const JsonNumber n = number ? later.as_number() : JsonNumber::u64(0);
    if (item.is(Schema::Kind::Bool)) {
      break;
    } else if (auto* i = std::get_if<IntSchema>(&item.payload)) {
      if (number && n.kind == JsonNumber::Kind::I64) append_unique(i->examples, n.i64_value);
      if (number && n.kind == JsonNumber::Kind::U64 && n.u64_value < k2To63) {
        append_unique(i->examples, static_cast<std::int64_t>(n.u64_value));
      }
    } else if (auto* f = std::get_if<FloatSchema>(&item.payload)) {
      if (number) {
        append_unique(f->examples, n.kind == JsonNumber::Kind::F64   ? n.f64_value
                                   : n.kind == JsonNumber::Kind::I64 ? static_cast<double>(n.i64_value)
                                                                     : static_cast<double>(n.u64_value));
      }
    } else if (auto* s = std::get_if<StrSchema>(&item.payload)) {
      if (later.is(JsonValue::Kind::String)) append_unique(s->examples, later.as_string());
    } else {
      Schema other = reference_infer(later);
      merge_schema(item, other);
    }
  }
  return Schema::array(std::move(item), items.size());
}

// Random documents biased towards arrays whose items share a kind and
// objects over a few keys, so that merges meet every pair of kinds at
// several levels.
class DocumentGenerator {
 public:
  explicit DocumentGenerator(unsigned seed) : rng_(seed) {}

  J any(int depth) {
    int roll = pick(100);
    if (depth == 0 || roll < 35) return scalar();
    return roll < 70 ? array(depth) : object(depth);
  }

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

  J scalar() {
    switch (pick(8)) {
      case 0: return null_value;
      case 1: return pick(2) == 0;
      case 2: return pick(6) - 2;
      case 3: {
        const double floats[] = {0.0, -0.0, 1.0, 2.5, -3.5};
        return floats[pick(5)];
      }
      case 4: return J::unsigned64(pick(2) == 0 ? k2To63 : ~std::uint64_t{0});
      default: {
        const char* strings[] = {"a", "b", "", "c"};
        return strings[pick(4)];
      }
    }
  }

  J of_kind(int kind, int depth) {
    if (depth == 0) return scalar();
    switch (kind) {
      case 0: return array(depth);
      case 1: return object(depth);
      case 2: return object(depth, true);
      default: return scalar();
    }
  }

  J array(int depth) {
    const int lengths[] = {0, 1, 2, 2, 3, 3, 4, 12};
    const int length = lengths[pick(8)];
    const int kind = pick(7) / 2;  // arrays, objects, wide objects, scalars
    std::vector<J> items;
    for (int i = 0; i < length; ++i) items.push_back(pick(5) == 0 ? any(depth - 1) : of_kind(kind, depth - 1));
    return arr_of(std::move(items));
  }

  // A few of five keys, or (wide) many of forty, past the objects whose keys
  // are compared directly.
  J object(int depth, bool wide = false) {
    std::vector<std::pair<std::string, J>> members;
    std::string keys = wide ? "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN" : "abcde";
    std::shuffle(keys.begin(), keys.end(), rng_);
    const int count = wide ? 18 + pick(12) : pick(4);
    for (int i = 0; i < count; ++i) {
      members.push_back({std::string(1, keys[static_cast<std::size_t>(i)]), wide ? scalar() : any(depth - 1)});
    }
    return obj_of(std::move(members));
  }

  std::mt19937 rng_;
};

TEST(InferSchema, FoldingItemsMatchesInferringAndMergingThem) {
  DocumentGenerator generator(20240611);
  int containers_checked = 0;
  for (int round = 0; round < 4000; ++round) {
    J j = generator.any(5);
    if (j.kind == J::Kind::Array || j.kind == J::Kind::Object) ++containers_checked;
    testing::TestDocument doc = document(j);
    const std::string folded = describe(infer_schema(doc.root));
    const std::string merged = describe(reference_infer(doc.root));
    ASSERT_EQ(folded, merged) << "round " << round;
  }
  EXPECT_GT(containers_checked, 2000);
}

}  // namespace
}  // namespace plomet
