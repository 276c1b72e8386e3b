// Diagnostic events of the lenient reader: of normalisation, of the repair
// passes and of the clean-up of string values, each within the attempt of
// the reading order that made it.
//
// Events go to the sink of the work's context (core/context.h). With no sink
// the admitted level is Off and an event costs one load: the message is not
// even built, since PLOMET_EVENT evaluates it only when the level admits it.
#pragma once

#include <string_view>

namespace plomet::diagnostics {

// Severities, from the most to the least severe. A sink admits every level up
// to its maximum: at Info it hears Error, Warn and Info. Off admits nothing.
// Every event the reader emits today is Info.
enum class Level : int { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

// The name of the one field an event carries.
inline constexpr std::string_view kMessageField = "message";

// The fixed description of one place that emits events, built at compile
// time where the event is written.
struct EventSite {
  Level level;
  std::string_view target;  // "json_repair::<pass name>", or "normalisation"
  std::string_view field;   // always kMessageField
  std::string_view file;    // the source file of the emitting place
  unsigned line;            // and its line
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

}  // namespace plomet::diagnostics
