#include "reader/analyze.h"

#include "reader/interrupt_poll.h"
#include "reader/parse_or_repair.h"
#include "shape/schema.h"

namespace plomet {

Expected<std::string, RepairError> analyze_text(std::string_view text, bool show_examples) {
  ParseResult document = parse_or_repair(text);
  if (!document) return Unexpected(std::move(document).error());
  Schema schema = infer_schema(document->root);
  if (interrupt::requested()) return Unexpected(RepairError::interrupted());
  std::string outline = render_schema(schema, show_examples);
  if (interrupt::requested()) return Unexpected(RepairError::interrupted());
  return outline;
}

}  // namespace plomet
