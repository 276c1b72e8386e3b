// Lets the host stop a long call. The host installs a check for the calling
// thread (interrupt::Scope); the core counts its work with interrupt::poll()
// in its long loops, and every kUnitsPerCheck units poll() runs the check.
// Once the check says stop, poll() says stop at once and on every later call,
// so each loop breaks off at its next poll; whatever a loop leaves behind is
// dropped, and the driver returns RepairError::Kind::Interrupted.
//
// With no check installed (the command-line tool, the tests), poll() never
// says stop.
#pragma once

#include <cstddef>

namespace plomet::interrupt {

// The host's check, run under the call: true when the call must stop (the
// host keeps its own record of why).
using Check = bool (*)(void* context);

// Work is counted in units of about one byte of text scanned; a value read,
// inferred or rendered counts as kValueUnits.
inline constexpr std::ptrdiff_t kUnitsPerCheck = std::ptrdiff_t{1} << 16;
inline constexpr std::size_t kValueUnits = 16;

// The calling thread's units of work left before the next check; at or below
// zero once the call must stop. Initial-exec, so that a poll in the Python
// module (a shared object) is one thread-pointer access and no call; its
// eight bytes come from the static TLS space that the C library keeps for
// shared objects loaded later.
[[gnu::tls_model("initial-exec")]] extern thread_local constinit std::ptrdiff_t units_until_check;

// Runs the thread's check, or says stop again; resets the count.
bool check_now();

// Counts units of work; true when the call must stop.
inline bool poll(std::size_t units) {
  std::ptrdiff_t& left = units_until_check;
  left -= static_cast<std::ptrdiff_t>(units);
  if (left > 0) [[likely]] return false;
  return check_now();
}

// Whether a poll of this call has said stop.
bool requested();

// Installs a check on the calling thread for its lifetime, with a fresh
// count; the thread's previous state comes back on destruction, so a call
// made from inside a check (a signal handler that analyses a text) counts
// and stops on its own.
class Scope {
 public:
  Scope(Check check, void* context);
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  ~Scope();

 private:
  struct Saved {
    std::ptrdiff_t units_until_check;
    Check check;
    void* context;
    bool stopped;
  };
  Saved saved_;
};

}  // namespace plomet::interrupt
