#include "cli/explain_normalization.h"

#include <cstdint>
#include <vector>

#include "text/number_text.h"

namespace plomet::cli {

namespace {

struct FixUps {
  std::uint64_t single_quotes = 0;
  std::uint64_t strings_ended_at_line_breaks = 0;
  std::uint64_t commas_inserted = 0;
  std::uint64_t commas_dropped = 0;
  bool string_closed_at_end = false;
  std::string_view appended_closers;
  bool understood = true;
};

FixUps compare(std::string_view original, std::string_view fixed) {
  FixUps fix_ups;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < original.size()) {
    const char o = original[i];
    const char f = j < fixed.size() ? fixed[j] : '\0';
    if (j < fixed.size() && o == f) {
      ++i;
      ++j;
    } else if (o == ',') {
      ++fix_ups.commas_dropped;
      ++i;
    } else if (f == ',' && number_text::is_digit(o)) {
      ++fix_ups.commas_inserted;
      ++j;
    } else if (f == '"' && o == '\'') {
      ++fix_ups.single_quotes;
      ++i;
      ++j;
    } else if (f == '"' && (o == '\n' || o == '\r')) {
      ++fix_ups.strings_ended_at_line_breaks;
      ++i;
      ++j;
    } else {
      fix_ups.understood = false;
      return fix_ups;
    }
  }
  std::string_view rest = fixed.substr(j);
  if (!rest.empty() && rest.front() == '"') {
    fix_ups.string_closed_at_end = true;
    rest.remove_prefix(1);
  }
  fix_ups.understood = rest.find_first_not_of("]}") == std::string_view::npos;
  fix_ups.appended_closers = rest;
  return fix_ups;
}

std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

std::string describe_normalization(std::string_view original, std::string_view fixed) {
  const FixUps fix_ups = compare(original, fixed);
  if (!fix_ups.understood) return "fixed up the text";
  std::vector<std::string> parts;
  if (fix_ups.single_quotes > 0) {
    parts.push_back("wrote " + counted(fix_ups.single_quotes, "single quote", "single quotes") + " as double");
  }
  if (fix_ups.strings_ended_at_line_breaks > 0) {
    parts.push_back("ended " + counted(fix_ups.strings_ended_at_line_breaks, "string", "strings") + " at a line break");
  }
  if (fix_ups.commas_inserted > 0) {
    parts.push_back("inserted " + counted(fix_ups.commas_inserted, "comma", "commas") + " before a number");
  }
  if (fix_ups.commas_dropped > 0) {
    parts.push_back("dropped " + counted(fix_ups.commas_dropped, "trailing comma", "trailing commas"));
  }
  if (fix_ups.string_closed_at_end) parts.emplace_back("closed the string left open at the end");
  if (!fix_ups.appended_closers.empty()) {
    parts.push_back("closed " + counted(fix_ups.appended_closers.size(), "bracket", "brackets") + " with \"" +
                    std::string(fix_ups.appended_closers) + "\"");
  }
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

}  // namespace plomet::cli
