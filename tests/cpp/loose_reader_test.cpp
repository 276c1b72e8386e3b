#include "repair/loose_reader.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <random>
#include <limits>
#include <string>

#include "capturing_sink.h"
#include "read/read_json5.h"
#include "document/compact_json_writer.h"
#include "text/float_text.h"
#include "repair/repair_passes.h"

namespace plomet {
namespace {

// The value a scalar text stands for, written compactly, or the error text.
std::string classified(std::string_view text) {
  Context context;
  JsonArena arena;
  LooseReadResult value = classify_loose_scalar(text, arena);
  if (!value) return "error " + value.error().display_text();
  std::string out;
  write_compact_json(context, *value, out);
  return out;
}

TEST(LooseScalar, ClassifiesWordsNumbersAndStrings) {
  struct Case {
    std::string text;
    std::string written;
  };
  const Case cases[] = {
      {"true", "true"},
      {"false", "false"},
      {"null", "null"},
      {"True", R"("True")"},
      {"NULL", R"("NULL")"},
      {"0", "0"},
      {"-0", "0"},
      {"+5", "5"},
      {"007", "7"},
      {"-42", "-42"},
      {"9223372036854775807", "9223372036854775807"},
      {"-9223372036854775808", "-9223372036854775808"},
      // Past the signed range, an integer text is read as a float.
      {"9223372036854775808", "9.223372036854776e+18"},
      {"-9223372036854775809", "-9.223372036854776e+18"},
      {"1.", "1.0"},
      {".5", "0.5"},
      {"-.5", "-0.5"},
      {"+.5e+1", "5.0"},
      {"1e5", "100000.0"},
      {"2E-7", "2e-7"},
      {"1e-400", "0.0"},
      {"-1e-400", "-0.0"},
      {"0e99999999999999999999", "0.0"},
      {"-0.0", "-0.0"},
      {"", R"("")"},
      {"+", R"("+")"},
      {"-", R"("-")"},
      {".", R"(".")"},
      {"1e", R"("1e")"},
      {"1e+", R"("1e+")"},
      {"1.2.3", R"("1.2.3")"},
      {"+-1", R"("+-1")"},
      {"0x10", R"("0x10")"},
      {"1 2", R"("1 2")"},
      {"infinite", R"("infinite")"},
      {"nan(1)", "\"nan(1)\""},
      {R"(a\nb)", R"("a\nb")"},
      {R"(say \"hi\")", R"("say \"hi\"")"},
      {R"(\u0041)", R"("\\u0041")"},
      {R"(end\)", R"("end\\")"},
      {"tab\there", R"("tab\there")"},
  };
  for (const Case& c : cases) EXPECT_EQ(classified(c.text), c.written) << c.text;
}

TEST(LooseScalar, NonFiniteFloatsAreInvalidNumbers) {
  for (std::string_view text : {"NaN", "nan", "-nan", "inf", "+INF", "-Infinity", "iNfInItY", "1e400", "-1e999",
                                "1e99999999999999999999", "179769313486231580000000000000000000000000000000000000"
                                "000000000000000000000000000000000000000000000000000000000000000000000000000000"
                                "000000000000000000000000000000000000000000000000000000000000000000000000000000"
                                "000000000000000000000000000000000000000000000000000000000000000000000000000000"
                                "0000000000000000000000000000000000000000000"}) {
    EXPECT_EQ(classified(text), "error InvalidNumber: " + std::string(text));
  }
}

TEST(LooseScalar, UnescapesEachPairOnce) {
  struct Case {
    std::string text;
    std::string unescaped;
  };
  const Case cases[] = {
      {R"(\\n)", R"(\n)"},  // the pair \\ is taken first
      {R"(\b\f\n\r\t)", "\b\f\n\r\t"},
      {R"(\"\')", "\"'"},
      {R"(\x\n)", "\\x\n"},
      {R"(\)", R"(\)"},
      {"\\\xC3\xA9", "\\\xC3\xA9"},
  };
  for (const Case& c : cases) {
    std::string unescaped;
    append_unescaped_loose_text(unescaped, c.text);
    EXPECT_EQ(unescaped, c.unescaped) << c.text;
  }
}

TEST(CompactWriter, WritesFloatsInTheirShortestForm) {
  struct Case {
    double value;
    std::string text;
  };
  const Case cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1.0, "1.0"},
      {-2.5, "-2.5"},
      {123.456, "123.456"},
      {0.1 + 0.2, "0.30000000000000004"},
      {100000.0, "100000.0"},
      {1e15, "1000000000000000.0"},
      {1234567890123456.0, "1234567890123456.0"},
      {1e16, "1e+16"},
      {1.5e16, "1.5e+16"},
      {0.00001, "0.00001"},
      {0.000012, "0.000012"},
      {0.000001, "1e-6"},
      {1.5e-7, "1.5e-7"},
      {1e100, "1e+100"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {-1e-300, "-1e-300"},
  };
  for (const Case& c : cases) {
    std::string out;
    append_compact_float(out, c.value);
    EXPECT_EQ(out, c.text) << c.text;
  }
}

TEST(CompactWriter, FloatsReadBackExactly) {
  std::mt19937_64 bits(12345);
  for (int i = 0; i < 100000; ++i) {
    double value = std::bit_cast<double>(bits());
    if (!std::isfinite(value)) continue;
    std::string out;
    append_compact_float(out, value);
    double read = 0;
    auto [end, error] = std::from_chars(out.data(), out.data() + out.size(), read);
    ASSERT_TRUE(error == std::errc() && end == out.data() + out.size()) << out;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(read), std::bit_cast<std::uint64_t>(value)) << out;
    bool exponent_form = out.find('e') != std::string::npos;
    ASSERT_NE(exponent_form, out.find('.') != std::string::npos && out.find('e') == std::string::npos) << out;
  }
}

TEST(CompactWriter, WritesValuesWithoutWhitespace) {
  Context context;
  JsonArena arena;
  JsonValue items[] = {JsonValue::null(), JsonValue::boolean(true), JsonValue::boolean(false),
                       JsonValue::number(JsonNumber::u64(18446744073709551615u)),
                       JsonValue::number(JsonNumber::i64(std::numeric_limits<std::int64_t>::min())),
                       JsonValue::string("q\"b\\t\tn\nc\x1b\x7f\xC3\xA9/")};
  JsonMember members[] = {{"k\"", make_array(items, arena)},
                          {"", make_object({}, arena)},
                          {"e", make_array({}, arena)}};
  std::string out;
  write_compact_json(context, make_object(members, arena), out);
  EXPECT_EQ(out, "{\"k\\\"\":[null,true,false,18446744073709551615,-9223372036854775808,"
                 "\"q\\\"b\\\\t\\tn\\nc\\u001b\x7f\xC3\xA9/\"],\"\":{},\"e\":[]}");
}

std::string repaired(Context& context, std::string_view text) {
  PassResult result = repair_json_add_missing_quotes(context, text);
  return result ? std::string(result.value()) : "error " + result.error().display_text();
}

TEST(AddMissingQuotes, RebuildsTheDocument) {
  Context context;
  struct Case {
    std::string input;
    std::string output;
    bool event;
  };
  const Case cases[] = {
      {"{name: John, age: 30}", R"({"name":"John","age":30})", true},
      {"{a: 1, b: [x, y]", R"({"a":1,"b":["x","y"]})", true},
      {"[[1, 2], [3, 4]]", "[[1,2],[3,4]]", false},
      {R"({"first" "second"})", R"({"first":"second"})", false},
      {R"({"a" "b" "c"})", R"({"a b":"c"})", false},
      {R"({"x" "1"})", R"({"x":"1"})", false},  // the value part is not classified
      {R"({"k"})", R"({"k":null})", false},
      {R"({"a": 1,)", R"({"a":1,"":null})", false},
      {R"({"a": 1,})", R"({"a":1})", false},
      {R"({"n": "12", "t": "true"})", R"({"n":12,"t":true})", false},
      {R"({"s": "  padded  "})", R"({"s":"padded"})", false},
      {R"({"k": hello world})", R"({"k":"hello world"})", true},
      {R"({"k": hello "big" world})", R"({"k":"hello big world"})", true},
      {R"({"a": 1} {"b": 2})", R"({"a":1})", false},
      {R"({"a": 1} {b: 2})", R"({"a":1})", true},  // a bare word anywhere counts
      {R"({"a": 1, "a": 2, "b": 3, "a": 4})", R"({"a":4,"b":3})", false},
      {"", "null", false},
      {" \n ", "null", false},
      {"true", "true", true},
      {R"({"a": })", R"({"a":{}})", false},
      {R"({"a": ])", R"({"a":[]})", false},
      {R"({"a": 1])", R"({"a":1})", false},  // a `]` where a key belongs ends the object
      {"[1, }", "[1,{}]", false},
      {"[1 : 2, , 3", "[1,2,3]", false},
      {"{a b: 1}", R"({"a b":1})", true},
      {"{a, b}", R"({"a":"b"})", true},
      {"{[1]}", R"({"":[1]})", false},
      {"{a: 1 // one\n, b: /x}", R"({"a":1,"b":"/x"})", true},
      {R"({"k": "a\\nb"})", R"({"k":"a\nb"})", false},   // a value is unescaped twice
      {R"({"a\\nb": 1})", R"({"a\\nb":1})", false},       // a key once
      {"{\"k\": \"tab\\there\"}", R"({"k":"tab\there"})", false},
      {R"({"say": "\"hi\""})", R"({"say":"\"hi\""})", false},
      {"[-0, 1.5e-7, 1e16, 0.00001]", "[0,1.5e-7,1e+16,0.00001]", false},
      {"}", "{}", false},
      // Unquoted, the sign is a number run of its own and the word follows it.
      {"[-Infinity]", R"(["- Infinity"])", true},
      {", : ]", "[]", false},
  };
  for (const Case& c : cases) {
    testing::CapturingSink sink(context);
    EXPECT_EQ(repaired(context, c.input), c.output) << c.input;
    std::vector<testing::CapturedEvent> events;
    if (c.event) {
      events.push_back({"json_repair::repair_json_add_missing_quotes", "added missing quotations where necessary"});
    }
    EXPECT_EQ(sink.events(), events) << c.input;
  }
}

TEST(AddMissingQuotes, FailsOnNonFiniteNumbersWithoutAnEvent) {
  Context context;
  struct Case {
    std::string input;
    std::string error;
  };
  const Case cases[] = {
      {R"({"k": NaN})", "InvalidNumber: NaN"},
      {R"({"k": NaN, a b: 1})", "InvalidNumber: NaN"},
      {R"({"k": "inf"})", "InvalidNumber: inf"},
      {R"([1, "-Infinity"])", "InvalidNumber: -Infinity"},
      {"[1e400]", "InvalidNumber: 1e400"},
  };
  for (const Case& c : cases) {
    testing::CapturingSink sink(context);
    PassResult result = repair_json_add_missing_quotes(context, c.input);
    ASSERT_FALSE(result.has_value()) << c.input;
    EXPECT_EQ(result.error().kind, RepairError::Kind::InvalidNumber);
    EXPECT_EQ(result.error().display_text(), c.error);
    EXPECT_TRUE(sink.events().empty());
  }
}

TEST(LooseReaders, ReadContainersUpToTheirCloser) {
  Context context;
  JsonArena arena;
  std::string out;
  LooseTokenStream array_rest(context, "[1, [2], x] tail");
  LooseReadResult array = parse_loose_value(array_rest, arena);
  ASSERT_TRUE(array.has_value());
  write_compact_json(context, *array, out);
  EXPECT_EQ(out, R"([1,[2],"x"])");
  ASSERT_FALSE(array_rest.empty());  // the reader stops after its `]`
  EXPECT_TRUE(array_rest.front().is(LooseToken::Kind::SpaceToken));

  out.clear();
  LooseTokenStream object_rest(context, "{a: {b: 2}} 3");
  LooseReadResult object = parse_loose_value(object_rest, arena);
  ASSERT_TRUE(object.has_value());
  write_compact_json(context, *object, out);
  EXPECT_EQ(out, R"({"a":{"b":2}})");

  out.clear();
  LooseTokenStream values(context, ", 7 8 ]");
  LooseReadResult value = parse_loose_value(values, arena);
  ASSERT_TRUE(value.has_value());
  write_compact_json(context, *value, out);
  EXPECT_EQ(out, R"("7 8")");
  EXPECT_TRUE(values.front().is_punct(']'));
}

std::string nested(std::size_t depth, std::string_view opener, std::string_view inner) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text.append(opener);
  text.append(inner);
  return text;
}

// Runs body on a thread with a 512 KiB stack.
void on_small_stack(void (*body)()) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 512 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, [](void* arg) -> void* {
    reinterpret_cast<void (*)()>(arg)();
    return nullptr;
  }, reinterpret_cast<void*>(body)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST(LooseReaders, BoundNestingDepth) {
  on_small_stack([] {
    Context context;
    for (std::string_view opener : {"[", "{a:", "[{\"k\": "}) {
      std::size_t per_level = opener.size() > 4 ? 2 : 1;
      std::size_t depth = kMaxNestingDepth / per_level;
      std::string deepest = repaired(context, nested(depth, opener, "x"));
      EXPECT_EQ(deepest.rfind("error", 0), std::string::npos) << opener;
      EXPECT_NE(deepest.find("\"x\""), std::string::npos) << opener;
      EXPECT_EQ(repaired(context, nested(depth + 1, opener, "x")), "error Unrepairable: nesting deeper than 1024 levels")
          << opener;
    }
    // Closed levels do not count.
    std::string wide;
    for (int i = 0; i < 3000; ++i) wide.append("[1],");
    EXPECT_EQ(repaired(context, "[" + wide + "]").rfind("[[1],[1],", 0), 0u);
  });
}

}  // namespace
}  // namespace plomet
