// What the reads of one text's candidates share. Every candidate of the
// reading order is the text with a few edits, so a candidate agrees with the
// text on a prefix, often a long one. A reader that can go on from where its
// read of the text stopped (the events it delivered are those of the
// candidate's prefix too) carries that read on in the candidate; otherwise a
// read that builds nothing starts at the text's last checkpoint within the
// shared prefix and tells whether the candidate reads, so that only a
// candidate that reads is read whole. Each answer is the one a whole read of
// the candidate gives. The normalisation of a pass's output likewise starts
// from the normalisation of the text, where the two agree.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/context.h"
#include "read/json5_read_point.h"
#include "repair/normalisation.h"

namespace plomet {

class SharedReads {
 public:
  // The context is the reading order's.
  SharedReads(Context& context, std::string_view text);

  // Where the read of the text notes its checkpoints.
  ReadCheckpoints* checkpoints() { return &checkpoints_; }
  // Whether the text is valid UTF-8.
  bool text_valid_utf8() const { return text_valid_utf8_; }

  // The length of the prefix candidate shares with the text.
  std::size_t common_prefix(std::string_view candidate) const;
  // Whether candidate, which shares common_prefix bytes with the text, is
  // valid UTF-8: only the bytes after the shared characters are checked.
  bool valid_utf8(std::string_view candidate, std::size_t common_prefix) const;

  // The normalised form of the text (first), or of a pass's output.
  std::optional<Text> normalised(std::string_view text);

  enum class Verdict : unsigned char { Reads, DoesNotRead, ReadWhole };
  // Whether candidate, which shares common_prefix bytes with the text, reads
  // as JSON5, when a read from the text's last checkpoint within them tells
  // it for less than a whole read costs; ReadWhole when the checkpoint lies
  // in the first half of the candidate, since a candidate that reads is read
  // whole after all.
  Verdict check(std::string_view candidate, std::size_t common_prefix, bool valid_utf8) const;

 private:
  Context& context_;
  std::string_view text_;
  bool text_valid_utf8_;
  ReadCheckpoints checkpoints_;
  NormalisationLog normalisation_;
  bool normalised_text_ = false;
};

}  // namespace plomet
