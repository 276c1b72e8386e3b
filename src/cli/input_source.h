// The inputs named on the command line: opened, refused when they are
// directories, and read whole or line by line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// One line of an input, without its line feed and without a carriage return
// before it.
struct InputLine {
  std::string_view text;
  std::uint64_t number;  // from 1
  std::uint64_t offset;  // of the line's first byte in the input
};

// Calls on_line for each line, in order, until it returns false. Memory:
// one read buffer and the longest line.
Expected<bool, InputError> for_each_line(InputSource& input, Progress& progress,
                                         const std::function<bool(const InputLine&)>& on_line);

}  // namespace plomet::cli
