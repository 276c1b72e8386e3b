// Leaf texts of the outline: type words and example values of scalar schema
// nodes, and the decimal and JSON string forms they are written in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace plomet {

struct Schema;
struct SummaryNode;

// How much of the examples a position shows. Unlimited by default, which is
// the outline analyze_json returns.
struct ExampleLimits {
  static constexpr std::size_t kUnlimited = SIZE_MAX;
  // Examples shown per position; the others are counted in a mark after the
  // last one shown: ", ... (+N more)".
  std::size_t max_examples = kUnlimited;
  // Characters (code points) shown of each string example; a cut example is
  // followed by a mark after its closing quote: "... (+N chars)".
  std::size_t max_example_chars = kUnlimited;
};

// The part of a string example that max_chars characters allow, and how many
// characters are cut off.
struct ExampleCut {
  std::string_view shown;
  std::size_t cut_chars = 0;
};
ExampleCut cut_string_example(std::string_view text, std::size_t max_chars);

// Appends the text of a scalar node (type word or examples); returns false,
// appending nothing, for arrays and objects. A summary's node is written as
// the shape its first kind gives (shape/shape_summary.h).
bool append_scalar_text(std::string& out, const Schema& node, bool show_examples,
                        const ExampleLimits& limits = {});
bool append_scalar_text(std::string& out, const SummaryNode& node, bool show_examples,
                        const ExampleLimits& limits = {});

}  // namespace plomet
