// The pipeline infers the shape of each candidate text as it reads it, with
// no document tree: the text as given, then its normalised form, then the
// normalised output of each repair pass. The first candidate that reads
// gives the shape. A candidate that inference from the text cannot take is
// read as a tree and folded into a summary. The tree path (read, clean up,
// infer) is the reference the fast path is checked against.
#include "analyze.h"

#include <optional>

#include "core/interrupt_poll.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_driver.h"
#include "shape/infer_from_text.h"

namespace plomet {
namespace {

// Infers the shape of a candidate text into shape; false when the text does
// not read.
bool infer_candidate(std::string_view text, bool keep_examples, TextShape& shape) {
  switch (infer_schema_from_text(text, keep_examples, shape.strings, shape.schema)) {
    case TextInference::Inferred:
      return true;
    case TextInference::DoesNotRead:
      return false;
    case TextInference::NeedsTree:
      break;
  }
  // A repeated key whose first value was folded already: the tree holds
  // the last value in the first place.
  JsonDocument document;
  if (!read_document(text, document)) return false;
  auto summary = std::make_unique<ShapeSummary>(keep_examples);
  summary->add_value(document.root);
  shape.schema = summary->only_document_schema();
  shape.summary = std::move(summary);
  return true;
}

}  // namespace

Expected<TextShape, RepairError> infer_text_shape(std::string_view text, bool keep_examples) {
  TextShape shape;
  if (text.empty()) {
    shape.schema = Schema(ObjectSchema{});
    return shape;
  }
  auto read = [&](std::string_view candidate, std::string* owned) {
    if (!infer_candidate(candidate, keep_examples, shape)) return false;
    // The shape's views may point into a normalised text: it keeps it.
    if (owned != nullptr) shape.repaired_text = std::make_unique<std::string>(std::move(*owned));
    return true;
  };
  if (std::optional<RepairError> error = read_or_repair(text, read, &shape.attempt)) {
    return Unexpected(std::move(*error));
  }
  return shape;
}

Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples) {
  auto shape = infer_text_shape(text, show_examples);
  if (!shape) return Unexpected(std::move(shape).error());
  std::string outline;
  render_schema(outline, shape->schema, show_examples);
  if (shape->repaired_text) recycle_text_buffer(std::move(*shape->repaired_text));
  if (interrupt::requested()) return Unexpected(RepairError::interrupted());
  return outline;
}

Expected<std::string, RepairError> analyze_text_with_tree(std::string_view text, bool show_examples) {
  ParseResult document = parse_or_repair(text);
  if (!document) return Unexpected(std::move(document).error());
  Schema schema = infer_schema(document->root);
  if (interrupt::requested()) return Unexpected(RepairError::interrupted());
  std::string outline = render_schema(schema, show_examples);
  if (interrupt::requested()) return Unexpected(RepairError::interrupted());
  return outline;
}

}  // namespace plomet
