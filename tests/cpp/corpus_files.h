// The shared test corpora and whole-file reading for the corpus tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace plomet::testing {

inline const std::filesystem::path kCorpora = std::filesystem::path(PLOMET_SHARED_DIR) / "corpora";

inline std::string file_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace plomet::testing
