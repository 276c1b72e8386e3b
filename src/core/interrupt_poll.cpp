#include "core/interrupt_poll.h"

namespace plomet::interrupt {

[[gnu::tls_model("initial-exec")]] thread_local constinit std::ptrdiff_t units_until_check = kUnitsPerCheck;

namespace {

// The rest of the thread's state, read only when the count runs out.
struct HostCheck {
  Check check = nullptr;
  void* context = nullptr;
  bool stopped = false;
};

thread_local constinit HostCheck host_check;

}  // namespace

bool check_now() {
  HostCheck& host = host_check;
  if (host.stopped) return true;  // the count stays at or below zero
  units_until_check = kUnitsPerCheck;
  if (host.check == nullptr || !host.check(host.context)) return false;
  host.stopped = true;
  units_until_check = 0;
  return true;
}

bool requested() { return host_check.stopped; }

Scope::Scope(Check check, void* context)
    : saved_{units_until_check, host_check.check, host_check.context, host_check.stopped} {
  units_until_check = kUnitsPerCheck;
  host_check = {check, context, false};
}

Scope::~Scope() {
  units_until_check = saved_.units_until_check;
  host_check = {saved_.check, saved_.context, saved_.stopped};
}

}  // namespace plomet::interrupt
