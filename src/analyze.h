// The whole pipeline for one text: read or repair, infer, render.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/context.h"
#include "core/expected.h"
#include "core/repair_error.h"
#include "document/json_value.h"
#include "shape/schema.h"
#include "shape/shape_summary.h"

namespace plomet {

// The shape of a text, with the storage its keys and string examples may
// point into besides the text itself.
struct TextShape {
  Schema schema;
  // The fixed-up text that was read, when the text needed repair; held by
  // pointer so that views into a short text survive moves of the shape.
  std::unique_ptr<Text> repaired_text;
  // The fold of the one document, which holds the copies of keys and
  // strings that the text does not.
  std::unique_ptr<ShapeSummary> summary;
  // The candidate of the lenient reading order that read.
  diagnostics::ReadAttempt attempt;
};

// The shape of text (read, or repaired, and inferred), or the error that
// ended reading and repair, or Interrupted when the context's interrupt
// check stopped the work. Examples are kept only when keep_examples is set.
// The shape's views may point into text, which must outlive it.
Expected<TextShape, RepairError> infer_text_shape(Context& context, std::string_view text, bool keep_examples);

// The outline of text, or the error of infer_text_shape. Throws
// InternalFault only on a broken internal invariant.
Expected<std::string, RepairError> analyze_text(Context& context, std::string_view text, bool show_examples);
// The same in a context of its own, for a caller with no interrupt check, no
// sink and no memory to share.
Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples);

// The same outline through a document tree: read or repair the whole
// document, clean its strings, infer, render. The reference for
// analyze_text.
Expected<std::string, RepairError> analyze_text_with_tree(std::string_view text, bool show_examples);

}  // namespace plomet
