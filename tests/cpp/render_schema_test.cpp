#include <gtest/gtest.h>

#include <stdexcept>

#include "analyze.h"
#include "read/read_json5.h"
#include "schema_test_support.h"
#include "core/internal_fault.h"
#include "output/outline.h"
#include "shape/schema.h"

namespace plomet {
namespace {


SchemaField field(std::string_view key, Schema value, bool optional = false) {
  return {key, std::move(value), optional, false};
}

template <class... Fields>
Schema object(Fields... fields) {
  ObjectSchema o;
  (o.fields.push_back(std::move(fields)), ...);
  return Schema(std::move(o));
}

struct RenderCase {
  const char* name;
  Schema schema;
  const char* hidden;  // show_examples false
  const char* shown;   // show_examples true
};

TEST(RenderSchema, OutlineForms) {
  RenderCase cases[] = {
      {"empty root object", object(), "{\n}", "{\n}"},
      {"root int", Schema(IntSchema{{5}}), "  int", "  5"},
      {"root int without examples", Schema(IntSchema{}), "  int", "  int"},
      {"root empty array", Schema::array(Schema(), 0), "  [\n    null\n  ]", "  [\n    null\n  ]"},
      {"fields of every kind",
       object(field("id", Schema(IntSchema{{7}})), field("name", Schema(StrSchema{{"text"}})),
              field("list", Schema::array(Schema(StrSchema{{"x"}}), 1)),
              field("info", object(field("ok", Schema(BoolSchema{true}))))),
       R"({
  "id": int,
  "name": str,
  "list": [
    str
  ],
  "info": {
    "ok": bool
  }
})",
       R"({
  "id": 7,
  "name": "text",
  "list": [
    "x"
  ],
  "info": {
    "ok": true
  }
})"},
      {"array of objects seen twice", Schema::array(object(field("a", Schema())), 2),
       "  [\n    {\n      \"a\": null\n    }\n  ]", R"(  [
    {
      "a": null
    },
  ...  // 2 items
  ])"},
      {"array of objects seen once", Schema::array(object(field("a", Schema())), 1),
       "  [\n    {\n      \"a\": null\n    }\n  ]", "  [\n    {\n      \"a\": null\n    }\n  ]"},
      {"optional object field in an array of objects",
       object(field("users", Schema::array(object(field("name", Schema(StrSchema{{"n"}})),
                                                  field("address", object(field("city", Schema(StrSchema{{"c"}}))),
                                                        true)),
                                           3))),
       R"({
  "users": [
    {
      "name": str,
      "address"?: {
        "city": str
      }
    }
  ]
})",
       R"({
  "users": [
    {
      "name": "n",
      "address"?: {
        "city": "c"
      }
    },
  ...  // 3 items
  ]
})"},
      {"array of arrays", object(field("m", Schema::array(Schema::array(Schema(IntSchema{{1, 2}}), 2), 1))),
       "{\n  \"m\": [\n    [\n      int\n    ]\n  ]\n}", R"({
  "m": [
    [
      1, 2
    ]
  ]
})"},
      {"array of objects without fields", Schema::array(object(), 2), "  [\n    {\n    }\n  ]",
       "  [\n    {\n    },\n  ...  // 2 items\n  ]"},
      {"array of empty arrays", Schema::array(Schema::array(Schema(), 0), 3), "  [\n    [\n      null\n    ]\n  ]",
       "  [\n    [\n      null\n    ]\n  ]"},
      {"escaped keys", object(field("q\"b\\c\x01", Schema(), true), field("tab\t", Schema(BoolSchema{}))),
       "{\n  \"q\\\"b\\\\c\\u0001\"?: null,\n  \"tab\\t\": bool\n}",
       "{\n  \"q\\\"b\\\\c\\u0001\"?: null,\n  \"tab\\t\": bool\n}"},
      // A line feed in an example breaks the line with no indent added.
      {"line feed in an example", object(field("s", Schema(StrSchema{{"a\nb"}}))), "{\n  \"s\": str\n}",
       "{\n  \"s\": \"a\nb\"\n}"},
      // The comma follows a multi-line value's closing bracket; the last
      // field has none.
      {"commas after multi-line values",
       object(field("a", object(field("x", Schema()))), field("b", Schema::array(Schema(IntSchema{{1}}), 1)),
              field("c", Schema::array(object(field("y", Schema())), 4))),
       R"({
  "a": {
    "x": null
  },
  "b": [
    int
  ],
  "c": [
    {
      "y": null
    }
  ]
})",
       R"({
  "a": {
    "x": null
  },
  "b": [
    1
  ],
  "c": [
    {
      "y": null
    },
  ...  // 4 items
  ]
})"},
      {"count of a large array", Schema::array(object(), 18446744073709551615ULL), "  [\n    {\n    }\n  ]",
       "  [\n    {\n    },\n  ...  // 18446744073709551615 items\n  ]"},
  };
  for (const RenderCase& c : cases) {
    EXPECT_EQ(render_schema(c.schema, false), c.hidden) << c.name;
    EXPECT_EQ(render_schema(c.schema, true), c.shown) << c.name;
  }
}

TEST(RenderSchema, EndToEndFromADocument) {
  Context context;
  const std::string_view text =
      R"({"id": 7, "name": "text", "list": ["x", "y", "x"], "users": [{"a": 1, "b": true}, {"a": 2}]})";
  JsonArena arena;
  auto value = read_json5(context, text, arena);
  ASSERT_TRUE(value);
  Schema schema = infer_schema(*value);
  EXPECT_EQ(render_schema(schema, true), R"({
  "id": 7,
  "name": "text",
  "list": [
    "x", "y"
  ],
  "users": [
    {
      "a": 1,
      "b"?: true
    },
  ...  // 2 items
  ]
})");
  EXPECT_EQ(render_schema(schema, false), R"({
  "id": int,
  "name": str,
  "list": [
    str
  ],
  "users": [
    {
      "a": int,
      "b"?: bool
    }
  ]
})");
  std::string out = "prefix:";
  render_schema(context, out, schema, false);
  EXPECT_EQ(out, testing::cat({"prefix:", render_schema(schema, false)}));

  auto analyzed = analyze_text(text, true);
  ASSERT_TRUE(analyzed);
  EXPECT_EQ(*analyzed, render_schema(schema, true));
}

TEST(AnalyzeText, ClosesACutOffTextAndOutlinesIt) {
  auto shown = analyze_text(R"({"a": [1, 2)", true);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, "{\n  \"a\": [\n    1, 2\n  ]\n}");
  auto hidden = analyze_text(R"({"a": [1, 2)", false);
  ASSERT_TRUE(hidden);
  EXPECT_EQ(*hidden, "{\n  \"a\": [\n    int\n  ]\n}");
}

// A payload left without a kind by a failed assignment is the one broken
// node the types allow; rendering reports it as an internal fault.
Schema valueless_schema() {
  struct FailingConversion {
    operator IntSchema() const { throw std::runtime_error("conversion failed"); }
  };
  Schema broken(IntSchema{{1}});
  try {
    broken.payload.emplace<IntSchema>(FailingConversion{});
  } catch (const std::runtime_error&) {
  }
  return broken;
}

TEST(RenderSchema, BrokenNodesAreInternalFaults) {
  ASSERT_TRUE(valueless_schema().payload.valueless_by_exception());
  struct Case {
    Schema schema;
    const char* message;
  };
  Case cases[] = {
      {valueless_schema(), "internal error: entered unreachable code: non-scalar schemas are handled above"},
      {object(field("a", valueless_schema())),
       "internal error: entered unreachable code: scalar schemas are returned above"},
      {Schema::array(valueless_schema(), 1), "array primitive branch should only receive scalar item schemas"},
      {Schema(ArraySchema{nullptr, 1}), "array primitive branch should only receive scalar item schemas"},
  };
  for (const Case& c : cases) {
    try {
      (void)render_schema(c.schema, true);
      ADD_FAILURE() << "no fault for: " << c.message;
    } catch (const InternalFault& fault) {
      EXPECT_STREQ(fault.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace plomet
