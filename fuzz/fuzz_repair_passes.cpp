// Fuzzes every repair pass on its own, each output through normalize_and_read,
// and the JSON5 reader directly (the driver stops at the first pass that
// works, so most passes rarely run there). Normalisation, of any bytes and
// of each pass's output, is checked against the token-by-token reference.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "normalisation_reference.h"
#include "repair/parse_or_repair.h"
#include "read/read_json5.h"
#include "repair/repair_passes.h"
#include "text/utf8.h"

namespace {

std::string shown(const std::optional<plomet::Text>& text) { return text ? std::string(*text) : "<refused>"; }
std::string shown(const std::optional<std::string>& text) { return text ? *text : "<refused>"; }

void expect_normalised_as_reference(plomet::Context& context, std::string_view text) {
  const std::string fast = shown(plomet::normalize_json_text(context, text));
  const std::string reference = shown(plomet::testing::normalize_json_text_reference(text));
  if (fast == reference) return;
  std::fprintf(stderr, "normalisation differs from the reference\ntext:      %.*s\nfast:      %s\nreference: %s\n",
               static_cast<int>(text.size()), text.data(), fast.c_str(), reference.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plomet::Context context;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  expect_normalised_as_reference(context, text);
  if (plomet::scan::find_invalid_utf8(text) != plomet::scan::kValidUtf8) return -1;
  {
    plomet::JsonArena arena;
    (void)plomet::read_json5(context, text, arena);
  }
  for (const plomet::RepairPassEntry& pass : plomet::repair_pass_table()) {
    plomet::PassResult repaired = pass.run(context, text);
    if (!repaired) continue;
    expect_normalised_as_reference(context, repaired.value());
    (void)plomet::normalize_and_read(context, repaired.value());
  }
  return 0;
}
