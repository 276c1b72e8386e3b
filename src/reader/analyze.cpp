#include "reader/analyze.h"

#include "reader/parse_or_repair.h"
#include "shape/schema.h"

namespace plomet {

Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples) {
  ParseResult document = parse_or_repair(text);
  if (!document) return Unexpected(std::move(document).error());
  Schema schema = infer_schema(document->root);
  return render_schema(schema, show_examples);
}

}  // namespace plomet
