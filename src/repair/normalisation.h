// Normalisation: the fix-ups every candidate of the reading order gets
// before it is read (single quotes written as double, strings ended at line
// breaks, commas before numbers, trailing commas dropped, unclosed strings
// and brackets closed).
//
// A normalisation can note its edits and checkpoints in a NormalisationLog.
// The normalisation of another text that agrees with the logged one on a
// prefix then replays the edits made in that prefix, up to the last
// checkpoint in it, and scans only from there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"

namespace plomet {

class NormalisationLog {
 public:
  // A checkpoint every spacing bytes or so.
  explicit NormalisationLog(std::size_t spacing = 4096) : spacing_(spacing) {}

 private:
  friend class Normaliser;

  enum class EditKind : std::uint8_t {
    SingleQuote,    // the quote at `at` written as a double quote
    LineBreak,      // the line break at `at`, which ends a string, written as a quote
    CommaInserted,  // a comma in front of the byte at `at`
    CommaDropped,   // the comma at `at` left out
  };
  struct Edit {
    std::size_t at;
    EditKind kind;
  };
  // Right after an opener, outside strings: the edits made before, and the
  // brackets open (at openers_at in the shared list).
  struct Checkpoint {
    std::size_t position;
    std::size_t edits;
    std::size_t openers_at;
    std::size_t depth;
  };

  std::size_t spacing_;
  std::vector<Edit> edits_;
  std::vector<Checkpoint> checkpoints_;
  std::string openers_;
  // Where a closer that does not match refused the text, if one did.
  std::optional<std::size_t> refused_at_;
};

// The normalised form of text, written into a text of the context, or
// nothing when a closing bracket does not match the innermost open one.
std::optional<Text> normalize_json_text(Context& context, std::string_view text);

// The same, noting its edits and checkpoints in log, which is empty.
std::optional<Text> normalize_json_text(Context& context, std::string_view text, NormalisationLog& log);

// The normalised form of text, which agrees on its first `shared` bytes with
// the text whose normalisation log noted.
std::optional<Text> normalize_json_text(Context& context, std::string_view text, std::size_t shared,
                                        const NormalisationLog& log);

}  // namespace plomet
