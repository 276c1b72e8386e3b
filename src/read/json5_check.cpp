#include "read/json5_check.h"

#include "read/ignored_events.h"
#include "read/json5_event_reader.h"

namespace plomet {
bool json5_reads_from(Context& context, std::string_view text, bool valid_utf8, const ReadCheckpoints& checkpoints,
                      const ReadCheckpoints::Checkpoint& checkpoint, ReadCheckpoints* noted) {
  IgnoredEvents ignored;
  Json5EventReader reader(context, text, ignored, valid_utf8);
  reader.note_checkpoints_in(noted);
  using Outcome = decltype(reader)::Outcome;
  return reader.read_from(text, valid_utf8, checkpoints, checkpoint) == Outcome::Read;
}

}  // namespace plomet
