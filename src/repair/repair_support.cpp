#include "repair/repair_support.h"

namespace plomet::repair {
std::string added_at_end_message(std::string_view appended) {
  std::string message;
  message.reserve(kAddedAtEndMessage.size() + appended.size());
  message.append(kAddedAtEndMessage).append(appended);
  return message;
}

std::size_t trailing_backslashes(std::string_view text) {
  std::size_t count = 0;
  while (count < text.size() && text[text.size() - 1 - count] == '\\') ++count;
  return count;
}

std::string ChangeLog::joined(std::string_view separator) const {
  return join(runs_, separator, [separator](std::string& out, const auto& run) {
    for (std::uint64_t i = 0; i < run.second; ++i) {
      if (i > 0) out.append(separator);
      out.append(run.first);
    }
  });
}

}  // namespace plomet::repair
