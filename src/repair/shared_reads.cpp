#include "repair/shared_reads.h"

#include "read/json5_check.h"
#include "text/simd_scan.h"
#include "text/utf8.h"

namespace plomet {

std::size_t SharedReads::common_prefix(std::string_view candidate) const {
  return scan::common_prefix_length(text_, candidate);
}

SharedReads::Verdict SharedReads::check(std::string_view candidate, std::size_t common_prefix) const {
  const ReadCheckpoints::Checkpoint* from = checkpoints_.last_at_or_before(common_prefix);
  if (from == nullptr || from->position < candidate.size() / 2) return Verdict::ReadWhole;
  const bool valid_utf8 = scan::find_invalid_utf8(candidate) == scan::kValidUtf8;
  return json5_reads_from(candidate, valid_utf8, checkpoints_, *from) ? Verdict::Reads : Verdict::DoesNotRead;
}

}  // namespace plomet
