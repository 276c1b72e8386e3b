// Fuzzes every repair pass on its own, each output through normalize_and_read,
// and the JSON5 reader directly (the driver stops at the first pass that
// works, so most passes rarely run there).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "repair/parse_or_repair.h"
#include "read/read_json5.h"
#include "repair/repair_passes.h"
#include "text/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plomet::Context context;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (plomet::scan::find_invalid_utf8(text) != plomet::scan::kValidUtf8) return -1;
  {
    plomet::JsonArena arena;
    (void)plomet::read_json5(context, text, arena);
  }
  for (const plomet::RepairPassEntry& pass : plomet::repair_pass_table()) {
    plomet::PassResult repaired = pass.run(context, text);
    if (repaired) (void)plomet::normalize_and_read(context, repaired.value());
  }
  return 0;
}
