// What one piece of work uses, passed down to every stage that needs it: the
// spare memory it reuses from text to text, the host's interrupt check, and
// the sink of diagnostic events.
//
// A context serves one thread at a time. Whoever makes it owns everything it
// holds: analyze_json makes one per call, so nothing outlives the call; a
// Shape and each worker of the command keep theirs across documents.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "core/diagnostics.h"
#include "core/page_memory.h"
#include "core/position_index.h"

namespace plomet {

// The host's check, run under the call: true when the work must stop (the
// host keeps its own record of why).
using InterruptCheck = bool (*)(void* state);

// Work is counted in units of about one byte of text scanned; a value read,
// inferred or rendered counts as kValueUnits. The check runs every
// kUnitsPerCheck units.
inline constexpr std::ptrdiff_t kUnitsPerCheck = std::ptrdiff_t{1} << 16;
inline constexpr std::size_t kValueUnits = 16;

// The spare memory a context keeps at most: texts and arena chunks together.
inline constexpr std::size_t kSpareBytes = std::size_t{32} << 20;

// Code points in the transcoding buffer: 64 KiB.
inline constexpr std::size_t kTranscodingCodePoints = std::size_t{1} << 14;

class Context {
 public:
  Context() = default;
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // --- Interruption. With no check (the command, the tests) poll never says
  // stop. Once the check says stop, poll says stop at once and on every later
  // call, so each loop breaks off at its next poll; whatever it leaves is
  // dropped, and the driver returns RepairError::Kind::Interrupted.
  void set_interrupt_check(InterruptCheck check, void* state) {
    check_ = check;
    check_state_ = state;
    stopped_ = false;
    units_until_check_ = kUnitsPerCheck;
  }
  // Counts units of work; true when the work must stop.
  bool poll(std::size_t units) {
    units_until_check_ -= static_cast<std::ptrdiff_t>(units);
    if (units_until_check_ > 0) [[likely]] return false;
    return check_now();
  }
  // Whether a poll has said stop.
  bool interrupted() const { return stopped_; }

  // --- Diagnostic events. Events at levels up to max_level reach the sink.
  void set_sink(diagnostics::Sink* sink, diagnostics::Level max_level = diagnostics::Level::Info) {
    sink_ = sink;
    admitted_ = sink != nullptr ? max_level : diagnostics::Level::Off;
  }
  bool admits(diagnostics::Level level) const { return level <= admitted_ && level != diagnostics::Level::Off; }
  void deliver(const diagnostics::EventSite& site, std::string_view message) { sink_->receive(site, message); }
  void deliver_attempt(const diagnostics::ReadAttempt& attempt) { sink_->begin_attempt(attempt); }
  void deliver_candidate(std::string_view text) { sink_->candidate(text); }

  // --- Spare memory. The repair chain writes several texts of the input's
  // size, and fresh pages cost a fault each: a text handed back is reused
  // by the next one.
  // An empty text with room for capacity bytes.
  Text take_text(std::size_t capacity);
  // Keeps a text for take_text while the spares stay within kSpareBytes.
  // Never throws: a text that cannot be kept is freed.
  void recycle_text(Text&& text) noexcept;
  // The largest spare chunk of at least `bytes`, or an empty block.
  MemoryBlock take_chunk(std::size_t bytes);
  // Keeps a chunk for take_chunk, like recycle_text.
  void give_chunk(MemoryBlock&& chunk) noexcept;
  // kTranscodingCodePoints code points for hosts that transcode.
  std::span<char32_t> transcoding_buffer();
  // The index for building one object, emptied for `expected` keys.
  PositionIndex& key_index(std::size_t expected);

 private:
  bool check_now();

  std::ptrdiff_t units_until_check_ = kUnitsPerCheck;
  InterruptCheck check_ = nullptr;
  void* check_state_ = nullptr;
  bool stopped_ = false;

  diagnostics::Sink* sink_ = nullptr;
  diagnostics::Level admitted_ = diagnostics::Level::Off;

  std::vector<MemoryBlock> chunks_;
  std::vector<Text> texts_;
  std::size_t spare_bytes_ = 0;  // in chunks_ and texts_
  std::vector<char32_t> code_points_;
  PositionIndex key_index_;
};

}  // namespace plomet

// Emits an event at event_level through context. target is a string literal;
// message is any expression convertible to std::string_view and is evaluated
// only when the context's sink admits the event.
#define PLOMET_EVENT_AT(context, event_level, target, message)                              \
  do {                                                                                      \
    static constexpr ::plomet::diagnostics::EventSite plomet_event_site{                    \
        (event_level), (target), ::plomet::diagnostics::kMessageField, __FILE__, __LINE__}; \
    if ((context).admits(plomet_event_site.level)) (context).deliver(plomet_event_site, (message)); \
  } while (false)

// Emits an informational event.
#define PLOMET_EVENT(context, target, message) \
  PLOMET_EVENT_AT(context, ::plomet::diagnostics::Level::Info, target, message)

// An event of a repair pass, named after it.
#define PLOMET_REPAIR_EVENT(context, pass_name, message) PLOMET_EVENT(context, "json_repair::" pass_name, message)
