// Every repair pass in the table returns on hostile input (the invalid
// documents of the JSON test suite and every prefix of a few realistic
// documents), its output stays within a size the pass can produce, and the
// passes whose edits are of one kind make only edits of that kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "read/read_json5.h"
#include "repair/repair_passes.h"
#include "text/utf8.h"

namespace plomet {
namespace {

using testing::file_text;
using testing::kCorpora;

// What a pass may do to its input.
enum class Edits {
  Any,
  // The input, then characters of the alphabet: closers, and the letters of
  // what a cut word or value is completed with.
  Appends,
  // The input with characters of the alphabet taken out.
  Deletes,
  // The input with characters of the alphabet put in.
  Inserts,
};

struct PassEdits {
  RepairPass run;
  Edits edits;
  std::string_view alphabet;
};

const PassEdits kPassEdits[] = {
    {repair_json_close_unexpected_eof, Edits::Appends, "\"]}"},
    {repair_json_close_unexpected_eof_in_array_item, Edits::Appends, "\"]}"},
    {repair_json_handle_eof_between_lists, Edits::Appends, "\"]}"},
    {repair_json_close_unexpected_eof_in_array_tag, Edits::Appends, " \":]}nul"},
    {repair_json_truncated_boolean_behavior, Edits::Appends, "\"]}truefals"},
    {repair_json_remove_duplicate_quotes, Edits::Deletes, "\""},
    {repair_json_comma_behavior, Edits::Inserts, ","},
    {repair_json_fix_mismatched_quotes, Edits::Inserts, "\"'\\"},
};

Edits edits_of(RepairPass run, std::string_view& alphabet) {
  for (const PassEdits& entry : kPassEdits) {
    if (entry.run == run) {
      alphabet = entry.alphabet;
      return entry.edits;
    }
  }
  return Edits::Any;
}

// Whether shorter is longer with some characters taken out, each of them in
// alphabet (an empty alphabet admits any).
bool is_with_characters_out(std::string_view longer, std::string_view shorter, std::string_view alphabet) {
  std::size_t matched = 0;
  for (const char c : longer) {
    if (matched < shorter.size() && shorter[matched] == c) {
      ++matched;
    } else if (!alphabet.empty() && alphabet.find(c) == std::string_view::npos) {
      return false;
    }
  }
  return matched == shorter.size();
}

bool only_control_characters_out(std::string_view text, std::string_view output) {
  std::size_t matched = 0;
  for (const char c : text) {
    if (matched < output.size() && output[matched] == c) {
      ++matched;
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      return false;
    }
  }
  return matched == output.size();
}

void expect_edits(const RepairPassEntry& pass, std::string_view text, std::string_view output) {
  std::string_view alphabet;
  const Edits edits = edits_of(pass.run, alphabet);
  const std::string_view shown = text.substr(0, 200);
  switch (edits) {
    case Edits::Appends:
      ASSERT_TRUE(output.substr(0, text.size()) == text && output.size() >= text.size()) << pass.name << " on: " << shown;
      EXPECT_TRUE(std::all_of(output.begin() + static_cast<std::ptrdiff_t>(text.size()), output.end(),
                              [&](char c) { return alphabet.find(c) != std::string_view::npos; }))
          << pass.name << " appended " << output.substr(text.size()) << " to: " << shown;
      break;
    case Edits::Deletes:
      EXPECT_TRUE(is_with_characters_out(text, output, alphabet)) << pass.name << " on: " << shown;
      break;
    case Edits::Inserts:
      EXPECT_TRUE(is_with_characters_out(output, text, alphabet)) << pass.name << " on: " << shown;
      break;
    case Edits::Any:
      break;
  }
  if (pass.run == repair_json_control_characters) {
    EXPECT_TRUE(only_control_characters_out(text, output)) << pass.name << " on: " << shown;
  }
}

// Runs every pass on text and checks what it wrote. Passes that close by
// appending add at most one closer per character and a few more; the
// rebuild writes at most a quoted, escaped copy of each token and a null for
// a lost member. The missing-quote repair writes JSON, so its output reads
// when the input is valid UTF-8, unless a string holds a raw U+2028 or
// U+2029: JSON allows them, the reader refuses them.
void expect_every_pass_returns(std::string_view text) {
  Context context;
  for (const RepairPassEntry& pass : repair_pass_table()) {
    PassResult result = pass.run(context, text);
    if (!result) continue;
    const std::string_view output = result.value();
    EXPECT_LE(output.size(), 14 * text.size() + 16) << pass.name << " on: " << text.substr(0, 200);
    expect_edits(pass, text, output);
    const bool line_separators =
        output.find("\xE2\x80\xA8") != std::string::npos || output.find("\xE2\x80\xA9") != std::string::npos;
    if (pass.run == repair_json_add_missing_quotes && !line_separators &&
        scan::find_invalid_utf8(text) == scan::kValidUtf8) {
      JsonArena arena;
      EXPECT_TRUE(read_json5(context, output, arena).has_value()) << output.substr(0, 200);
    }
  }
}

TEST(RepairPassRobustness, InvalidDocumentsOfTheTestSuite) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpora / "jsontestsuite/test_parsing")) {
    if (entry.path().filename().string().rfind("n_", 0) != 0) continue;
    expect_every_pass_returns(file_text(entry.path()));
    ++files;
  }
  EXPECT_GT(files, 150u);
}

TEST(RepairPassRobustness, EveryPrefixOfRealisticDocuments) {
  std::vector<std::string> documents = {
      file_text(std::filesystem::path(__FILE__).parent_path() / "../../samples/orders.json"),
      R"({name: 'Ada', tags: [gift, "express"], // a comment
  "note": "say \"hi\" \u00e9", nested: {a: [1, -2.5e+3, true, null], b: "x, y"}, 'it's': "don't"})",
      "[{\"k\": [1, 2], \"s\": \"tab\\there\\\\\", \"u\": \"\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\"}, {\"a\": value}]",
      "{\"a\": [tr, fals, {\"b\": \"x\x01y\", \"c\": [1, 2 3]}], \"d\": \"\"quoted\"\", \"e\": 'mixed\"}",
  };
  ASSERT_GT(documents[0].size(), 100u);
  for (const std::string& document : documents) {
    for (std::size_t length = 0; length <= document.size(); ++length) {
      expect_every_pass_returns(std::string_view(document).substr(0, length));
    }
  }
}

}  // namespace
}  // namespace plomet
