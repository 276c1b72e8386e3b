// plomet: prints the outline of each JSON (or JSON-like) file.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "reader/analyze.h"
#include "reader/loose_reader.h"
#include "reader/diagnostics.h"
#include "reader/parse_or_repair.h"
#include "reader/utf8_validation.h"
#include "shape/internal_fault.h"

#ifndef PLOMET_VERSION
#define PLOMET_VERSION "0.0.0"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadableJson = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: plomet [--no-examples] [--explain] [--repaired] [FILE...]\n"
    "\n"
    "Prints the shape of each JSON, JSON5 or damaged JSON document as an outline.\n"
    "Reads standard input when no FILE (or -) is given.\n"
    "\n"
    "  --no-examples  show type words instead of example values\n"
    "  --explain      print each repair step on standard error as 'target: message'\n"
    "  --repaired     print the repaired document as compact JSON instead of the outline\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n";

struct Options {
  bool show_examples = true;
  bool explain = false;
  bool repaired = false;
  std::vector<std::string> files;
};

class StderrSink : public plomet::diagnostics::Sink {
 public:
  void receive(const plomet::diagnostics::EventSite& site, std::string_view message) override {
    std::cerr << site.target << ": " << message << '\n';
  }
};

bool read_input(const std::string& name, std::string& bytes) {
  if (name == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return !std::cin.bad();
  }
  std::ifstream file(name, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) return false;
  bytes = std::move(content).str();
  return true;
}

// Outline (or repaired JSON) of one input; returns the exit status for it.
int process(const std::string& name, const Options& options) {
  std::string display = name == "-" ? "<stdin>" : name;
  std::string bytes;
  if (!read_input(name, bytes)) {
    std::cerr << "plomet: " << display << ": " << std::strerror(errno) << '\n';
    return kExitUsage;
  }
  if (std::size_t bad = plomet::scan::find_invalid_utf8(bytes); bad != plomet::scan::kValidUtf8) {
    std::cerr << "plomet: " << display << ": not valid UTF-8 at byte " << bad << '\n';
    return kExitUsage;
  }
  if (options.repaired) {
    plomet::ParseResult document = plomet::parse_or_repair(bytes);
    if (!document) {
      std::cerr << "Failed to parse or repair JSON: " << document.error().display_text() << '\n';
      return kExitUnreadableJson;
    }
    std::string json;
    plomet::write_compact_json(document->root, json);
    std::cout << json << '\n';
    return kExitOk;
  }
  auto outline = plomet::analyze_text(bytes, options.show_examples);
  if (!outline) {
    std::cerr << "Failed to parse or repair JSON: " << outline.error().display_text() << '\n';
    return kExitUnreadableJson;
  }
  std::cout << outline.value() << '\n';
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  Options options;
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (only_files || arg == "-" || !arg.starts_with("-")) {
      options.files.emplace_back(arg);
    } else if (arg == "--") {
      only_files = true;
    } else if (arg == "--no-examples") {
      options.show_examples = false;
    } else if (arg == "--explain") {
      options.explain = true;
    } else if (arg == "--repaired") {
      options.repaired = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return kExitOk;
    } else if (arg == "--version") {
      std::cout << "plomet " << PLOMET_VERSION << '\n';
      return kExitOk;
    } else {
      std::cerr << "plomet: unknown option '" << arg << "'\n" << kUsage;
      return kExitUsage;
    }
  }
  if (options.files.empty()) options.files.emplace_back("-");

  StderrSink sink;
  if (options.explain) plomet::diagnostics::install_sink(&sink);
  int status = kExitOk;
  try {
    for (const std::string& file : options.files) {
      int file_status = process(file, options);
      if (file_status > status) status = file_status;
    }
  } catch (const std::exception& fault) {
    std::cerr << "plomet: internal error: " << fault.what() << '\n';
    status = 70;
  }
  std::cout.flush();
  plomet::diagnostics::install_sink(nullptr);
  return status;
}
