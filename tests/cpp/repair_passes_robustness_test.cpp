// Every repair pass in the table returns on hostile input: the invalid
// documents of the JSON test suite and every prefix of a few realistic
// documents. And each of the last five passes handles a large text of the
// damage it mends in time proportional to its size.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reader/read_json5.h"
#include "reader/repair_passes.h"
#include "reader/utf8_validation.h"

#if defined(__SANITIZE_ADDRESS__)
#define PLOMET_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLOMET_UNDER_SANITIZER 1
#endif
#endif

namespace plomet {
namespace {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Runs every pass on text and checks the output stays within a size the
// pass can produce: passes that close by appending add at most one closer per
// character and a few more; the rebuild writes at most a quoted, escaped
// copy of each token and a null for a lost member.
// The missing-quote repair writes JSON, so its output reads when the input
// is valid UTF-8, unless a string holds a raw U+2028 or U+2029: JSON allows
// them, the reader refuses them.
void expect_every_pass_returns(std::string_view text) {
  for (const RepairPassEntry& pass : repair_pass_table()) {
    PassResult result = pass.run(text);
    if (!result) continue;
    EXPECT_LE(result.value().size(), 14 * text.size() + 16) << pass.name << " on: " << text.substr(0, 200);
    bool line_separators = result.value().find("\xE2\x80\xA8") != std::string::npos ||
                           result.value().find("\xE2\x80\xA9") != std::string::npos;
    if (pass.run == repair_json_add_missing_quotes && !line_separators &&
        scan::find_invalid_utf8(text) == scan::kValidUtf8) {
      JsonArena arena;
      EXPECT_TRUE(read_json5(result.value(), arena).has_value()) << result.value().substr(0, 200);
    }
  }
}

TEST(RepairPassRobustness, InvalidDocumentsOfTheTestSuite) {
  const std::filesystem::path folder = std::filesystem::path(PLOMET_SHARED_DIR) / "corpora/jsontestsuite/test_parsing";
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind("n_", 0) != 0) continue;
    expect_every_pass_returns(read_file(entry.path()));
    ++files;
  }
  EXPECT_GT(files, 150u);
}

TEST(RepairPassRobustness, EveryPrefixOfRealisticDocuments) {
  std::vector<std::string> documents = {
      read_file(std::filesystem::path(__FILE__).parent_path() / "../../samples/orders.json"),
      R"({name: 'Ada', tags: [gift, "express"], // a comment
  "note": "say \"hi\" \u00e9", nested: {a: [1, -2.5e+3, true, null], b: "x, y"}, 'it's': "don't"})",
      "[{\"k\": [1, 2], \"s\": \"tab\\there\\\\\", \"u\": \"\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\"}, {\"a\": value}]",
  };
  ASSERT_GT(documents[0].size(), 100u);
  for (const std::string& document : documents) {
    for (std::size_t length = 0; length <= document.size(); ++length) {
      expect_every_pass_returns(std::string_view(document).substr(0, length));
    }
  }
}

std::string repeated(std::string_view piece, std::size_t size) {
  std::string text;
  text.reserve(size + piece.size());
  while (text.size() < size) text.append(piece);
  return text;
}

// Joins the parts (a stand-in for operator+, which trips a false -Wrestrict
// warning of g++ 12 with a literal on the left).
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

double seconds_for(RepairPass pass, const std::string& text) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    PassResult result = pass(text);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(result.has_value());
    best = std::min(best, elapsed.count());
  }
  return best;
}

struct LargeDamage {
  const char* what;
  RepairPass pass;
  std::string (*text)(std::size_t size);
};

std::string blanks(std::size_t size) { return std::string(size, ' '); }

const LargeDamage kLargeDamage[] = {
    {"unquoted keys and values", repair_json_add_missing_quotes,
     [](std::size_t size) { return joined({"{", repeated("key: some words, list: [a, 'b', 1.5], ", size)}); }},
    {"unquoted words around long whitespace", repair_json_add_missing_quotes,
     [](std::size_t size) { return joined({"[a", blanks(size), "b]"}); }},
    {"nested containers cut off", repair_json_handle_eof_between_lists,
     [](std::size_t size) { return repeated(R"([{"a": "x\"", "b": [1, )", size); }},
    {"quotes inside strings", repair_json_fix_mismatched_quotes,
     [](std::size_t size) { return joined({"[", repeated(R"("it"s", 'don"t', )", size), "]"}); }},
    {"commas before whitespace in a string", repair_json_fix_mismatched_quotes,
     [](std::size_t size) { return joined({"[\"", repeated(",                                x", size), "\"]"}); }},
    {"a comma before a long whitespace run", repair_json_fix_mismatched_quotes,
     [](std::size_t size) { return joined({"[\"a,", blanks(size), "\"]"}); }},
    {"colons before whitespace", repair_json_fix_mismatched_quotes,
     [](std::size_t size) { return joined({"{", repeated(R"("k":                        value, )", size), "}"}); }},
    {"a member cut off after a long key", repair_json_close_unexpected_eof_in_array_tag,
     [](std::size_t size) { return joined({repeated("[{", size / 2), R"("a": 1, ")", std::string(size / 2, 'k')}); }},
    {"a member cut off before long whitespace", repair_json_close_unexpected_eof_in_array_tag,
     [](std::size_t size) { return joined({R"({"a": 1, "b")", blanks(size)}); }},
    {"a key with many escapes", repair_json_close_unexpected_eof_in_array_tag,
     [](std::size_t size) { return joined({"{\"a\": 1, \"", repeated("\\\"", size), "\""}); }},
    {"counted closers", repair_json_close_unexpected_eof_in_array_item,
     [](std::size_t size) { return repeated(R"({"a": ["x", )", size); }},
};

TEST(RepairPassLinearity, LargeDamageTakesTimeProportionalToSize) {
#ifdef PLOMET_UNDER_SANITIZER
  // Sanitizers distort timing; the sizes stay small and the bound loose.
  constexpr std::size_t kSmall = 100'000;
  constexpr double kBound = 40;
#else
  constexpr std::size_t kSmall = 1'000'000;
  constexpr double kBound = 25;
#endif
  for (const LargeDamage& damage : kLargeDamage) {
    double small = seconds_for(damage.pass, damage.text(kSmall));
    double large = seconds_for(damage.pass, damage.text(10 * kSmall));
    // Ten times the text: about ten times the time, far below the hundred
    // times of a quadratic scan.
    if (std::getenv("PLOMET_SHOW_TIMES")) std::printf("%-45s %8.4f s %8.4f s\n", damage.what, small, large);
    EXPECT_LT(large, kBound * small + 0.05) << damage.what << ": " << small << " s, then " << large << " s";
  }
}

}  // namespace
}  // namespace plomet
