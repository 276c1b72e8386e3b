// The pipeline infers the shape of each candidate text as it reads it, with
// no document tree: the text as given, then its normalised form, then the
// normalised output of each repair pass. The first candidate that reads
// gives the shape. When the text does not read, its fold stays where the
// read stopped and goes on in a candidate that agrees with the text up to
// there; other candidates are checked from the text's checkpoints before
// they are folded whole (repair/shared_reads.h). A candidate that inference
// from the text cannot take is
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

// Folds the tree of text into a new summary for shape; false when the text
// does not read.
bool fold_tree_of(Context& context, std::string_view text, bool keep_examples, TextShape& shape) {
  JsonDocument document(context);
  if (!read_document(context, text, document)) return false;
  shape.summary = std::make_unique<ShapeSummary>(keep_examples);
  shape.summary->add_value(context, document.root);
  return true;
}

// Folds the document of a candidate text into shape; false when the text
// does not read.
bool fold_candidate(Context& context, std::string_view text, bool keep_examples, TextShape& shape) {
  auto summary = std::make_unique<ShapeSummary>(keep_examples);
  switch (SummaryBuilder::fold_outline(context, *summary, text)) {
    case FoldOutcome::Folded:
      break;
    case FoldOutcome::DoesNotRead:
      return false;
    case FoldOutcome::NeedsTree:
      // A repeated key whose first value was folded already: the tree holds
      // the last value in the first place.
      return fold_tree_of(context, text, keep_examples, shape);
  }
  shape.summary = std::move(summary);
  return true;
}

// Reads the candidates of the reading order into a shape. The text's own
// fold stays where it stopped when the text does not read, and goes on in a
// repair that agrees with the text up to there (ReadsOnInRepairs).
class CandidateFolds {
 public:
  CandidateFolds(Context& context, bool keep_examples, TextShape& shape)
      : context_(context), keep_examples_(keep_examples), shape_(shape) {}

  bool operator()(std::string_view candidate, Text* owned) {
    if (!fold_candidate(context_, candidate, keep_examples_, shape_)) return false;
    keep(owned);
    return true;
  }

  bool read_first(std::string_view text, bool valid_utf8, ReadCheckpoints* checkpoints) {
    summary_ = std::make_unique<ShapeSummary>(keep_examples_);
    fold_ = std::make_unique<SummaryBuilder::ResumableOutline>(context_, *summary_);
    return outcome(fold_->fold(text, valid_utf8, checkpoints), text);
  }

  bool may_go_on_in(std::string_view candidate, std::size_t common_prefix) const {
    return fold_ != nullptr && fold_->may_go_on_in(candidate, common_prefix);
  }

  bool go_on_in(std::string_view candidate, bool valid_utf8, Text* owned) {
    if (!outcome(fold_->go_on_in(candidate, valid_utf8), candidate)) return false;
    keep(owned);
    return true;
  }

 private:
  bool outcome(FoldOutcome outcome, std::string_view text) {
    switch (outcome) {
      case FoldOutcome::Folded:
        fold_.reset();
        shape_.summary = std::move(summary_);
        return true;
      case FoldOutcome::DoesNotRead:
        return false;
      case FoldOutcome::NeedsTree:
        break;
    }
    fold_.reset();
    return fold_tree_of(context_, text, keep_examples_, shape_);
  }

  // The shape's views may point into a normalised text: it keeps it.
  void keep(Text* owned) {
    if (owned != nullptr) shape_.repaired_text = std::make_unique<Text>(std::move(*owned));
  }

  Context& context_;
  bool keep_examples_;
  TextShape& shape_;
  std::unique_ptr<ShapeSummary> summary_;
  std::unique_ptr<SummaryBuilder::ResumableOutline> fold_;
};

// The fold of text's one document, read or repaired; an empty text is an
// empty object.
Expected<TextShape, RepairError> fold_text(Context& context, std::string_view text, bool keep_examples) {
  TextShape shape;
  if (text.empty()) {
    fold_candidate(context, "{}", keep_examples, shape);
    return shape;
  }
  CandidateFolds folds(context, keep_examples, shape);
  if (std::optional<RepairError> error = read_or_repair(context, text, folds, &shape.attempt)) {
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
