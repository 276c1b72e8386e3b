// Records the diagnostic events of a test and checks pass cases against
// them. Installed for the lifetime of the recorder.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reader/diagnostics.h"
#include "reader/repair_passes.h"

namespace plomet::testing {

struct RecordedEvent {
  diagnostics::Level level;
  std::string target;
  std::string field;
  std::string message;
  bool operator==(const RecordedEvent&) const = default;
  friend void PrintTo(const RecordedEvent& event, std::ostream* os) {
    *os << "{level " << static_cast<int>(event.level) << ", " << event.target << ", " << event.field << ": \""
        << event.message << "\"}";
  }
};

class EventRecorder : public diagnostics::Sink {
 public:
  EventRecorder() { diagnostics::install_sink(this); }
  ~EventRecorder() override { diagnostics::install_sink(nullptr); }
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;

  void receive(const diagnostics::EventSite& site, std::string_view message) override {
    events_.push_back({site.level, std::string(site.target), std::string(site.field), std::string(message)});
  }
  const std::vector<RecordedEvent>& events() const { return events_; }

 private:
  std::vector<RecordedEvent> events_;
};

struct PassCase {
  std::string input;
  std::string expected;
  std::optional<std::string> message;  // of the pass's one event; nullopt for none
};

// Checks each case's output and that the pass emitted exactly its event:
// info level, target json_repair::<pass_name>, field message.
inline void expect_pass_cases(RepairPass pass, std::string_view pass_name, std::span<const PassCase> cases) {
  const std::string target = "json_repair::" + std::string(pass_name);
  for (const PassCase& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    EventRecorder recorder;
    PassResult result = pass(c.input);
    ASSERT_TRUE(result.has_value()) << result.error().display_text();
    EXPECT_EQ(result.value(), c.expected);
    std::vector<RecordedEvent> expected_events;
    if (c.message) expected_events.push_back({diagnostics::Level::Info, target, "message", *c.message});
    EXPECT_EQ(recorder.events(), expected_events);
  }
}

}  // namespace plomet::testing
