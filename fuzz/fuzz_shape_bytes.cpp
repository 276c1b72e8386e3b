// The byte form's reader on any bytes: a summary or an error, never a
// crash. A summary it accepts renders, merges, and writes bytes that read
// back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shape/shape_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto summary = plomet::ShapeSummary::from_bytes(bytes);
  if (!summary) return 0;
  (void)summary->outline(true);
  (void)summary->json_schema(true);
  const std::string written = summary->to_bytes();
  auto again = plomet::ShapeSummary::from_bytes(written);
  if (!again || again->to_bytes() != written) std::abort();
  again->merge(*summary);
  again->merge(*again);
  (void)again->add_text(R"({"a": [1, {"b": 2.5}], "c": "d"})");
  (void)again->outline(true);
  return 0;
}
