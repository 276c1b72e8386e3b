#include "read/read_json5.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdio>
#include <string>

#include "json_value_text.h"

namespace plomet {
namespace {

// A compact text of a value that shows every kind and payload: numbers as
// u5, i-5 or f0.5, strings quoted with bytes outside printable ASCII (and
// the quote and backslash) as \xNN, objects with their keys in order.
void append_tagged_number(const JsonNumber& n, std::string& out) {
  char buffer[64];
  if (n.kind == JsonNumber::Kind::U64) {
    std::snprintf(buffer, sizeof buffer, "u%llu", static_cast<unsigned long long>(n.u64_value));
  } else if (n.kind == JsonNumber::Kind::I64) {
    std::snprintf(buffer, sizeof buffer, "i%lld", static_cast<long long>(n.i64_value));
  } else {
    std::snprintf(buffer, sizeof buffer, "f%.17g", n.f64_value);
  }
  out += buffer;
}

void append_hex_escaped_string(std::string_view text, std::string& out) {
  out += '"';
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  out += '"';
}

constexpr testing::ValueTextStyle kDescription{append_tagged_number, append_hex_escaped_string};

// The description of what text reads as, or "FAIL: " and the message.
std::string read_and_describe(std::string_view text) {
  Context context;
  JsonArena arena;
  auto value = read_json5(context, text, arena);
  if (!value) return "FAIL: " + value.error().message_with_position(text);
  std::string out;
  testing::append_value_text(*value, out, kDescription);
  return out;
}

struct Accepted {
  std::string text;
  std::string value;
};

template <std::size_t N>
void expect_all_accepted(const Accepted (&cases)[N]) {
  for (const Accepted& c : cases) EXPECT_EQ(read_and_describe(c.text), c.value) << "text: " << c.text;
}

TEST(ReadJson5, StructureCommentsAndTrailingCommas) {
  const Accepted cases[] = {
      {"/* a */ {a: 1, // b\n 'c': [1, 2, ], }", R"({"a":u1,"c":[u1,u2]})"},
      {"\xEF\xBB\xBF{}", "{}"},
      {"[]", "[]"},
      {"[[], {}, [[]]]", "[[],{},[[]]]"},
      {"{a: {b: {}}}", R"({"a":{"b":{}}})"},
      {"[1,]", "[u1]"},
      {"{a:1,}", R"({"a":u1})"},
      {"[1 , 2 ,3]", "[u1,u2,u3]"},
      {"/**/1", "u1"},
      {"/* ** / */ 1 /***/", "u1"},
      {"1//x", "u1"},
      {"//x\n1", "u1"},
      {"//x\r1", "u1"},
      {"//x\xE2\x80\xA8 1", "u1"},
      {"[1/* x */,/* y */2//z\n]", "[u1,u2]"},
      {"{a/**/:/**/1}", R"({"a":u1})"},
      // Every WHITESPACE character: tab, VT, FF, space, NBSP, BOM, Zs
      // (U+1680, U+2000, U+3000), LF, CR, U+2028, U+2029.
      {"\t\v\f \xC2\xA0\xEF\xBB\xBF\xE1\x9A\x80\xE2\x80\x80\xE3\x80\x80\n\r\xE2\x80\xA8\xE2\x80\xA9[\t1\v]\f", "[u1]"},
      {"null", "null"},
      {"true", "true"},
      {"[false,true,null]", "[false,true,null]"},
      {"'x'", R"("x")"},
      {"5", "u5"},
  };
  expect_all_accepted(cases);
}

TEST(ReadJson5, Numbers) {
  const Accepted cases[] = {
      {"0x1F", "u31"},
      {"0X1f", "u31"},
      {"0xFFFFFFFF", "u4294967295"},
      {"0x00000000FF", "u255"},
      {"0", "u0"},
      {"+5", "u5"},
      {"-5", "i-5"},
      {"-0", "u0"},
      {"+0", "u0"},
      {"123456789012345678", "u123456789012345678"},
      {"1234567890123456789", "u1234567890123456789"},
      {"9223372036854775807", "u9223372036854775807"},
      {"-9223372036854775808", "i-9223372036854775808"},
      {"-0.0", "f-0"},
      {"0.0", "f0"},
      {"5.", "f5"},
      {".5", "f0.5"},
      {"-.5e1", "f-5"},
      {"+1.5", "f1.5"},
      {"1e3", "f1000"},
      {"1E3", "f1000"},
      {"1e+3", "f1000"},
      {"15e-1", "f1.5"},
      {"1.e2", "f100"},
      {"0.1", "f0.10000000000000001"},
      {"2.2250738585072014e-308", "f2.2250738585072014e-308"},
      {"4.9e-324", "f4.9406564584124654e-324"},
      {"1.7976931348623157e308", "f1.7976931348623157e+308"},
      {"1e-400", "f0"},
      {"-1e-400", "f-0"},
      {"0e999999999999999999999", "f0"},
      {"NaN", "null"},
      {"-NaN", "null"},
      {"Infinity", "null"},
      {"-Infinity", "null"},
      {"[-Infinity,NaN,1]", "[null,null,u1]"},
  };
  expect_all_accepted(cases);
}

TEST(ReadJson5, Strings) {
  const Accepted cases[] = {
      {R"('\'')", R"("'")"},
      {R"('a"b')", R"("a\x22b")"},
      {R"("a'b")", R"("a'b")"},
      {R"("\"\\\/")", R"("\x22\x5c/")"},
      {R"("\x41\u0042")", R"("AB")"},
      {R"("\b\f\n\r\t\v\0")", R"("\x08\x0c\x0a\x0d\x09\x0b\x00")"},
      {R"("\01")", R"("\x001")"},
      {R"("\a\q\é")", R"("aq\xc3\xa9")"},
      {R"("\xFF\u00e9")", R"("\xc3\xbf\xc3\xa9")"},
      {R"("\uD83D\uDE00")", R"("\xf0\x9f\x98\x80")"},
      {"\"\\uD83D\\\n\\uDE00\"", R"("\xf0\x9f\x98\x80")"},  // a line continuation leaves no part
      {"\"a\\\nb\"", R"("ab")"},
      {"\"a\\\r\nb\"", R"("ab")"},
      {"\"a\\\rb\"", R"("ab")"},
      {"\"a\\\xE2\x80\xA8\x62\"", R"("ab")"},
      {"\"a\\\xE2\x80\xA9\x62\"", R"("ab")"},
      {"\"\t\x01\x7F\"", R"("\x09\x01\x7f")"},
      {std::string("\"a\0b\"", 5), R"("a\x00b")"},
      {"\"\xC3\xA9\xE2\x80\xA7\xEF\xBF\xBD\xF0\x9F\x98\x80\"", R"("\xc3\xa9\xe2\x80\xa7\xef\xbf\xbd\xf0\x9f\x98\x80")"},
      {"''", R"("")"},
      {"\"\"", R"("")"},
  };
  expect_all_accepted(cases);
}

TEST(ReadJson5, KeysAndRepeatedKeys) {
  const Accepted cases[] = {
      {"{$a_1: 1, _: 2, A: 3}", R"({"$a_1":u1,"_":u2,"A":u3})"},
      {"{null: 1, true: 2, Infinity: 3, NaN: 4}", R"({"null":u1,"true":u2,"Infinity":u3,"NaN":u4})"},
      {R"({\u0041b: 1})", R"({"Ab":u1})"},
      {R"({a\u002D: 1, \u0031: 2})", R"({"a-":u1,"1":u2})"},  // an escape's character is taken whatever it is
      {R"({\uD83D\uDE00: 1})", R"({"\xf0\x9f\x98\x80":u1})"},
      {"{\xC3\xA9t\xC3\xA9: 1}", R"({"\xc3\xa9t\xc3\xa9":u1})"},           // Ll
      {"{\xC7\x85: 1}", R"({"\xc7\x85":u1})"},                              // Lt U+01C5
      {"{\xCA\xB0: 1}", R"({"\xca\xb0":u1})"},                              // Lm U+02B0
      {"{\xE2\x85\xA0: 1}", R"({"\xe2\x85\xa0":u1})"},                      // Nl U+2160
      {"{a\xCC\x81: 1}", R"({"a\xcc\x81":u1})"},                            // Mn U+0301
      {"{a\xD9\xA3: 1}", R"({"a\xd9\xa3":u1})"},                            // Nd U+0663
      {"{a\xE2\x80\xBF\x62: 1}", R"({"a\xe2\x80\xbfb":u1})"},               // Pc U+203F
      {"{a\xC2\xB7\x62: 1, a^b: 2, a`b: 3}", R"({"a\xc2\xb7b":u1,"a^b":u2,"a`b":u3})"},  // Diacritic
      {"{a\xE2\x80\x8C\xE2\x80\x8D: 1}", R"({"a\xe2\x80\x8c\xe2\x80\x8d":u1})"},  // U+200C, U+200D
      {"{a1: 1}", R"({"a1":u1})"},
      {R"({"a b": 1, 'c': 2, "\u0041": 3})", R"({"a b":u1,"c":u2,"A":u3})"},
      {R"({"b":1,"a":2})", R"({"b":u1,"a":u2})"},
      {R"({"a":1,"b":2,"a":3})", R"({"a":u3,"b":u2})"},
      {R"({a:1,'a':2,"a":[3]})", R"({"a":[u3]})"},
      {R"([{a:1,a:2},{a:3}])", R"([{"a":u2},{"a":u3}])"},
  };
  expect_all_accepted(cases);
}

TEST(ReadJson5, RefusesTextsOutsideTheGrammar) {
  const std::string cases[] = {
      // Nothing, or more than one value.
      "", " \n", "/* c */", "// c", "1 2", "[1] x", "{} {}", "1,", "\xC2\x85 1",
      // Commas.
      "[,]", "[1,,2]", "{,}", "[1,,]", "{a:1,,}", "[,1]",
      // Numbers.
      "01", "00", "-01", "0.1.2", "-", "+", "- 5", "+ 5", "--1", "+-1", "1e", "1e+", ".", ".e1", "0x", "0xg",
      "0x1.5", "1_000", "Infinityx",
      // Strings.
      R"("\1")", R"("\9")", R"("\x4")", R"("\xg1")", R"("\u12")", R"("\u12g4")", "\"a\nb\"", "\"a\rb\"",
      "\"a\xE2\x80\xA8\x62\"", "\"a\xE2\x80\xA9\x62\"", "\"abc", "'abc\"", "\"abc\\", "\"\xFF\"", "\"\xED\xA0\x80\"",
      "\"\xC3\"", "\"\xE2\x80\"",
      // Comments.
      "/* x", "[1 /* x", "1 /", "1 /x",
      // Keys.
      "{a-b:1}", "{1a:1}", "{-a:1}", "{a b:1}", "{:1}", R"({\x41:1})", R"({\u12:1})", R"({a\:1})",
      "{a\xE0\xA4\x83:1}",  // a spacing mark (Mc) without the Diacritic property
      "{\xCC\x81:1}",       // a mark cannot start a key
      "{\xF0\x9F\x98\x80:1}",
      // Structure.
      "[1", "{a:1", "{a}", "{a:}", "[1}", "{a:1]", "]", "}", ":", "{\"a\" 1}", "{a:1 b:2}", "[1 2]",
      std::string("\0", 1),
      // Words outside the grammar.
      "undefined", "True", "nan", "infinity", "NULL", "nul", "tru", "nulll", "[nullx]",
  };
  for (const std::string& text : cases) {
    std::string seen = read_and_describe(text);
    EXPECT_EQ(seen.rfind("FAIL: ", 0), 0u) << "text: " << text << " read as " << seen;
    EXPECT_NE(seen.find(" at line "), std::string::npos) << "text: " << text << " failed with " << seen;
  }
}

// A value or escape that does not convert fails with its line and column.
TEST(ReadJson5, ConversionFailureMessages) {
  const Accepted cases[] = {
      {"0x100000000", "FAIL: error parsing hex at line 1, column 1"},
      {"-0x1F", "FAIL: error parsing integer at line 1, column 1"},
      {"+0x1F", "FAIL: error parsing integer at line 1, column 1"},
      {"-0x1E", "FAIL: error parsing number at line 1, column 1"},  // the digit E makes it a float that does not read
      {"+Infinity", "FAIL: error parsing integer at line 1, column 1"},
      {"+NaN", "FAIL: error parsing integer at line 1, column 1"},
      {"9223372036854775808", "FAIL: error parsing integer at line 1, column 1"},
      {"-9223372036854775809", "FAIL: error parsing integer at line 1, column 1"},
      {"12345678901234567890123", "FAIL: error parsing integer at line 1, column 1"},
      {"1e400", "FAIL: error parsing number: too large at line 1, column 1"},
      {"-1.8e308", "FAIL: error parsing number: too large at line 1, column 1"},
      {"[1, 1e999999999999999999999]", "FAIL: error parsing number: too large at line 1, column 5"},
      {"[1,\n  1e999]", "FAIL: error parsing number: too large at line 2, column 3"},
      {R"("\uD800")", "FAIL: missing unicode trail surrogate at line 1, column 2"},
      {"\"\\uD800\\\n\"", "FAIL: missing unicode trail surrogate at line 1, column 2"},
      {R"("\uD800\u0041")", "FAIL: expecting unicode trail surrogate at line 1, column 2"},
      {R"("\uD800\uD800\uDC00")", "FAIL: expecting unicode trail surrogate at line 1, column 2"},
      {R"("\uD800a")", "FAIL: expecting unicode trail surrogate at line 1, column 2"},  // "a" reads as hexadecimal
      {R"("\uD800\b")", "FAIL: expecting unicode trail surrogate at line 1, column 2"},
      {R"("\uD800\x41")", "FAIL: expecting unicode trail surrogate at line 1, column 2"},
      {R"("\uD800z")", "FAIL: error parsing hex at line 1, column 2"},
      {R"("\uD800\n")", "FAIL: error parsing hex at line 1, column 2"},
      {R"("\uDC00")", "FAIL: unexpected unicode trail surrogate at line 1, column 2"},
      {R"("\uDE00\uD83D")", "FAIL: unexpected unicode trail surrogate at line 1, column 2"},
      {R"({\uD800: 1})", "FAIL: missing unicode trail surrogate at line 1, column 2"},
      {R"({\uDC00: 1})", "FAIL: unexpected unicode trail surrogate at line 1, column 2"},
      {R"({\uD800z: 1})", "FAIL: error parsing hex at line 1, column 2"},
      // The first failure in text order is reported.
      {R"(["\uDC00", 1e400])", "FAIL: unexpected unicode trail surrogate at line 1, column 3"},
      {R"({a: 1e400, b: "\uDC00"})", "FAIL: error parsing number: too large at line 1, column 5"},
  };
  expect_all_accepted(cases);
}

TEST(ReadJson5, GrammarFailureOutranksConversionFailureAndGivesPosition) {
  EXPECT_EQ(read_and_describe(R"(["\uDC00", ]])").rfind("FAIL: expected end of text at line 1, column 13", 0), 0u);
  EXPECT_EQ(read_and_describe("[1e400 x]").rfind("FAIL: expected ',' or ']'", 0), 0u);
  EXPECT_EQ(read_and_describe("[1,\n  x]"), "FAIL: expected a value at line 2, column 3");
  EXPECT_EQ(read_and_describe("[1,\r\n\xC3\xA9"), "FAIL: expected a value at line 2, column 1");
  EXPECT_EQ(read_and_describe("{\r\r'\xC3\xA9' x"), "FAIL: expected ':' at line 3, column 5");
  EXPECT_EQ(read_and_describe("[1, /* open"), "FAIL: unterminated block comment at line 1, column 5");
}

TEST(ReadJson5, PlainStringsAreViewsIntoTheTextAndDecodedOnesAreNot) {
  Context context;
  const std::string text = R"({"plain": "abc", "esc\u0041": "a\nb", plain2: 'x'})";
  JsonArena arena;
  auto value = read_json5(context, text, arena);
  ASSERT_TRUE(value);
  auto inside_text = [&](std::string_view s) {
    return s.data() >= text.data() && s.data() + s.size() <= text.data() + text.size();
  };
  const JsonMember* members = value->members().begin();
  ASSERT_EQ(value->members().size(), 3u);
  EXPECT_TRUE(inside_text(members[0].key));
  EXPECT_TRUE(inside_text(members[0].value.as_string()));
  EXPECT_FALSE(inside_text(members[1].key));
  EXPECT_EQ(members[1].key, "escA");
  EXPECT_FALSE(inside_text(members[1].value.as_string()));
  EXPECT_EQ(members[1].value.as_string(), "a\nb");
  EXPECT_TRUE(inside_text(members[2].key));
  EXPECT_TRUE(inside_text(members[2].value.as_string()));
}

TEST(ReadJson5, LongStringsAndManyItems) {
  Context context;
  // Runs longer than the block scan, with every stop byte at each offset.
  for (std::size_t offset = 0; offset < 40; ++offset) {
    std::string run(offset, 'a');
    EXPECT_EQ(read_and_describe("\"" + run + "\\n" + run + "\""), "\"" + run + "\\x0a" + run + "\"");
    EXPECT_EQ(read_and_describe("'" + run + "\"" + run + "'"), "\"" + run + "\\x22" + run + "\"");
    EXPECT_EQ(read_and_describe("\"" + run + "\xC3\xA9" + run + "\""), "\"" + run + "\\xc3\\xa9" + run + "\"");
    EXPECT_EQ(read_and_describe("\"" + run + "\n" + run + "\"").rfind("FAIL", 0), 0u);
    EXPECT_EQ(read_and_describe("\"" + run + "\xE2\x80\xA8" + run + "\"").rfind("FAIL", 0), 0u);
    EXPECT_EQ(read_and_describe(std::string(offset, ' ') + "[" + std::string(offset, '\n') + "1" + std::string(offset, '\t') + "]"),
              "[u1]");
  }
  std::string many = "[";
  for (int i = 0; i < 5000; ++i) {
    many += "{k" + std::to_string(i % 40) + ": " + std::to_string(i) + ", k0: [" + std::to_string(-i) + "]},";
  }
  many += "]";
  JsonArena arena;
  auto value = read_json5(context, many, arena);
  ASSERT_TRUE(value);
  ASSERT_EQ(value->items().size(), 5000u);
  const JsonValue& last = value->items()[4999];
  ASSERT_EQ(last.members().size(), 2u);
  EXPECT_EQ(last.members().begin()->key, "k39");
  EXPECT_EQ(last.members().begin()[1].value.items()[0].as_number().i64_value, -4999);
}

std::string nested(std::size_t depth, bool objects) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += objects ? "{\"a\":" : "[";
  text += "1";
  for (std::size_t i = 0; i < depth; ++i) text += objects ? "}" : "]";
  return text;
}

std::string mixed_nesting(std::size_t depth) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += i % 2 == 0 ? "[" : "{a:";
  text += '0';
  for (std::size_t i = depth; i-- > 0;) text += i % 2 == 0 ? ']' : '}';
  return text;
}

// Reads the texts and reports which read.
struct DepthRun {
  bool arrays_at_limit = false;
  bool objects_at_limit = false;
  bool mixed_at_limit = false;
  bool arrays_past_limit = false;
  bool objects_past_limit = false;
  bool unclosed_million = false;
};

void run_depth_reads(DepthRun& run) {
  Context context;
  auto reads = [&context](const std::string& text) {
    JsonArena arena;
    return read_json5(context, text, arena).has_value();
  };
  run.arrays_at_limit = reads(nested(kMaxNestingDepth, false));
  run.objects_at_limit = reads(nested(kMaxNestingDepth, true));
  run.mixed_at_limit = reads(mixed_nesting(kMaxNestingDepth));
  run.arrays_past_limit = reads(nested(kMaxNestingDepth + 1, false));
  run.objects_past_limit = reads(nested(kMaxNestingDepth + 1, true));
  run.unclosed_million = reads(std::string(1'000'000, '['));
}

void expect_depth_limit(const DepthRun& run) {
  EXPECT_TRUE(run.arrays_at_limit);
  EXPECT_TRUE(run.objects_at_limit);
  EXPECT_TRUE(run.mixed_at_limit);
  EXPECT_FALSE(run.arrays_past_limit);
  EXPECT_FALSE(run.objects_past_limit);
  EXPECT_FALSE(run.unclosed_million);
}

// A raw U+2028 or U+2029 ends no string but fails it, wherever it falls in
// the 16-byte runs the string scanner takes; its neighbours U+2027 and
// U+202A, and other three-byte characters, are text.
TEST(ReadJson5, RawLineAndParagraphSeparatorsAtEveryOffset) {
  Context context;
  const struct {
    const char* character;
    bool reads;
  } cases[] = {{"\u2028", false}, {"\u2029", false}, {"\u2027", true}, {"\u202a", true}, {"\u20ac", true}};
  for (const auto& c : cases) {
    for (std::size_t before = 0; before < 40; ++before) {
      const std::string text = "[\"" + std::string(before, 'x') + c.character + "yz\", \"tail\"]";
      JsonArena arena;
      EXPECT_EQ(read_json5(context, text, arena).has_value(), c.reads) << c.character << " after " << before;
    }
  }
}

TEST(ReadJson5, NestingLimit) {
  DepthRun run;
  run_depth_reads(run);
  expect_depth_limit(run);
  EXPECT_EQ(read_and_describe(nested(3, true)), R"({"a":{"a":{"a":u1}}})");
}

TEST(ReadJson5, NestingLimitOnASmallStack) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 512 * 1024), 0);
  DepthRun run;
  pthread_t thread;
  auto body = [](void* arg) -> void* {
    run_depth_reads(*static_cast<DepthRun*>(arg));
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, body, &run), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
  expect_depth_limit(run);
}

}  // namespace
}  // namespace plomet
