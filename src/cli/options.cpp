#include "cli/options.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <optional>
#include <span>
#include <thread>

namespace plomet::cli {

namespace {

using ApplyResult = std::optional<std::string>;

std::optional<std::size_t> count_argument(std::string_view text) {
  std::size_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

ApplyResult set_count(std::size_t& into, std::string_view name, std::string_view value) {
  std::optional<std::size_t> count = count_argument(value);
  if (!count) return "option '" + std::string(name) + "' needs a whole number, not '" + std::string(value) + "'";
  into = *count;
  return std::nullopt;
}

// A switch: sets a flag of the options.
template <bool Options::*kFlag, bool kValue = true>
ApplyResult set_flag(Options& options, std::string_view /*value*/) {
  options.*kFlag = kValue;
  return std::nullopt;
}

ApplyResult select_repaired(Options& options, std::string_view /*value*/) {
  options.writer = DocumentWriter::Repaired;
  return std::nullopt;
}

enum class Section : std::uint8_t { Input, Output, None };
enum class Action : std::uint8_t { Set, ShowHelp, ShowVersion };

// One option: how it is spelt, what it takes and sets, its rows in --help,
// and the options it has no defined meaning with, and why.
struct OptionRow {
  std::string_view name;
  // A second spelling, or empty.
  std::string_view alias;
  bool takes_value;
  Section section;
  std::string_view help;
  // Sets what the option selects from its value (empty for a switch); an
  // error message when the value is refused.
  ApplyResult (*apply)(Options& options, std::string_view value);
  Action action = Action::Set;
  std::array<std::string_view, 4> conflicts = {};
  std::string_view conflict_reason = {};
};

constexpr std::string_view kHelpHead =
    "usage: plomet [OPTION...] [FILE...]\n"
    "\n"
    "Prints the shape of each JSON, JSON5 or damaged JSON document as an outline.\n"
    "Reads standard input when no FILE (or -) is given.\n";

constexpr std::string_view kHelpTail =
    "\n"
    "With several inputs each output follows a line \"==> NAME <==\" (not with --merge).\n"
    "Options that have no meaning together are refused. A text that holds more\n"
    "values after its first is said so on standard error (use --lines for JSON Lines).\n"
    "A progress line is shown on standard error, when it is a terminal, for inputs\n"
    "over 64 MiB.\n"
    "\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    a document (or with --lines a line) neither read nor repaired and was\n"
    "       skipped; with --strict, did not read as JSON5; with --extract, an answer\n"
    "       held no JSON\n"
    "  2    usage error, an input that cannot be read (missing, unreadable, a\n"
    "       directory, not UTF-8), or output that cannot be written\n"
    "  130  interrupted (Ctrl-C)\n"
    "  141  the reader of the output went away (broken pipe)\n";

const OptionRow kOptionTable[] = {
    {"--lines", {}, false, Section::Input,
     "  --lines                  JSON Lines: each non-blank line is a document; the\n"
     "                           outline is that of one array holding them all\n",
     set_flag<&Options::lines>, Action::Set,
     {"--extract"}, "--lines reads one document per line"},
    {"--merge", {}, false, Section::Input,
     "  --merge                  fold the documents of all inputs into one outline;\n"
     "                           with --repaired, write them as one stream\n",
     set_flag<&Options::merge>},
    {"--extract", {}, false, Section::Input,
     "  --extract                take the JSON out of a language model's answer: the\n"
     "                           first ``` fenced block (one marked json first), else\n"
     "                           from the first { or [\n",
     set_flag<&Options::extract>},
    {"--strict", {}, false, Section::Input,
     "  --strict                 accept only text that reads as JSON5, no repair\n",
     set_flag<&Options::strict>},
    {"--jobs", {}, true, Section::Input,
     "  --jobs N                 fold --lines chunks and --merge inputs on N threads\n"
     "                           (default: the number of cores; one with --explain\n"
     "                           or --repaired)\n",
     [](Options& o, std::string_view value) -> ApplyResult {
       std::optional<std::size_t> count = count_argument(value);
       if (!count || *count == 0 || *count > kMaxJobs) {
         return "option '--jobs' needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                std::string(value) + "'";
       }
       o.jobs = *count;
       return std::nullopt;
     }},
    {"--format", {}, true, Section::Output,
     "  --format outline         the outline (default)\n"
     "  --format json-schema     the shape as a JSON Schema (draft 2020-12)\n",
     [](Options& o, std::string_view value) -> ApplyResult {
       if (value == "outline") {
         o.writer = DocumentWriter::Outline;
       } else if (value == "json-schema") {
         o.writer = DocumentWriter::JsonSchema;
       } else {
         return "unknown format '" + std::string(value) + "' (outline or json-schema)";
       }
       return std::nullopt;
     }},
    {"--no-examples", {}, false, Section::Output,
     "  --no-examples            type words instead of example values\n",
     set_flag<&Options::show_examples, false>, Action::Set,
     {"--max-examples", "--max-example-chars"}, "--no-examples shows no examples"},
    {"--max-examples", {}, true, Section::Output,
     "  --max-examples N         show at most N examples per position\n",
     [](Options& o, std::string_view value) { return set_count(o.limits.max_examples, "--max-examples", value); }},
    {"--max-example-chars", {}, true, Section::Output,
     "  --max-example-chars N    show at most N characters of each string example\n",
     [](Options& o, std::string_view value) {
       return set_count(o.limits.max_example_chars, "--max-example-chars", value);
     }},
    {"--repaired", {}, false, Section::Output,
     "  --repaired               print each document as read or repaired, as compact\n"
     "                           JSON, instead of the outline\n",
     select_repaired,
     Action::Set, {"--format", "--no-examples", "--max-examples", "--max-example-chars"}, "--repaired prints documents, not outlines"},
    {"--explain", {}, false, Section::Output,
     "  --explain                say on standard error how each document was read:\n"
     "                           as it is, normalised, or which repair, and what changed\n",
     set_flag<&Options::explain>},
    {"--quiet", {}, false, Section::Output,
     "  --quiet                  no progress display and no notes on standard error\n",
     set_flag<&Options::quiet>},
    {"--help", "-h", false, Section::Output, "  --help                   show this help and exit\n", nullptr,
     Action::ShowHelp},
    {"--version", {}, false, Section::Output, "  --version                show the version and exit\n", nullptr,
     Action::ShowVersion},
};

constexpr std::size_t kOptionCount = std::size(kOptionTable);

std::optional<std::size_t> find_option(std::string_view name) {
  for (std::size_t i = 0; i < kOptionCount; ++i) {
    if (kOptionTable[i].name == name || (!kOptionTable[i].alias.empty() && kOptionTable[i].alias == name)) return i;
  }
  return std::nullopt;
}

// The first pair of options given that have no meaning together, in table
// order.
std::optional<std::string> conflict_among(const std::bitset<kOptionCount>& given) {
  for (std::size_t i = 0; i < kOptionCount; ++i) {
    if (!given[i]) continue;
    const OptionRow& option = kOptionTable[i];
    for (std::string_view other : option.conflicts) {
      if (other.empty()) continue;
      if (std::optional<std::size_t> at = find_option(other); at && given[*at]) {
        return std::string(option.conflict_reason) + ": it does not go with " + std::string(other);
      }
    }
  }
  return std::nullopt;
}

std::size_t core_count() { return std::max(1U, std::thread::hardware_concurrency()); }

}  // namespace

std::string help_text() {
  std::string text(kHelpHead);
  for (const auto& [section, title] : {std::pair(Section::Input, "\nInput:\n"), std::pair(Section::Output, "\nOutput:\n")}) {
    text += title;
    for (const OptionRow& option : kOptionTable) {
      if (option.section == section) text += option.help;
    }
  }
  text += kHelpTail;
  return text;
}

Command parse_command_line(int argc, const char* const* argv) {
  Options options;
  options.jobs = std::min(core_count(), kMaxJobs);
  std::bitset<kOptionCount> given;
  bool only_inputs = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (only_inputs || arg == "-" || !arg.starts_with("-")) {
      options.inputs.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      only_inputs = true;
      continue;
    }
    // Options with a value take it after '=' or as the next argument.
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    const std::optional<std::size_t> found = find_option(name);
    if (!found) return UsageError{"unknown option '" + std::string(arg) + "'"};
    const OptionRow& option = kOptionTable[*found];
    if (option.takes_value && !value) {
      if (i + 1 == argc) return UsageError{"option '" + std::string(name) + "' needs a value"};
      value = argv[++i];
    } else if (!option.takes_value && value) {
      return UsageError{"option '" + std::string(name) + "' takes no value"};
    }
    switch (option.action) {
      case Action::ShowHelp:
        return ShowHelp{};
      case Action::ShowVersion:
        return ShowVersion{};
      case Action::Set:
        if (ApplyResult error = option.apply(options, value.value_or(std::string_view()))) return UsageError{*error};
        given.set(*found);
        break;
    }
  }
  if (std::optional<std::string> conflict = conflict_among(given)) return UsageError{*conflict};
  if (options.inputs.empty()) options.inputs.emplace_back("-");
  return options;
}

}  // namespace plomet::cli
