// The whole pipeline for one text: read or repair, infer, render.
#pragma once

#include <string>
#include <string_view>

#include "reader/expected.h"
#include "reader/repair_error.h"

namespace plomet {

// The outline of text, or the error that ended reading and repair, or
// Interrupted when the thread's interrupt check stopped the call
// (reader/interrupt_poll.h). Throws InternalFault only on a broken internal
// invariant.
Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples);

}  // namespace plomet
