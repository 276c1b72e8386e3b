// The repair passes, in the order the driver tries them. Each is a pure
// function of the caller's text (apart from its diagnostic events) that
// returns a new text or a RepairError.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/expected.h"
#include "core/repair_error.h"

namespace plomet {

using PassResult = Expected<std::string, RepairError>;
using RepairPass = PassResult (*)(std::string_view text);

struct RepairPassEntry {
  std::string_view name;
  RepairPass run;
};

PassResult repair_json_missing_closing_quotes(std::string_view text);
PassResult repair_json_accidental_single_quote_instead_of_a_double_quote(std::string_view text);
PassResult repair_json_comma_behavior(std::string_view text);
PassResult repair_json_truncated_boolean_behavior(std::string_view text);
PassResult repair_json_mismatched_brackets(std::string_view text);
PassResult repair_json_missing_commas_in_list(std::string_view text);
PassResult repair_json_control_characters(std::string_view text);
PassResult repair_json_remove_duplicate_quotes(std::string_view text);
PassResult repair_json_close_unexpected_eof(std::string_view text);
PassResult repair_json_add_missing_quotes(std::string_view text);
PassResult repair_json_handle_eof_between_lists(std::string_view text);
PassResult repair_json_fix_mismatched_quotes(std::string_view text);
PassResult repair_json_close_unexpected_eof_in_array_tag(std::string_view text);
PassResult repair_json_close_unexpected_eof_in_array_item(std::string_view text);

// The passes the driver runs, in order.
std::span<const RepairPassEntry> repair_pass_table();

}  // namespace plomet
