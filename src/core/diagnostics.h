// Diagnostic events of the repair passes.
//
// A host may install one process-wide sink. Until it does, the admitted
// level is Off and an event costs one relaxed load: the message is not even
// built, since PLOMET_REPAIR_EVENT evaluates it only when the level admits it.
#pragma once

#include <string_view>

namespace plomet::diagnostics {

// Every event is informational; a sink admits Info or nothing.
enum class Level : int { Off = 0, Info = 1 };

// The fixed description of one place that emits events. An event carries one
// field, its message.
struct EventSite {
  std::string_view target;  // "json_repair::<pass name>"
};

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void receive(const EventSite& site, std::string_view message) = 0;
};

// Installs (or with nullptr removes) the process-wide sink. Events at levels
// up to max_level reach it. Not synchronised with concurrent emission; hosts
// install the sink before they start work.
void install_sink(Sink* sink, Level max_level = Level::Info);

bool admits(Level level);
void deliver(const EventSite& site, std::string_view message);

}  // namespace plomet::diagnostics

// Emits an informational event for a repair pass. pass_name is a string
// literal; message is any expression convertible to std::string_view and is
// evaluated only when a sink admits the event.
#define PLOMET_REPAIR_EVENT(pass_name, message)                                                  \
  do {                                                                                           \
    if (::plomet::diagnostics::admits(::plomet::diagnostics::Level::Info)) {                     \
      static constexpr ::plomet::diagnostics::EventSite plomet_event_site{"json_repair::" pass_name};  \
      ::plomet::diagnostics::deliver(plomet_event_site, (message));                              \
    }                                                                                            \
  } while (false)
