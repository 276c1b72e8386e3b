// The pipeline infers the shape of each candidate text as it reads it, with
// no document tree: the text as given, then its normalised form, then the
// normalised output of each repair pass. The first candidate that reads
// gives the shape. A candidate that inference from the text cannot take is
// read as a tree and folded into a summary. The tree path (read, clean up,
// infer) is the reference the fast path is checked against.
#include "analyze.h"

#include <optional>

#include "core/context.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_driver.h"
#include "output/outline.h"
#include "shape/summary_builder.h"

namespace plomet {
namespace {

// Folds the document of a candidate text into shape; false when the text
// does not read.
bool fold_candidate(Context& context, std::string_view text, bool keep_examples, TextShape& shape) {
  auto summary = std::make_unique<ShapeSummary>(keep_examples);
  switch (SummaryBuilder::fold_outline(context, *summary, text)) {
    case FoldOutcome::Folded:
      break;
    case FoldOutcome::DoesNotRead:
      return false;
    case FoldOutcome::NeedsTree: {
      // A repeated key whose first value was folded already: the tree holds
      // the last value in the first place.
      JsonDocument document(context);
      if (!read_document(context, text, document)) return false;
      summary = std::make_unique<ShapeSummary>(keep_examples);
      summary->add_value(context, document.root);
      break;
    }
  }
  shape.summary = std::move(summary);
  return true;
}

// The fold of text's one document, read or repaired; an empty text is an
// empty object.
Expected<TextShape, RepairError> fold_text(Context& context, std::string_view text, bool keep_examples) {
  TextShape shape;
  if (text.empty()) {
    fold_candidate(context, "{}", keep_examples, shape);
    return shape;
  }
  auto read = [&](std::string_view candidate, Text* owned) {
    if (!fold_candidate(context, candidate, keep_examples, shape)) return false;
    // The shape's views may point into a normalised text: it keeps it.
    if (owned != nullptr) shape.repaired_text = std::make_unique<Text>(std::move(*owned));
    return true;
  };
  if (std::optional<RepairError> error = read_or_repair(context, text, read, &shape.attempt)) {
    return Unexpected(std::move(*error));
  }
  return shape;
}

}  // namespace

Expected<TextShape, RepairError> infer_text_shape(Context& context, std::string_view text, bool keep_examples) {
  auto shape = fold_text(context, text, keep_examples);
  if (shape) shape->schema = shape->summary->take_only_document_schema();
  return shape;
}

Expected<std::string, RepairError> analyze_text(Context& context, std::string_view text, bool show_examples) {
  auto shape = fold_text(context, text, show_examples);
  if (!shape) return Unexpected(std::move(shape).error());
  std::string outline;
  render_only_document(context, outline, *shape->summary, show_examples);
  if (shape->repaired_text) context.recycle_text(std::move(*shape->repaired_text));
  if (context.interrupted()) return Unexpected(RepairError::interrupted());
  return outline;
}

Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples) {
  Context context;
  return analyze_text(context, text, show_examples);
}

Expected<std::string, RepairError> analyze_text_with_tree(std::string_view text, bool show_examples) {
  Context context;
  ParseResult document = parse_or_repair(context, text);
  if (!document) return Unexpected(std::move(document).error());
  return render_schema(infer_schema(document->root), show_examples);
}

}  // namespace plomet
