// The pipeline infers the shape of each candidate text as it reads it, with
// no document tree: the text as given, then its normalised form, then the
// normalised output of each repair pass. The first candidate that reads
// gives the shape. The tree path (read, clean up, infer) serves a candidate
// that inference from the text cannot take, and is the reference the fast
// path is checked against.
#include "analyze.h"

#include <optional>

#include "core/interrupt_poll.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_passes.h"
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
  auto document = std::make_unique<JsonDocument>();
  if (!read_document(text, *document)) return false;
  shape.schema = infer_schema(document->root);
  shape.document = std::move(document);
  return true;
}

// Normalises a text and infers the shape of the result, which the shape
// keeps.
bool infer_normalized(std::string_view text, bool keep_examples, TextShape& shape) {
  std::optional<std::string> fixed = normalize_json_text(text);
  if (!fixed) return false;
  auto read_text = std::make_unique<std::string>(std::move(*fixed));
  if (infer_candidate(*read_text, keep_examples, shape)) {
    shape.repaired_text = std::move(read_text);
    return true;
  }
  recycle_text_buffer(std::move(*read_text));
  return false;
}

}  // namespace

Expected<TextShape, RepairError> infer_text_shape(std::string_view text, bool keep_examples) {
  TextShape shape;
  if (text.empty()) {
    shape.schema = Schema(ObjectSchema{});
    return shape;
  }
  // A stopped call leaves every stage failing, so the check after each
  // stage tells an interruption from a text that does not read.
  const auto interrupted = [] { return Unexpected(RepairError::interrupted()); };
  if (infer_candidate(text, keep_examples, shape)) return shape;
  if (interrupt::requested()) return interrupted();
  if (infer_normalized(text, keep_examples, shape)) return shape;
  for (const RepairPassEntry& pass : repair_pass_table()) {
    if (interrupt::requested()) return interrupted();
    PassResult repaired = pass.run(text);
    if (interrupt::requested()) return interrupted();
    if (!repaired) return Unexpected(std::move(repaired).error());
    // An unchanged text would fail exactly as the read of the input did.
    const bool read = repaired.value() != text && infer_normalized(repaired.value(), keep_examples, shape);
    recycle_text_buffer(std::move(repaired.value()));
    if (read) return shape;
  }
  if (interrupt::requested()) return interrupted();
  return Unexpected(RepairError::all_attempted_repairs_failed());
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
