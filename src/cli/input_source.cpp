#include "cli/input_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    progress.advance(std::string_view(text.data() + filled, *count));
    filled += *count;
  }
  text.resize(filled);
  return text;
}

Expected<bool, InputError> LineChunkReader::next(ReadBuffer& chunk) {
  chunk_offset_ = next_offset_;
  chunk.bytes.resize(std::max({chunk.bytes.size(), chunk_bytes_, carried_.size()}));
  chunk.length = carried_.size();
  std::copy(carried_.begin(), carried_.end(), chunk.bytes.begin());
  carried_.clear();
  std::size_t searched = chunk.length;  // what was carried holds no line feed
  while (!at_end_) {
    if (chunk.length >= chunk_bytes_) {
      if (cut_after_last_line_feed(chunk, searched)) break;
      searched = chunk.length;
    }
    if (chunk.length == chunk.bytes.size()) chunk.bytes.resize(2 * chunk.bytes.size());
    auto count = input_.read(chunk.bytes.data() + chunk.length, chunk.bytes.size() - chunk.length);
    if (!count) return Unexpected(std::move(count).error());
    progress_.advance(std::string_view(chunk.bytes.data() + chunk.length, *count));
    chunk.length += *count;
    at_end_ = *count == 0;
  }
  next_offset_ += chunk.length;
  return chunk.length > 0;
}

bool LineChunkReader::cut_after_last_line_feed(ReadBuffer& chunk, std::size_t searched) {
  const std::size_t feed = chunk.text().substr(searched).rfind('\n');
  if (feed == std::string_view::npos) return false;
  const std::size_t end = searched + feed + 1;
  carried_.assign(chunk.text().substr(end));
  chunk.length = end;
  return true;
}

}  // namespace plomet::cli
