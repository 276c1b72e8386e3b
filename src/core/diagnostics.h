// Diagnostic events of the lenient reader: of normalisation, of the repair
// passes and of the clean-up of string values, each within the attempt of
// the reading order that made it.
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
  std::string_view target;  // "json_repair::<pass name>", or "normalisation"
};

// One candidate of the lenient reading order: the text as read, its
// normalised form, or a repair pass's output once normalised.
struct ReadAttempt {
  enum class Stage : unsigned char { AsRead, Normalised, Repaired };
  Stage stage = Stage::AsRead;
  // The pass of a Repaired attempt.
  std::string_view pass;
};

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void receive(const EventSite& site, std::string_view message) = 0;
  // The events that follow, up to the next attempt, belong to attempt; the
  // attempt that reads is the last one begun.
  virtual void begin_attempt(const ReadAttempt& /*attempt*/) {}
  // The text the current attempt reads, after its repair and normalisation.
  virtual void candidate(std::string_view /*text*/) {}
};

// Installs (or with nullptr removes) the process-wide sink. Events at levels
// up to max_level reach it. Not synchronised with concurrent emission; hosts
// install the sink before they start work.
void install_sink(Sink* sink, Level max_level = Level::Info);

bool admits(Level level);
void deliver(const EventSite& site, std::string_view message);
void deliver_attempt(const ReadAttempt& attempt);
void deliver_candidate(std::string_view text);

}  // namespace plomet::diagnostics

// Emits an informational event. target is a string literal; message is any
// expression convertible to std::string_view and is evaluated only when a
// sink admits the event.
#define PLOMET_EVENT(target, message)                                                   \
  do {                                                                                  \
    if (::plomet::diagnostics::admits(::plomet::diagnostics::Level::Info)) {            \
      static constexpr ::plomet::diagnostics::EventSite plomet_event_site{target};      \
      ::plomet::diagnostics::deliver(plomet_event_site, (message));                     \
    }                                                                                   \
  } while (false)

// An event of a repair pass, named after it.
#define PLOMET_REPAIR_EVENT(pass_name, message) PLOMET_EVENT("json_repair::" pass_name, message)
