// The outline inferred straight from the text against the outline of the
// document tree: on every corpus file, on truncated benchmark documents, on
// the cases where folding item by item must keep the merge rules, and on
// random documents built to mix kinds and repeat keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "corpus_files.h"
#include "analyze.h"

namespace plomet {
namespace {

namespace fs = std::filesystem;

using testing::file_text;
using testing::kCorpora;

std::string outcome(const Expected<std::string, RepairError>& result) {
  return result ? "outline:\n" + result.value() : "error: " + result.error().display_text();
}

void expect_same_as_tree(std::string_view text, const std::string& label) {
  for (const bool show_examples : {false, true}) {
    SCOPED_TRACE(label + (show_examples ? " (examples)" : " (no examples)"));
    ASSERT_EQ(outcome(analyze_text(text, show_examples)), outcome(analyze_text_with_tree(text, show_examples)));
  }
}

TEST(AnalyzeEngine, AgreesWithTreeOnEveryCorpusFile) {
  std::size_t files = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kCorpora)) {
    if (!entry.is_regular_file()) continue;
    const std::string extension = entry.path().extension().string();
    if (extension != ".json" && extension != ".json5" && extension != ".js" && extension != ".txt") continue;
    const std::string text = file_text(entry.path());
    expect_same_as_tree(text, entry.path().string());
    ++files;
  }
  EXPECT_GT(files, 400u);
}

TEST(AnalyzeEngine, AgreesWithTreeOnTruncatedBenchmarkDocuments) {
  for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json"}) {
    const std::string text = file_text(kCorpora / "bench" / name);
    ASSERT_FALSE(text.empty()) << name;
    for (const double cut : {0.1, 0.6, 0.97}) {
      expect_same_as_tree(std::string_view(text).substr(0, static_cast<std::size_t>(static_cast<double>(text.size()) * cut)),
                          std::string(name) + " cut at " + std::to_string(cut));
    }
  }
}

TEST(AnalyzeEngine, AgreesWithTreeWhereFoldingMustKeepTheMergeRules) {
  const char* const cases[] = {
      // A repeated key keeps its first place and its last value, in an
      // inferred object and in objects folded into an earlier item.
      R"({"a": 1, "b": 2, "a": "x"})",
      R"([{"a": 1}, {"a": 2.5, "a": 3}])",
      R"([{"a": 1}, {"b": [1], "b": {"c": 1}}])",
      R"([{"a": {"x": 1}}, {"a": {"y": 1, "y": 2}}])",
      R"({"a": {"b": 1}, "a": [1, 2]})",
      // A nested array's first item decides whether it meets the target.
      R"([[{"a": 1}], [null, {"b": 2}]])",
      R"([[{"a": 1}], [{"b": 2}, null, {"c": 3}]])",
      R"([[1], [2.5, 3]])",
      R"([[1], [3, 2.5]])",
      R"([{"a": [1]}, {"a": [null, 2.5]}])",
      R"([[[1]], [[2.5], [3]]])",
      // Deeper down too: a nested array's items meet one another at each
      // position before they meet the target there.
      R"([[{"f": 1}], [{"f": {}}, {"f": 2.5}]])",
      R"([[{"f": 1}], [{"f": "s"}, {"f": 2.5}]])",
      R"([{"a": [[{"f": 1}]]}, {"a": [[{"f": null}, {"f": 2.5}], [{"f": 2.5}]]}])",
      // Integers meet floats; examples are never merged.
      R"([{"a": 1}, {"a": 2.5}, {"a": 3}])",
      R"([2.5, 1, 3, 1.0, -0.0, 0])",
      R"([1, 2.5, 3, 1e400])",
      R"([1, NaN, Infinity, 2])",
      R"([1e-400, -1e-400, 0.0])",
      R"([9223372036854775807, -9223372036854775808, 0x7fffffff])",
      // Booleans keep an example only outside arrays.
      R"({"a": true, "b": [false, true], "c": [{"d": false}, {"d": true}]})",
      // Keys new to the target take the later item's full shape.
      R"([{"a": 1}, {"b": [1, 2, 2, 3], "c": {"d": "x"}}, {"b": [4]}])",
      // Optional keys, including ones optional only deeper down.
      R"([{"a": {"x": 1}}, {"a": {"y": 2}}, {}])",
      R"([{}, {"a": 1}, {"a": 2, "b": 3}])",
      // Control characters in kept and in ignored strings; keys keep theirs.
      "[\"a\\tb\", \"ab\", \"a\\u0001b\", \"c\"]",
      "{\"k\\tk\": \"v\\tv\", \"l\": [\"\\r\"]}",
      "[{\"s\": \"x\\ty\"}, {\"s\": \"z\\tw\", \"t\": \"\\u0002\"}]",
      // Escaped strings and keys, examples past the short-list limit.
      R"(["\u00e9", "é", "a", "b", "c", "d", "e", "f", "g", "h", "i", "\u0061"])",
      R"([1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 11, 9])",
      R"([0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5, 0.5, 10])",
      R"({"\u0061": 1, a: 2})",
      // Texts that need normalisation or a repair pass.
      R"([{"a": 1}, {"a": 2, "a": 3)",
      R"({"a": [1, 2, {"b": tru)",
      "",
      "   ",
  };
  for (const char* text : cases) expect_same_as_tree(text, text);
}

// Long example lists: ascending runs taken without hashing, then values
// that go back and must be found among the earlier ones.
TEST(AnalyzeEngine, AgreesWithTreeOnLongExampleLists) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const std::size_t ascending = std::uniform_int_distribution<std::size_t>(0, 40)(random);
    const std::size_t mixed = std::uniform_int_distribution<std::size_t>(0, 40)(random);
    std::string ints = "[", floats = "[", strings = "[";
    for (std::size_t i = 0; i < ascending + mixed; ++i) {
      const long value = i < ascending ? static_cast<long>(i) : std::uniform_int_distribution<long>(-5, 50)(random);
      const std::string sep = i == 0 ? "" : ",";
      ints += sep + std::to_string(value);
      floats += sep + std::to_string(value) + (value % 3 == 0 ? "" : ".5");
      strings += sep + "\"k" + std::string(1, static_cast<char>('a' + (value + 5) % 26)) + "\"";
    }
    for (std::string* text : {&ints, &floats, &strings}) {
      *text += "]";
      expect_same_as_tree(*text, *text);
    }
  }
}

// Random documents from a small grammar: few keys, so that objects share
// and repeat them; every kind, so that items mix.
class DocumentMaker {
 public:
  explicit DocumentMaker(std::uint32_t seed) : random_(seed) {}

  std::string document() {
    std::string out;
    value(out, 0);
    return out;
  }

 private:
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

  void value(std::string& out, int depth) {
    static const char* const scalars[] = {"null", "true", "false", "0", "1", "-7", "2.5", "-0.0", "1e3",
                                          "NaN",  "\"a\"", "\"b\"", "\"a\\tb\"", "\"\\u0061\"", "'c'"};
    const std::size_t choice = pick(depth > 4 ? 2 : 4);
    if (choice < 2) {
      out += scalars[pick(std::size(scalars))];
    } else if (choice == 2) {
      out += '[';
      const std::size_t n = pick(5);
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        value(out, depth + 1);
      }
      out += ']';
    } else {
      static const char* const keys[] = {"\"a\"", "\"b\"", "\"c\"", "d", "\"\\u0061\""};
      out += '{';
      const std::size_t n = pick(5);
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        out += keys[pick(std::size(keys))];
        out += ':';
        value(out, depth + 1);
      }
      out += '}';
    }
  }

  std::mt19937 random_;
};

TEST(AnalyzeEngine, AgreesWithTreeOnRandomDocuments) {
  DocumentMaker maker(20261208);
  for (int i = 0; i < 20000; ++i) {
    std::string text = maker.document();
    expect_same_as_tree(text, text);
    // The same document cut short takes the repair path.
    if (text.size() > 2) {
      text.resize(text.size() * 2 / 3);
      expect_same_as_tree(text, text);
    }
  }
}

}  // namespace
}  // namespace plomet
