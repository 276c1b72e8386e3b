#include "repair/pass_toolkit.h"

namespace plomet::repair {
std::string ClosedAtEnd::added_at_end_message() const {
  const std::string_view appended = this->appended();
  std::string message;
  message.reserve(kAddedAtEndMessage.size() + appended.size());
  message.append(kAddedAtEndMessage).append(appended);
  return message;
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
