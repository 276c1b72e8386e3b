// The pipeline infers the shape of each candidate text as it reads it, with
// no document tree: the text as given, then its normalised form, then the
// normalised output of each repair pass. The first candidate that reads
// gives the outline. The tree path (read, clean up, infer, render) serves a
// candidate that inference from the text cannot take, and is the reference
// the fast path is checked against.
#include "reader/analyze.h"

#include <optional>

#include "reader/parse_or_repair.h"
#include "reader/read_json5.h"
#include "reader/repair_passes.h"
#include "shape/infer_from_text.h"
#include "shape/schema.h"

namespace plomet {
namespace {

// Renders the outline of a candidate text into outline; false when the text
// does not read.
bool outline_candidate(std::string_view text, bool show_examples, std::string& outline) {
  JsonArena strings;
  Schema schema;
  switch (infer_schema_from_text(text, show_examples, strings, schema)) {
    case TextInference::Inferred:
      render_schema(outline, schema, show_examples);
      return true;
    case TextInference::DoesNotRead:
      return false;
    case TextInference::NeedsTree:
      break;
  }
  JsonDocument doc;
  auto value = try_read_json5(text, doc.arena);
  if (!value) return false;
  doc.root = *value;
  repair_json_remove_control_characters_in_value(doc.root, doc.arena);
  render_schema(outline, infer_schema(doc.root), show_examples);
  return true;
}

// Normalises a text and renders the outline of the result.
bool outline_normalized(std::string_view text, bool show_examples, std::string& outline) {
  std::optional<std::string> fixed = normalize_json_text(text);
  if (!fixed) return false;
  const bool read = outline_candidate(*fixed, show_examples, outline);
  recycle_text_buffer(std::move(*fixed));
  return read;
}

}  // namespace

Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples) {
  std::string outline;
  if (text.empty()) {
    render_schema(outline, Schema(ObjectSchema{}), show_examples);
    return outline;
  }
  if (outline_candidate(text, show_examples, outline)) return outline;
  if (outline_normalized(text, show_examples, outline)) return outline;
  for (const RepairPassEntry& pass : repair_pass_table()) {
    PassResult repaired = pass.run(text);
    if (!repaired) return Unexpected(std::move(repaired).error());
    // An unchanged text would fail exactly as the read of the input did.
    const bool read = repaired.value() != text && outline_normalized(repaired.value(), show_examples, outline);
    recycle_text_buffer(std::move(repaired.value()));
    if (read) return outline;
  }
  return Unexpected(RepairError::all_attempted_repairs_failed());
}

Expected<std::string, RepairError> analyze_text_with_tree(std::string_view text, bool show_examples) {
  ParseResult document = parse_or_repair(text);
  if (!document) return Unexpected(std::move(document).error());
  return render_schema(infer_schema(document->root), show_examples);
}

}  // namespace plomet
