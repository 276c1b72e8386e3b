// A diagnostics sink for tests: it records every event it receives. It is
// the sink of its context while it lives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"

namespace plomet::testing {

struct CapturedEvent {
  std::string target;
  std::string message;

  bool operator==(const CapturedEvent&) const = default;
};

class CapturingSink : public diagnostics::Sink {
 public:
  explicit CapturingSink(Context& context, diagnostics::Level max_level = diagnostics::Level::Info)
      : context_(context) {
    context.set_sink(this, max_level);
  }
  ~CapturingSink() override { context_.set_sink(nullptr); }
  CapturingSink(const CapturingSink&) = delete;
  CapturingSink& operator=(const CapturingSink&) = delete;

  void receive(const diagnostics::EventSite& site, std::string_view message) override {
    events_.push_back({std::string(site.target), std::string(message)});
    sites_.push_back(&site);
  }

  void begin_attempt(const diagnostics::ReadAttempt& attempt) override { attempts_.push_back(attempt); }

  const std::vector<CapturedEvent>& events() const { return events_; }
  // The description of each event's emitting place, in the order received.
  const std::vector<const diagnostics::EventSite*>& sites() const { return sites_; }
  // Every attempt of the reading order begun, in order.
  const std::vector<diagnostics::ReadAttempt>& attempts() const { return attempts_; }
  void clear() {
    events_.clear();
    sites_.clear();
  }

  // The targets of the events received, in order.
  std::vector<std::string> targets() const {
    std::vector<std::string> out;
    for (const CapturedEvent& event : events_) out.push_back(event.target);
    return out;
  }

  // The targets of the repair passes' events, in order.
  std::vector<std::string> pass_targets() const {
    std::vector<std::string> out;
    for (const CapturedEvent& event : events_) {
      if (event.target.starts_with("json_repair::")) out.push_back(event.target);
    }
    return out;
  }

  // The messages of the events with the given target, in order.
  std::vector<std::string> messages_for(std::string_view target) const {
    std::vector<std::string> out;
    for (const CapturedEvent& event : events_) {
      if (event.target == target) out.push_back(event.message);
    }
    return out;
  }

 private:
  Context& context_;
  std::vector<CapturedEvent> events_;
  std::vector<const diagnostics::EventSite*> sites_;
  std::vector<diagnostics::ReadAttempt> attempts_;
};

}  // namespace plomet::testing
