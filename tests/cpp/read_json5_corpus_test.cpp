// The reader against the JSONTestSuite parsing files and the JSON5 test
// files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "corpus_files.h"
#include "read/read_json5.h"

namespace plomet {
namespace {

namespace fs = std::filesystem;

using testing::file_text;
using testing::kCorpora;

bool reads(const fs::path& path) {
  Context context;
  std::string text = file_text(path);
  JsonArena arena;
  return read_json5(context, text, arena).has_value();
}

// Files that break the usual expectation, each with the reader rule that
// makes it so.
const std::map<std::string, std::string> kJsonTestSuiteRefused = {
    {"y_string_u+2028_line_sep.json", "a raw U+2028 inside a string is refused"},
    {"y_string_u+2029_par_sep.json", "a raw U+2029 inside a string is refused"},
};

const std::map<std::string, std::string> kJson5TestsRefused = {
    {"numbers/negative-hexadecimal.json5", "-0xC8: a sign before a hexadecimal literal is refused"},
    {"numbers/negative-zero-hexadecimal.json5", "-0x0: a sign before a hexadecimal literal is refused"},
    {"numbers/positive-hexadecimal.json5", "+0xC8: a sign before a hexadecimal literal is refused"},
    {"numbers/positive-zero-hexadecimal.json5", "+0x0: a sign before a hexadecimal literal is refused"},
    {"numbers/positive-infinity.json5", "+Infinity: a plus sign before Infinity is refused"},
};

TEST(ReadJson5Corpus, JsonTestSuite) {
  const fs::path folder = kCorpora / "jsontestsuite" / "test_parsing";
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  std::size_t accepted_files = 0;
  std::size_t other_files = 0;
  std::size_t exceptions_seen = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("y_", 0) == 0) {
      ++accepted_files;
      auto exception = kJsonTestSuiteRefused.find(name);
      if (exception != kJsonTestSuiteRefused.end()) {
        ++exceptions_seen;
        EXPECT_FALSE(reads(entry.path())) << name << " (" << exception->second << ")";
      } else {
        EXPECT_TRUE(reads(entry.path())) << name;
      }
    } else if (name.rfind("n_", 0) == 0 || name.rfind("i_", 0) == 0) {
      // Only that reading ends normally, whatever its result.
      ++other_files;
      (void)reads(entry.path());
    }
  }
  EXPECT_GT(accepted_files, 90u);
  EXPECT_GT(other_files, 200u);
  EXPECT_EQ(exceptions_seen, kJsonTestSuiteRefused.size());
}

TEST(ReadJson5Corpus, Json5Tests) {
  const fs::path folder = kCorpora / "json5-tests";
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  std::size_t valid_files = 0;
  std::size_t invalid_files = 0;
  std::size_t exceptions_seen = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string extension = entry.path().extension().string();
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    if (extension == ".json" || extension == ".json5") {
      ++valid_files;
      auto exception = kJson5TestsRefused.find(name);
      if (exception != kJson5TestsRefused.end()) {
        ++exceptions_seen;
        EXPECT_FALSE(reads(entry.path())) << name << " (" << exception->second << ")";
      } else {
        EXPECT_TRUE(reads(entry.path())) << name;
      }
    } else if (extension == ".js" || extension == ".txt") {
      ++invalid_files;
      EXPECT_FALSE(reads(entry.path())) << name;
    }
  }
  EXPECT_GT(valid_files, 60u);
  EXPECT_GT(invalid_files, 25u);
  EXPECT_EQ(exceptions_seen, kJson5TestsRefused.size());
}

}  // namespace
}  // namespace plomet
