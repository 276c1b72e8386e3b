// Standard output and standard error of the command, and its signals.
#pragma once

#include <string>
#include <string_view>

namespace plomet::cli {

// Exit statuses, listed in --help.
inline constexpr int kExitOk = 0;
// A document or line that neither reads nor repairs (or, with --strict, does
// not read).
inline constexpr int kExitDocumentFailed = 1;
// Usage errors, inputs that cannot be read or are not UTF-8, output that
// cannot be written.
inline constexpr int kExitUnusable = 2;
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitBrokenPipe = 141;

// Ctrl-C ends the process at once with kExitInterrupted; a write to a closed
// pipe ends it quietly with kExitBrokenPipe instead of killing it.
void install_signal_handlers();

// Whether a progress line stands on the terminal, so that an interrupt ends
// it first. Set and cleared by the progress display.
void set_progress_line_shown(bool shown);

// Writes one message to standard error in a single write.
void write_stderr(std::string_view text);

// Buffered standard output. A broken pipe ends the process quietly; any
// other write failure ends it with a message and kExitUnusable.
class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  // What is not flushed is dropped: the owner flushes before it ends, so
  // that a failed write is reported where it can still exit.
  ~Output() = default;

  void write(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kFlushAt) flush();
  }
  void flush();

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 16;
  std::string buffer_;
};

}  // namespace plomet::cli
