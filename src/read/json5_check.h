// Whether a text reads as JSON5, found by a read that builds nothing: for
// the candidates of repair, which need only that answer until one reads.
#pragma once

#include <string_view>

#include "core/context.h"
#include "read/json5_read_point.h"

namespace plomet {

// Whether text reads as JSON5, read from checkpoint on: a checkpoint of a
// read of another text, which agrees with text on the bytes before it.
// valid_utf8 says whether text is valid UTF-8. Checkpoints of this read go
// to noted, when given. False too when the context's interrupt check stopped
// the read.
bool json5_reads_from(Context& context, std::string_view text, bool valid_utf8, const ReadCheckpoints& checkpoints,
                      const ReadCheckpoints::Checkpoint& checkpoint, ReadCheckpoints* noted = nullptr);

}  // namespace plomet
