// The command line of plomet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shape/leaf_text.h"

namespace plomet::cli {

// What is written for each document, or for the documents folded together.
enum class DocumentWriter { Outline, JsonSchema, Repaired };

struct Options {
  bool show_examples = true;
  bool explain = false;
  bool lines = false;
  bool merge = false;
  bool extract = false;
  bool strict = false;
  bool quiet = false;
  DocumentWriter writer = DocumentWriter::Outline;
  ExampleLimits limits;
  // Threads that fold the chunks of --lines inputs and the inputs of --merge;
  // parse_command_line makes it the number of cores unless --jobs is given.
  std::size_t jobs = 1;
  // "-" is standard input; none given means standard input.
  std::vector<std::string> inputs;

  bool repaired() const { return writer == DocumentWriter::Repaired; }
};

struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
  std::string message;
};

using Command = std::variant<Options, ShowHelp, ShowVersion, UsageError>;

// The largest --jobs: each job may hold two chunks of input in memory.
inline constexpr std::size_t kMaxJobs = 1024;

Command parse_command_line(int argc, const char* const* argv);

// The text of --help, made from the option table.
std::string help_text();

}  // namespace plomet::cli
