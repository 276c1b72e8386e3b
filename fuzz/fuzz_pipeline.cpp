// Fuzzes the whole core pipeline: read or repair, infer, render both ways.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reader/parse_or_repair.h"
#include "reader/utf8_validation.h"
#include "shape/schema.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The module only ever sees valid UTF-8.
  if (plomet::scan::find_invalid_utf8(text) != plomet::scan::kValidUtf8) return -1;
  plomet::ParseResult document = plomet::parse_or_repair(text);
  if (!document) {
    (void)document.error().display_text();
    return 0;
  }
  plomet::Schema schema = plomet::infer_schema(document->root);
  (void)plomet::render_schema(schema, false);
  (void)plomet::render_schema(schema, true);
  return 0;
}
