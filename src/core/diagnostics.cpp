#include "core/diagnostics.h"

#include <atomic>

namespace plomet::diagnostics {
namespace {

std::atomic<int> admitted_level{static_cast<int>(Level::Off)};
std::atomic<Sink*> installed_sink{nullptr};

}  // namespace

void install_sink(Sink* sink, Level max_level) {
  installed_sink.store(sink, std::memory_order_release);
  admitted_level.store(sink ? static_cast<int>(max_level) : static_cast<int>(Level::Off),
                       std::memory_order_release);
}

bool admits(Level level) {
  return static_cast<int>(level) <= admitted_level.load(std::memory_order_relaxed);
}

void deliver(const EventSite& site, std::string_view message) {
  if (Sink* sink = installed_sink.load(std::memory_order_acquire)) sink->receive(site, message);
}

void deliver_attempt(const ReadAttempt& attempt) {
  if (Sink* sink = installed_sink.load(std::memory_order_acquire)) sink->begin_attempt(attempt);
}

void deliver_candidate(std::string_view text) {
  if (Sink* sink = installed_sink.load(std::memory_order_acquire)) sink->candidate(text);
}

}  // namespace plomet::diagnostics
