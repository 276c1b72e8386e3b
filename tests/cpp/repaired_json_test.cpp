// The compact JSON of --repaired, written from the reader's events, against
// the tree it replaced: parse_or_repair (or read_json5) and
// write_compact_json, byte for byte, on every corpus file, on cut and
// mutated corpus documents, and where a repeated key sends the text to the
// tree.
#include "repair/repaired_json.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "corpus_files.h"
#include "document/compact_json_writer.h"
#include "read/read_json5.h"
#include "repair/parse_or_repair.h"

namespace plomet {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::kCorpora;

std::string through_tree(std::string_view text) {
  Context context;
  ParseResult document = parse_or_repair(context, text, ReadOptions{.remove_control_characters = false});
  if (!document) return "error: " + document.error().display_text();
  std::string out = "ok: ";
  write_compact_json(context, document->root, out);
  return out;
}

std::string from_events(std::string_view text) {
  Context context;
  std::string out = "ok: ";
  if (std::optional<RepairError> error = append_repaired_json(context, text, out)) return "error: " + error->display_text();
  return out;
}

std::string json5_through_tree(std::string_view text) {
  Context context;
  JsonArena arena;
  auto value = read_json5(context, text, arena);
  if (!value) return "error: " + value.error().message_with_position(text);
  std::string out = "ok: ";
  write_compact_json(context, *value, out);
  return out;
}

std::string json5_from_events(std::string_view text) {
  Context context;
  std::string out = "ok: ";
  if (std::optional<Json5ReadError> error = append_json5_as_compact(context, text, out)) {
    return "error: " + error->message_with_position(text);
  }
  return out;
}

void expect_same_as_tree(std::string_view text, const std::string& label) {
  SCOPED_TRACE(label);
  ASSERT_EQ(from_events(text), through_tree(text));
  ASSERT_EQ(json5_from_events(text), json5_through_tree(text));
}

std::vector<std::string> corpus_texts() {
  std::vector<std::string> texts;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kCorpora)) {
    if (!entry.is_regular_file()) continue;
    const std::string extension = entry.path().extension().string();
    if (extension != ".json" && extension != ".json5" && extension != ".js" && extension != ".txt") continue;
    texts.push_back(file_text(entry.path()));
  }
  return texts;
}

TEST(RepairedJson, AgreesWithTheTreeOnEveryCorpusFile) {
  const std::vector<std::string> texts = corpus_texts();
  EXPECT_GT(texts.size(), 400u);
  for (std::size_t i = 0; i < texts.size(); ++i) expect_same_as_tree(texts[i], "corpus file " + std::to_string(i));
}

// Each mutation deletes, inserts or replaces a byte with one that JSON or
// the repairs care about, or cuts the text, so that every repair pass and
// the fallback to the tree get their turn.
TEST(RepairedJson, AgreesWithTheTreeOnMutatedCorpusDocuments) {
  const std::vector<std::string> texts = corpus_texts();
  constexpr std::string_view kBytes = "{}[]\",:'\\ \n0a-.eE/*";
  std::mt19937 random(22);
  std::size_t mutated = 0;
  for (const std::string& original : texts) {
    if (original.size() > 4096 || original.empty()) continue;
    for (int round = 0; round < 6; ++round) {
      std::string text = original;
      const int edits = 1 + static_cast<int>(random() % 3);
      for (int e = 0; e < edits && !text.empty(); ++e) {
        const std::size_t at = random() % text.size();
        const char byte = kBytes[random() % kBytes.size()];
        switch (random() % 4) {
          case 0: text.erase(at, 1); break;
          case 1: text.insert(at, 1, byte); break;
          case 2: text[at] = byte; break;
          default: text.resize(at); break;
        }
      }
      expect_same_as_tree(text, "mutation " + std::to_string(round) + " of: " + original.substr(0, 80));
      ++mutated;
    }
  }
  EXPECT_GT(mutated, 1000u);
}

TEST(RepairedJson, RepeatedKeysAndDecodedKeysAgreeWithTheTree) {
  std::string many = "{";
  for (int i = 0; i < 40; ++i) many += "\"k" + std::to_string(i % 25) + "\": " + std::to_string(i) + ", ";
  many += "\"z\": {\"k1\": 1, \"k1\": [2]}}";
  const std::string cases[] = {
      R"({"a": 1, "b": 2, "a": "x"})",
      R"([{"a": 1}, {"a": {"a": 2, "b": 3, "a": 4}}])",
      R"({"\u0061": 1, "a": 2, "b\n": "\ud83d\ude00"})",
      R"({a: 1, 'a': 2, "x": [1, 2.50, -0, 1e2, 0x1F]})",
      R"({"a": 1, "b": 2,)",
      R"({"a": "\u0000 ctl"})",
      many,
      many.substr(0, many.size() / 2),
  };
  for (const std::string& text : cases) expect_same_as_tree(text, text);
}

TEST(RepairedJson, AnEmptyTextIsAnEmptyObjectAndAFailureLeavesTheOutputAsItWas) {
  Context context;
  std::string out = "kept";
  EXPECT_FALSE(append_repaired_json(context, "", out).has_value());
  EXPECT_EQ(out, "kept{}");
  EXPECT_TRUE(append_repaired_json(context, std::string(1025, '['), out).has_value());
  EXPECT_EQ(out, "kept{}");
  EXPECT_TRUE(append_json5_as_compact(context, "[1, 2", out).has_value());
  EXPECT_EQ(out, "kept{}");
}

}  // namespace
}  // namespace plomet
