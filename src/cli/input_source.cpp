#include "cli/input_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace plomet::cli {

namespace {

constexpr std::size_t kReadSize = std::size_t{1} << 20;

InputError system_error_text(int error) { return std::strerror(error); }

}  // namespace

Expected<InputSource, InputError> InputSource::open(const std::string& name) {
  const bool standard_input = name == "-";
  int fd = STDIN_FILENO;
  if (!standard_input) {
    do {
      fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Unexpected(system_error_text(errno));
  }
  InputSource input(fd, !standard_input, std::nullopt);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Unexpected(system_error_text(errno));
  if (S_ISDIR(status.st_mode)) return Unexpected(system_error_text(EISDIR));
  if (S_ISREG(status.st_mode)) input.size_ = static_cast<std::uint64_t>(status.st_size);
  return input;
}

InputSource::InputSource(InputSource&& other) noexcept : fd_(other.fd_), owned_(other.owned_), size_(other.size_) {
  other.owned_ = false;
}

InputSource::~InputSource() {
  if (owned_) ::close(fd_);
}

Expected<std::size_t, InputError> InputSource::read(char* into, std::size_t capacity) {
  for (;;) {
    const ssize_t count = ::read(fd_, into, capacity);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return Unexpected(system_error_text(errno));
  }
}

Expected<std::string, InputError> read_whole(InputSource& input, Progress& progress) {
  // A file's size and one byte more, so that its end is found without growing.
  std::string text(input.size() ? *input.size() + 1 : kReadSize, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size()) text.resize(2 * text.size());
    auto count = input.read(text.data() + filled, text.size() - filled);
    if (!count) return Unexpected(std::move(count).error());
    if (*count == 0) break;
    const char* added = text.data() + filled;
    progress.advance(*count, static_cast<std::uint64_t>(std::count(added, added + *count, '\n')));
    filled += *count;
  }
  text.resize(filled);
  return text;
}

Expected<bool, InputError> for_each_line(InputSource& input, Progress& progress,
                                         const std::function<bool(const InputLine&)>& on_line) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kReadSize);
  std::string pending;  // the start of a line that the next read continues
  std::uint64_t number = 1;
  std::uint64_t offset = 0;  // of the next line's first byte
  auto deliver = [&](std::string_view text) {
    const std::uint64_t length = text.size();
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const bool go_on = on_line(InputLine{text, number, offset});
    ++number;
    offset += length + 1;
    return go_on;
  };
  for (;;) {
    auto count = input.read(buffer.get(), kReadSize);
    if (!count) return Unexpected(std::move(count).error());
    if (*count == 0) break;
    std::string_view chunk(buffer.get(), *count);
    std::uint64_t line_feeds = 0;
    for (std::size_t end = chunk.find('\n'); end != std::string_view::npos; end = chunk.find('\n')) {
      ++line_feeds;
      bool go_on;
      if (pending.empty()) {
        go_on = deliver(chunk.substr(0, end));
      } else {
        pending.append(chunk.substr(0, end));
        go_on = deliver(pending);
        pending.clear();
      }
      chunk.remove_prefix(end + 1);
      if (!go_on) return false;
    }
    pending.append(chunk);
    progress.advance(*count, line_feeds);
  }
  if (!pending.empty()) return deliver(pending);
  return true;
}

}  // namespace plomet::cli
