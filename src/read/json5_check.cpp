#include "read/json5_check.h"

#include "read/json5_event_reader.h"

namespace plomet {
namespace {

// A consumer that takes no text and keeps nothing.
struct IgnoredEvents {
  void begin_array() {}
  void end_array() {}
  void begin_object() {}
  void end_object() {}
  static bool key(std::string_view /*key*/, bool /*transient*/) { return true; }
  void null_value() {}
  void bool_value(bool /*value*/) {}
  void number_value(const NumberToken& /*number*/) {}
  void string_value(std::string_view /*text*/, bool /*transient*/, bool /*has_controls*/) {}
  static bool wants_key_text() { return false; }
  static bool wants_string_text() { return false; }
};

}  // namespace

bool json5_reads_from(Context& context, std::string_view text, bool valid_utf8, const ReadCheckpoints& checkpoints,
                      const ReadCheckpoints::Checkpoint& checkpoint, ReadCheckpoints* noted) {
  IgnoredEvents ignored;
  Json5EventReader reader(context, text, ignored, valid_utf8);
  reader.note_checkpoints_in(noted);
  using Outcome = decltype(reader)::Outcome;
  return reader.read_from(text, valid_utf8, checkpoints, checkpoint) == Outcome::Read;
}

}  // namespace plomet
