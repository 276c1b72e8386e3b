#include "repair/repair_passes.h"

#include <array>

namespace plomet {

std::span<const RepairPassEntry> repair_pass_table() {
  // The driver tries the passes in this order.
  static constexpr std::array kPasses{
      RepairPassEntry{"repair_json_missing_closing_quotes", repair_json_missing_closing_quotes},
      RepairPassEntry{"repair_json_accidental_single_quote_instead_of_a_double_quote",
                      repair_json_accidental_single_quote_instead_of_a_double_quote},
      RepairPassEntry{"repair_json_comma_behavior", repair_json_comma_behavior},
      RepairPassEntry{"repair_json_truncated_boolean_behavior", repair_json_truncated_boolean_behavior},
      RepairPassEntry{"repair_json_mismatched_brackets", repair_json_mismatched_brackets},
      RepairPassEntry{"repair_json_missing_commas_in_list", repair_json_missing_commas_in_list},
      RepairPassEntry{"repair_json_control_characters", repair_json_control_characters},
      RepairPassEntry{"repair_json_remove_duplicate_quotes", repair_json_remove_duplicate_quotes},
      RepairPassEntry{"repair_json_close_unexpected_eof", repair_json_close_unexpected_eof},
      RepairPassEntry{"repair_json_add_missing_quotes", repair_json_add_missing_quotes},
      RepairPassEntry{"repair_json_handle_eof_between_lists", repair_json_handle_eof_between_lists},
      RepairPassEntry{"repair_json_fix_mismatched_quotes", repair_json_fix_mismatched_quotes},
      RepairPassEntry{"repair_json_close_unexpected_eof_in_array_tag", repair_json_close_unexpected_eof_in_array_tag},
      RepairPassEntry{"repair_json_close_unexpected_eof_in_array_item", repair_json_close_unexpected_eof_in_array_item},
  };
  return kPasses;
}

}  // namespace plomet
