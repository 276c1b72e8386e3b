#include "cli/console.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace plomet::cli {

namespace {

volatile std::sig_atomic_t progress_line_shown = 0;

// Writes all of text to fd; returns 0 or the errno of the failed write.
int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

extern "C" void stop_on_interrupt(int) {
  // Only async-signal-safe calls here: end the progress line, then leave.
  if (progress_line_shown) {
    static constexpr char kEndLine[] = "\n";
    (void)!::write(STDERR_FILENO, kEndLine, sizeof kEndLine - 1);
  }
  ::_exit(kExitInterrupted);
}

}  // namespace

void install_signal_handlers() {
  struct sigaction interrupt {};
  interrupt.sa_handler = stop_on_interrupt;
  sigemptyset(&interrupt.sa_mask);
  sigaction(SIGINT, &interrupt, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

void set_progress_line_shown(bool shown) { progress_line_shown = shown ? 1 : 0; }

void write_stderr(std::string_view text) { (void)write_all(STDERR_FILENO, text); }

void Output::flush() {
  if (buffer_.empty()) return;
  const int error = write_all(STDOUT_FILENO, buffer_);
  buffer_.clear();
  if (error == 0) return;
  if (error == EPIPE) ::_exit(kExitBrokenPipe);
  write_stderr(std::string("plomet: cannot write the output: ") + std::strerror(error) + "\n");
  ::_exit(kExitUnusable);
}

}  // namespace plomet::cli
