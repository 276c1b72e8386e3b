// The whole pipeline for one text: read or repair, infer, render.
#pragma once

#include <string>
#include <string_view>

#include "reader/expected.h"
#include "reader/repair_error.h"

namespace plomet {

// The outline of text, or the error that ended reading and repair. Throws
// InternalFault only on a broken internal invariant.
Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples);

// The same outline through a document tree: read or repair the whole
// document, clean its strings, infer, render. The reference for
// analyze_text.
Expected<std::string, RepairError> analyze_text_with_tree(std::string_view text, bool show_examples);

}  // namespace plomet
