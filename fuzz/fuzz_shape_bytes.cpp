// The byte form's reader on any bytes: a summary or an error, never a
// crash. A summary it accepts renders, merges, and writes bytes that read
// back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "output/json_schema.h"
#include "output/outline.h"
#include "shape/shape_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plomet::Context context;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto summary = plomet::ShapeSummary::from_bytes(bytes);
  if (!summary) return 0;
  (void)plomet::render_documents_outline(context, *summary, true);
  (void)plomet::render_json_schema(*summary, true);
  const std::string written = summary->to_bytes();
  auto again = plomet::ShapeSummary::from_bytes(written);
  if (!again || again->to_bytes() != written) std::abort();
  again->merge(*summary);
  again->merge(*again);
  (void)again->add_text(context, R"({"a": [1, {"b": 2.5}], "c": "d"})");
  (void)plomet::render_documents_outline(context, *again, true);
  return 0;
}
