#include "repair/shared_reads.h"

#include "read/json5_check.h"
#include "text/simd_scan.h"
#include "text/utf8.h"

namespace plomet {

SharedReads::SharedReads(Context& context, std::string_view text)
    : context_(context), text_(text), text_valid_utf8_(scan::find_invalid_utf8(text) == scan::kValidUtf8) {}

std::size_t SharedReads::common_prefix(std::string_view candidate) const {
  return scan::common_prefix_length(text_, candidate);
}

bool SharedReads::valid_utf8(std::string_view candidate, std::size_t common_prefix) const {
  if (!text_valid_utf8_) return scan::find_invalid_utf8(candidate) == scan::kValidUtf8;
  // The shared prefix up to the last character that starts in it is whole
  // characters of valid UTF-8.
  std::size_t from = common_prefix;
  while (from > 0 && from < text_.size() && (static_cast<unsigned char>(text_[from]) & 0xC0) == 0x80) --from;
  return scan::find_invalid_utf8(candidate.substr(from)) == scan::kValidUtf8;
}

std::optional<Text> SharedReads::normalised(std::string_view text) {
  if (!normalised_text_) {
    normalised_text_ = true;
    return normalize_json_text(context_, text, normalisation_);
  }
  return normalize_json_text(context_, text, common_prefix(text), normalisation_);
}

SharedReads::Verdict SharedReads::check(std::string_view candidate, std::size_t common_prefix,
                                        bool valid_utf8) const {
  const ReadCheckpoints::Checkpoint* from = checkpoints_.last_at_or_before(common_prefix);
  if (from == nullptr || from->position < candidate.size() / 2) return Verdict::ReadWhole;
  return json5_reads_from(context_, candidate, valid_utf8, checkpoints_, *from) ? Verdict::Reads
                                                                                  : Verdict::DoesNotRead;
}

}  // namespace plomet
