// DocumentFold: documents folded one by one, each released right after, give
// the outline of one array holding them all; the strings the fold keeps
// outlive their documents and the compactions of its string store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyze.h"
#include "repair/parse_or_repair.h"
#include "fold_documents.h"
#include "output/outline.h"
#include "shape/schema.h"

namespace plomet {
namespace {

// Folds each text read on its own; every document and its text are gone
// before the next one is read.
std::string folded_outline(const std::vector<std::string>& texts, bool show_examples = true) {
  Context context;
  DocumentFold fold;
  for (const std::string& original : texts) {
    auto text = std::make_unique<std::string>(original);
    ParseResult document = parse_or_repair(context, *text);
    EXPECT_TRUE(document.has_value()) << original;
    if (!document) continue;
    fold.add(document->root);
  }
  return render_schema(fold.shape(), show_examples);
}

std::string array_outline(const std::vector<std::string>& texts, bool show_examples = true) {
  std::string joined = "[";
  for (const std::string& text : texts) joined += (joined.size() > 1 ? "," : "") + text;
  joined += "]";
  auto outline = analyze_text(joined, show_examples);
  EXPECT_TRUE(outline.has_value());
  return outline ? outline.value() : std::string();
}

TEST(FoldDocuments, EqualsTheOutlineOfOneArray) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"1", "2", "1", "2.5", "\"x\"", "-3"},
      {"2.5", "1", "-0.0", "0.0", "3"},
      {"\"a\"", "\"b\"", "\"a\"", "1"},
      {"true"},
      {"false", "true", "null"},
      {"null", "1"},
      {"{\"a\": 1}", "{\"b\": \"x\"}", "[1]", "{\"a\": 2.5, \"c\": {\"d\": [1, 2]}}"},
      {"[[1], [2.5]]", "[[\"s\"], []]", "{}"},
      {"[]", "[{\"k\": 1}]"},
  };
  for (const auto& texts : cases) {
    EXPECT_EQ(folded_outline(texts), array_outline(texts)) << (texts.empty() ? "" : texts.front());
    EXPECT_EQ(folded_outline(texts, false), array_outline(texts, false));
  }
}

// Enough retained and dropped string bytes to compact the store several
// times, each checked against the outline of the whole array.
TEST(FoldDocuments, KeptStringsSurviveTheirDocumentsAndCompaction) {
  const std::string filler(2000, 'v');
  std::vector<std::string> distinct_strings;
  std::vector<std::string> new_keys;
  std::vector<std::string> repeated;
  for (int i = 0; i < 12000; ++i) {
    const std::string n = std::to_string(i);
    distinct_strings.push_back("\"" + filler + n + "\"");
    new_keys.push_back("{\"key" + n + "\": \"" + filler + n + "\", \"same\": [\"" + filler + "\"]}");
    repeated.push_back("{\"same\": \"" + filler + "\", \"n\": " + n + "}");
  }
  EXPECT_EQ(folded_outline(distinct_strings), array_outline(distinct_strings));
  EXPECT_EQ(folded_outline(new_keys), array_outline(new_keys));
  EXPECT_EQ(folded_outline(repeated), array_outline(repeated));
}

TEST(FoldDocuments, CountsDocumentsAndKeepsNoBooleanExample) {
  Context context;
  DocumentFold fold;
  auto count = [&] { return std::get<ArraySchema>(fold.shape().payload).max_items; };
  EXPECT_EQ(count(), 0u);
  EXPECT_TRUE(fold.item().is(Schema::Kind::Null));
  ParseResult document = parse_or_repair(context, "true");
  ASSERT_TRUE(document.has_value());
  fold.add(document->root);
  EXPECT_EQ(count(), 1u);
  ASSERT_TRUE(fold.item().is(Schema::Kind::Bool));
  EXPECT_FALSE(std::get<BoolSchema>(fold.item().payload).example.has_value());
}

}  // namespace
}  // namespace plomet
