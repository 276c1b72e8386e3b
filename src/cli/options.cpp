#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <thread>

namespace plomet::cli {

const std::string_view kHelpText =
    "usage: plomet [OPTION...] [FILE...]\n"
    "\n"
    "Prints the shape of each JSON, JSON5 or damaged JSON document as an outline.\n"
    "Reads standard input when no FILE (or -) is given.\n"
    "\n"
    "Input:\n"
    "  --lines                  JSON Lines: each non-blank line is a document; the\n"
    "                           outline is that of one array holding them all\n"
    "  --merge                  fold the documents of all inputs into one outline\n"
    "  --extract                take the JSON out of a language model's answer: the\n"
    "                           first ``` fenced block, else from the first { or [\n"
    "  --strict                 accept only text that reads as JSON5, no repair\n"
    "  --jobs N                 fold --lines chunks and --merge inputs on N threads\n"
    "                           (default: the number of cores; one with --explain\n"
    "                           or --repaired)\n"
    "\n"
    "Output:\n"
    "  --format outline         the outline (default)\n"
    "  --format json-schema     the shape as a JSON Schema (draft 2020-12)\n"
    "  --no-examples            type words instead of example values\n"
    "  --max-examples N         show at most N examples per position\n"
    "  --max-example-chars N    show at most N characters of each string example\n"
    "  --repaired               print each document as read or repaired, as compact\n"
    "                           JSON, instead of the outline\n"
    "  --explain                say on standard error what was repaired or fixed up\n"
    "  --quiet                  no progress display and no notes on standard error\n"
    "  --help                   show this help and exit\n"
    "  --version                show the version and exit\n"
    "\n"
    "With several inputs each output follows a line \"==> NAME <==\" (not with --merge).\n"
    "A progress line is shown on standard error, when it is a terminal, for inputs\n"
    "over 64 MiB.\n"
    "\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    a document (or with --lines a line) neither read nor repaired and was\n"
    "       skipped; with --strict, did not read as JSON5\n"
    "  2    usage error, an input that cannot be read (missing, unreadable, a\n"
    "       directory, not UTF-8), or output that cannot be written\n"
    "  130  interrupted (Ctrl-C)\n"
    "  141  the reader of the output went away (broken pipe)\n";

namespace {

std::size_t core_count() { return std::max(1U, std::thread::hardware_concurrency()); }

std::optional<std::size_t> count_argument(std::string_view text) {
  std::size_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The options that shape the outline, which --repaired does not print.
std::optional<std::string> outline_option_with_repaired(const Options& options, bool limits_given) {
  if (options.merge) return "--merge";
  if (options.format != OutputFormat::Outline) return "--format";
  if (!options.show_examples) return "--no-examples";
  if (limits_given) return "--max-examples and --max-example-chars";
  return std::nullopt;
}

// The options that only set a flag.
struct Switch {
  std::string_view name;
  bool Options::*member;
  bool value;
};

constexpr Switch kSwitches[] = {
    {"--no-examples", &Options::show_examples, false},
    {"--explain", &Options::explain, true},
    {"--repaired", &Options::repaired, true},
    {"--lines", &Options::lines, true},
    {"--merge", &Options::merge, true},
    {"--extract", &Options::extract, true},
    {"--strict", &Options::strict, true},
    {"--quiet", &Options::quiet, true},
};

const Switch* find_switch(std::string_view name) {
  for (const Switch& candidate : kSwitches) {
    if (candidate.name == name) return &candidate;
  }
  return nullptr;
}

}  // namespace

Command parse_command_line(int argc, const char* const* argv) {
  Options options;
  options.jobs = std::min(core_count(), kMaxJobs);
  bool only_inputs = false;
  bool limits_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (only_inputs || arg == "-" || !arg.starts_with("-")) {
      options.inputs.emplace_back(arg);
      continue;
    }
    // Options with a value take it after '=' or as the next argument.
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    const bool takes_value =
        name == "--format" || name == "--max-examples" || name == "--max-example-chars" || name == "--jobs";
    if (takes_value && !value) {
      if (i + 1 == argc) return UsageError{"option '" + std::string(name) + "' needs a value"};
      value = argv[++i];
    } else if (!takes_value && value) {
      return UsageError{"option '" + std::string(name) + "' takes no value"};
    }
    if (name == "--") {
      only_inputs = true;
    } else if (const Switch* found = find_switch(name)) {
      options.*(found->member) = found->value;
    } else if (name == "--format") {
      if (*value == "outline") {
        options.format = OutputFormat::Outline;
      } else if (*value == "json-schema") {
        options.format = OutputFormat::JsonSchema;
      } else {
        return UsageError{"unknown format '" + std::string(*value) + "' (outline or json-schema)"};
      }
    } else if (name == "--max-examples" || name == "--max-example-chars") {
      std::optional<std::size_t> count = count_argument(*value);
      if (!count) return UsageError{"option '" + std::string(name) + "' needs a whole number, not '" + std::string(*value) + "'"};
      (name == "--max-examples" ? options.limits.max_examples : options.limits.max_example_chars) = *count;
      limits_given = true;
    } else if (name == "--jobs") {
      std::optional<std::size_t> count = count_argument(*value);
      if (!count || *count == 0 || *count > kMaxJobs) {
        return UsageError{"option '--jobs' needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                          std::string(*value) + "'"};
      }
      options.jobs = *count;
    } else if (name == "--help" || name == "-h") {
      return ShowHelp{};
    } else if (name == "--version") {
      return ShowVersion{};
    } else {
      return UsageError{"unknown option '" + std::string(arg) + "'"};
    }
  }
  if (options.repaired) {
    if (std::optional<std::string> other = outline_option_with_repaired(options, limits_given)) {
      return UsageError{"--repaired prints documents, not outlines: it does not go with " + *other};
    }
  }
  if (options.inputs.empty()) options.inputs.emplace_back("-");
  return options;
}

}  // namespace plomet::cli
