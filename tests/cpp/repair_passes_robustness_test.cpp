// Every repair pass in the table returns on hostile input: the invalid
// documents of the JSON test suite and every prefix of a few realistic
// documents.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "read/read_json5.h"
#include "repair/repair_passes.h"
#include "text/utf8.h"

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
// copy of each token and a null for a lost member. The missing-quote repair
// writes JSON, so its output reads when the input is valid UTF-8, unless a
// string holds a raw U+2028 or U+2029: JSON allows them, the reader refuses
// them.
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

}  // namespace
}  // namespace plomet
