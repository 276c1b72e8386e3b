// The command line of plomet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shape/leaf_text.h"

namespace plomet::cli {

enum class OutputFormat { Outline, JsonSchema };

struct Options {
  bool show_examples = true;
  bool explain = false;
  bool repaired = false;
  bool lines = false;
  bool merge = false;
  bool extract = false;
  bool strict = false;
  bool quiet = false;
  OutputFormat format = OutputFormat::Outline;
  ExampleLimits limits;
  // Threads that fold the chunks of --lines inputs and the inputs of --merge;
  // parse_command_line makes it the number of cores unless --jobs is given.
  std::size_t jobs = 1;
  // "-" is standard input; none given means standard input.
  std::vector<std::string> inputs;
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

extern const std::string_view kHelpText;

}  // namespace plomet::cli
