// Normalisation, which acts only on quotes, brackets and the digits after a
// closing quote or bracket, against the reference that walks every token:
// the same text, or the same refusal, on the cases where the two could part
// (digits after closers across whitespace of every kind, strings ended at
// line breaks, escapes, single quotes, trailing commas inside and outside
// strings), on the test corpora and on prefixes of a realistic document.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "corpus_files.h"
#include "normalisation_reference.h"
#include "repair/parse_or_repair.h"

namespace plomet {
namespace {

using testing::file_text;
using testing::kCorpora;
using testing::normalize_json_text_reference;

std::string shown(const std::optional<std::string>& text) { return text ? *text : "<refused>"; }
std::string shown(const std::optional<Text>& text) { return text ? std::string(*text) : "<refused>"; }

std::string normalised(std::string_view text) {
  Context context;
  return shown(normalize_json_text(context, text));
}

void expect_as_reference(std::string_view text) {
  EXPECT_EQ(normalised(text), shown(normalize_json_text_reference(text))) << "text: " << text;
}

TEST(Normalisation, MatchesTheReferenceWhereTheyCouldPart) {
  struct Case {
    std::string_view text;
    std::string_view normalised;  // "<refused>" when a closer does not match
  };
  const Case cases[] = {
      // A digit after a closing quote or bracket, across whitespace of every kind.
      {R"(["a" 1])", R"(["a" ,1])"},
      {"[[1]\n\t 2]", "[[1]\n\t ,2]"},
      {"[{}\v\f3]", "[{}\v\f,3]"},
      {"[\"a\"\u00a0\u30004]", "[\"a\"\u00a0\u3000,4]"},
      {"[\"a\"\u00a1 4]", "[\"a\"\u00a1 4]"},
      {R"(["a", 1])", R"(["a", 1])"},
      {R"(["a" x1])", R"(["a" x1])"},
      {R"([1 2])", R"([1 2])"},
      {R"([] 1e5 2)", R"([] ,1e5 2)"},
      // Strings ended at a line break: their last significant character
      // decides the digit after them.
      {"[\"a]\n5]", "[\"a]\",5]"},
      {"[\"a] \r\n5]", "[\"a] \"\n,5]"},
      {"[\"a\n5]", "[\"a\"5]"},
      {"[\"\n5]", "[\"\",5]"},
      {"['\n5]", "[\"\"5]"},
      {"[\"a\\]\n5]", "[\"a\\]\"5]"},
      {"[\"a\\\\]\n5]", "[\"a\\\\]\",5]"},
      {"[\"a\\ \n5]", "[\"a\\ \"5]"},
      {"[\"a\\\n5\"]", "[\"a\\\n5\"]"},
      // Quotes: single ones become double, either kind closes a string.
      {R"({'a': 'b'})", R"({"a": "b"})"},
      {R"(["it's"] 1)", R"(["it"s"] 1"])"},
      {R"(['a"] 1)", R"(["a"] ,1)"},
      {R"(["a\"b"])", R"(["a\"b"])"},
      // Trailing commas go, inside strings too, and at the end.
      {R"([1, 2, ])", R"([1, 2 ])"},
      {R"(["a, ]"])", R"(["a ]"])"},
      {"[1,\u00a0]", "[1\u00a0]"},
      {"[1,", "[1]"},
      {"\"a,", "\"a,\""},
      // Closers: a mismatch refuses, missing ones are appended in order.
      {R"({"a": [1})", "<refused>"},
      {R"(])", "<refused>"},
      {R"({"a": [{"b": 1)", R"({"a": [{"b": 1}]})"},
      {R"({"a": "b)", R"({"a": "b"})"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(normalised(c.text), c.normalised) << "text: " << c.text;
    expect_as_reference(c.text);
  }
}

TEST(Normalisation, MatchesTheReferenceOnTheCorpora) {
  for (const char* folder : {"jsontestsuite", "json5-tests"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kCorpora / folder)) {
      if (entry.is_regular_file()) expect_as_reference(file_text(entry.path()));
    }
  }
}

TEST(Normalisation, MatchesTheReferenceOnEveryPrefixOfADocument) {
  const std::string text = file_text(kCorpora / "bench" / "twitter.json").substr(0, 6000);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) expect_as_reference(std::string_view(text).substr(0, cut));
}

}  // namespace
}  // namespace plomet
