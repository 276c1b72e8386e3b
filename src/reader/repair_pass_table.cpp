#include "reader/repair_passes.h"

#include <array>

namespace plomet {

std::span<const RepairPassEntry> repair_pass_table() {
  // The driver tries the passes in this order.
  static constexpr std::array kPasses{
      RepairPassEntry{"repair_json_add_missing_quotes", repair_json_add_missing_quotes},
      RepairPassEntry{"repair_json_handle_eof_between_lists", repair_json_handle_eof_between_lists},
      RepairPassEntry{"repair_json_fix_mismatched_quotes", repair_json_fix_mismatched_quotes},
      RepairPassEntry{"repair_json_close_unexpected_eof_in_array_tag", repair_json_close_unexpected_eof_in_array_tag},
      RepairPassEntry{"repair_json_close_unexpected_eof_in_array_item", repair_json_close_unexpected_eof_in_array_item},
  };
  return kPasses;
}

}  // namespace plomet
