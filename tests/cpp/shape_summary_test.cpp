// ShapeSummary: folding documents equals the tree fold and the outline of one
// array holding them; summaries of consecutive parts, merged in any grouping
// and through their bytes, equal the summary of the whole; bad bytes are
// refused.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analyze.h"
#include "repair/parse_or_repair.h"
#include "fold_documents.h"
#include "output/json_schema.h"
#include "output/outline.h"
#include "shape/shape_summary.h"

namespace plomet {
namespace {

// Random documents with every kind at every depth, few keys (so that objects
// share and miss keys) and few distinct scalars (so that examples repeat).
class DocumentGenerator {
 public:
  explicit DocumentGenerator(std::uint32_t seed) : random_(seed) {}

  std::string document() {
    std::string out;
    value(out, 0);
    return out;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  void value(std::string& out, int depth) {
    switch (pick(depth >= 4 ? 6 : 9)) {
      case 0: out += "null"; break;
      case 1: out += pick(2) != 0 ? "true" : "false"; break;
      case 2: case 3: out += std::to_string(pick(7) - 2); break;
      case 4:
        out += std::to_string(pick(3));
        out += pick(2) != 0 ? ".5" : ".0";
        break;
      case 5:
        out += '"';
        out += static_cast<char>('a' + pick(4));
        out += '"';
        break;
      case 6: case 7: {
        out += '[';
        const int n = pick(4);
        for (int i = 0; i < n; ++i) {
          if (i > 0) out += ',';
          value(out, depth + 1);
        }
        out += ']';
        break;
      }
      default: {
        out += '{';
        const int n = pick(4);
        int used = 0;
        for (int i = 0; i < n; ++i) {
          const int key = pick(5);
          if ((used & (1 << key)) != 0) continue;
          used |= 1 << key;
          if (out.back() != '{') out += ',';
          out += "\"k";
          out += std::to_string(key);
          out += "\":";
          value(out, depth + 1);
        }
        out += '}';
        break;
      }
    }
  }

  std::mt19937 random_;
};

ShapeSummary fold(const std::vector<std::string>& texts, std::size_t from, std::size_t to, bool examples) {
  Context context;
  ShapeSummary summary(examples);
  for (std::size_t i = from; i < to; ++i) EXPECT_FALSE(summary.add_text(context, texts[i]).has_value()) << texts[i];
  return summary;
}

std::string tree_fold_outline(const std::vector<std::string>& texts, bool examples) {
  Context context;
  DocumentFold tree_fold;
  std::vector<JsonDocument> documents;
  for (const std::string& text : texts) {
    ParseResult document = parse_or_repair(context, text);
    EXPECT_TRUE(document.has_value());
    tree_fold.add(document->root);
  }
  return render_schema(tree_fold.shape(), examples);
}

std::string joined(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (const std::string& text : texts) out += (out.size() > 1 ? "," : "") + text;
  return out + "]";
}

TEST(ShapeSummary, RandomSequencesEqualTheTreeFoldAndMergeExactly) {
  Context context;
  for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
    DocumentGenerator generator(seed);
    std::mt19937 cuts(seed);
    std::vector<std::string> texts(1 + seed % 9);
    for (std::string& text : texts) text = generator.document();
    const bool examples = seed % 3 != 0;
    SCOPED_TRACE(joined(texts));

    const ShapeSummary whole = fold(texts, 0, texts.size(), examples);
    ASSERT_EQ(render_documents_outline(context, whole, examples), tree_fold_outline(texts, examples));
    ASSERT_EQ(render_documents_outline(context, whole, examples), analyze_text_with_tree(joined(texts), examples).value());

    // Three consecutive parts, grouped both ways, one of them through bytes.
    std::size_t a = std::uniform_int_distribution<std::size_t>(0, texts.size())(cuts);
    std::size_t b = std::uniform_int_distribution<std::size_t>(0, texts.size())(cuts);
    if (a > b) std::swap(a, b);
    ShapeSummary left = fold(texts, 0, a, examples);
    ShapeSummary middle = fold(texts, a, b, examples);
    const ShapeSummary right = fold(texts, b, texts.size(), examples);
    ShapeSummary right_first = ShapeSummary::from_bytes(middle.to_bytes()).value();
    right_first.merge(right);
    left.merge(middle);
    left.merge(right);
    ShapeSummary grouped = fold(texts, 0, a, examples);
    grouped.merge(right_first);

    ASSERT_EQ(left.to_bytes(), whole.to_bytes());
    ASSERT_EQ(grouped.to_bytes(), whole.to_bytes());
    ASSERT_EQ(render_documents_outline(context, grouped, examples), render_documents_outline(context, whole, examples));
    ASSERT_EQ(render_json_schema(grouped, examples), render_json_schema(whole, examples));
    ASSERT_EQ(grouped.documents(), texts.size());
  }
}

// Cases where a part that starts with another kind must still carry what its
// later values add.
TEST(ShapeSummary, PartsStartingWithAnotherKindMergeAsTheWholeFolds) {
  Context context;
  const std::vector<std::vector<std::string>> cases = {
      {R"({"a":1})", R"({"a":"s"})", R"({"a":2.5})"},
      {"1", "\"x\"", "2.5", "3", "2"},
      {"2.5", "1", "\"x\"", "1.0"},
      {"[1,2]", "[\"a\"]", "[3.5]"},
      {R"([{"x":1}])", R"([[1], {"x":2.5}])", R"([{"y":1}])"},
      {R"([[{"f":1}]])", R"([[{"f":{}}, {"f":2.5}]])"},
      {"true", "1", "false"},
      {"null", "{}", "[]"},
      {"[]", "[[]]", "[[1]]"},
  };
  for (const auto& texts : cases) {
    SCOPED_TRACE(joined(texts));
    const ShapeSummary whole = fold(texts, 0, texts.size(), true);
    EXPECT_EQ(render_documents_outline(context, whole, true), analyze_text_with_tree(joined(texts), true).value());
    for (std::size_t cut = 0; cut <= texts.size(); ++cut) {
      ShapeSummary merged = fold(texts, 0, cut, true);
      merged.merge(fold(texts, cut, texts.size(), true));
      EXPECT_EQ(render_documents_outline(context, merged, true), render_documents_outline(context, whole, true)) << "cut at " << cut;
      EXPECT_EQ(merged.to_bytes(), whole.to_bytes()) << "cut at " << cut;
    }
  }
}

TEST(ShapeSummary, FailedDocumentsLeaveTheSummaryAsItWas) {
  Context context;
  ShapeSummary summary;
  ASSERT_FALSE(summary.add_text(context, R"({"a": 1, "b": [1, 2]})").has_value());
  const std::string before = summary.to_bytes();
  struct Case {
    std::string text;
    DocumentError::Kind kind;
  };
  const std::vector<Case> failures = {
      {"{\"c\": [1, {\"d\": 2}], \"a\": \xFF}", DocumentError::Kind::InvalidUtf8},
      {R"({"c": [1, {"d": 2}], "x": 1e400})", DocumentError::Kind::Unreadable},
      {R"([{"q": 1}, )" + std::string(1025, '['), DocumentError::Kind::Unreadable},
  };
  for (const Case& failure : failures) {
    auto error = summary.add_text(context, failure.text);
    ASSERT_TRUE(error.has_value()) << failure.text;
    EXPECT_EQ(error->kind, failure.kind);
    EXPECT_EQ(summary.to_bytes(), before) << failure.text;
  }
  // A strict read refuses what repair would take, and an empty text, and
  // keeps nothing of either.
  for (const char* text : {R"({"z": {"y": 1}, "a": "b")", ""}) {
    auto strict = summary.add_text(context, text, ReadMode::Strict);
    ASSERT_TRUE(strict.has_value()) << text;
    EXPECT_EQ(strict->kind, DocumentError::Kind::Unreadable);
    EXPECT_EQ(summary.to_bytes(), before);
  }
  // A repaired text that first folds part of itself, then fails, then reads
  // repaired, counts once and as repaired.
  ASSERT_FALSE(summary.add_text(context, R"({"z": {"y": 1}, "a": "b")").has_value());
  EXPECT_EQ(summary.documents(), 2u);
  EXPECT_EQ(render_documents_outline(context, summary, true), analyze_text_with_tree(R"([{"a": 1, "b": [1, 2]}, {"z": {"y": 1}, "a": "b"}])", true).value());
}

TEST(ShapeSummary, RepeatedKeysTakeTheLastValue) {
  Context context;
  const std::vector<std::string> texts = {R"({"a": 1, "b": 2})", R"({"a": {"x": 1}, "a": "s", "b": 3})"};
  const ShapeSummary summary = fold(texts, 0, texts.size(), true);
  EXPECT_EQ(render_documents_outline(context, summary, true), analyze_text_with_tree(joined(texts), true).value());
}

TEST(ShapeSummary, BadBytesAreRefused) {
  Context context;
  ShapeSummary summary;
  for (const char* text : {R"({"a": [1, 2.5, {"b": "c"}], "d": null})", "\"s\"", "7", "[true]"}) {
    ASSERT_FALSE(summary.add_text(context, text).has_value());
  }
  const std::string bytes = summary.to_bytes();
  ASSERT_TRUE(ShapeSummary::from_bytes(bytes).has_value());
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(ShapeSummary::from_bytes(bytes.substr(0, size)).has_value()) << size;
  }
  std::string other_version = bytes;
  other_version[4] = 9;
  EXPECT_EQ(ShapeSummary::from_bytes(other_version).error(), "shape bytes of version 9; this plomet reads version 1");
  // Flipped bytes give a summary or an error, never a crash.
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string flipped = bytes;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
    auto read = ShapeSummary::from_bytes(flipped);
    if (read) (void)render_documents_outline(context, *read, true);
  }
}

}  // namespace
}  // namespace plomet
