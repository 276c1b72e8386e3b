// The inputs named on the command line: opened, refused when they are
// directories, and read whole or line by line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/progress.h"
#include "core/expected.h"

namespace plomet::cli {

// The reason an input cannot be read, as the system words it ("No such file
// or directory", "Is a directory").
using InputError = std::string;

class InputSource {
 public:
  // "-" is standard input.
  static Expected<InputSource, InputError> open(const std::string& name);

  InputSource(InputSource&& other) noexcept;
  InputSource& operator=(InputSource&&) = delete;
  InputSource(const InputSource&) = delete;
  ~InputSource();

  // The size of a regular file; nothing for pipes and terminals.
  std::optional<std::uint64_t> size() const { return size_; }

  // Reads up to capacity bytes; 0 at the end of the input.
  Expected<std::size_t, InputError> read(char* into, std::size_t capacity);

 private:
  InputSource(int fd, bool owned, std::optional<std::uint64_t> size) : fd_(fd), owned_(owned), size_(size) {}

  int fd_;
  bool owned_;
  std::optional<std::uint64_t> size_;
};

// The whole input.
Expected<std::string, InputError> read_whole(InputSource& input, Progress& progress);

// Bytes read into a buffer that is kept for reuse: the text is the buffer's
// first length bytes.
struct ReadBuffer {
  std::string bytes;
  std::size_t length = 0;

  std::string_view text() const { return {bytes.data(), length}; }
};

// Cuts an input into chunks of whole lines: once a chunk holds chunk_bytes,
// it ends after its last line feed, and the rest begins the next chunk. A
// line longer than a chunk makes its chunk longer; the last chunk may end
// without a line feed. Memory: the chunk being filled and the start of the
// line that the next chunk begins with.
class LineChunkReader {
 public:
  LineChunkReader(InputSource& input, Progress& progress, std::size_t chunk_bytes)
      : input_(input), progress_(progress), chunk_bytes_(chunk_bytes) {}

  // Reads the next chunk into chunk; false, with an empty chunk, at the end
  // of the input.
  Expected<bool, InputError> next(ReadBuffer& chunk);
  // The offset in the input of the last chunk's first byte.
  std::uint64_t chunk_offset() const { return chunk_offset_; }

 private:
  // Cuts chunk after its last line feed at or after searched, keeping what
  // follows for the next chunk; false when there is none.
  bool cut_after_last_line_feed(ReadBuffer& chunk, std::size_t searched);

  InputSource& input_;
  Progress& progress_;
  const std::size_t chunk_bytes_;
  // The start of a line that was read with the last chunk but ends later.
  std::string carried_;
  std::uint64_t chunk_offset_ = 0;
  std::uint64_t next_offset_ = 0;
  bool at_end_ = false;
};

}  // namespace plomet::cli
