// The repair passes, in the order the driver tries them. Each is a pure
// function of the caller's text (apart from its diagnostic events) that
// returns a new text or a RepairError.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/expected.h"
#include "core/context.h"
#include "core/repair_error.h"

namespace plomet {

using PassResult = Expected<Text, RepairError>;
using RepairPass = PassResult (*)(Context& context, std::string_view text);

struct RepairPassEntry {
  std::string_view name;
  RepairPass run;
};

PassResult repair_json_missing_closing_quotes(Context& context, std::string_view text);
PassResult repair_json_accidental_single_quote_instead_of_a_double_quote(Context& context, std::string_view text);
PassResult repair_json_comma_behavior(Context& context, std::string_view text);
PassResult repair_json_truncated_boolean_behavior(Context& context, std::string_view text);
PassResult repair_json_mismatched_brackets(Context& context, std::string_view text);
PassResult repair_json_missing_commas_in_list(Context& context, std::string_view text);
PassResult repair_json_control_characters(Context& context, std::string_view text);
PassResult repair_json_remove_duplicate_quotes(Context& context, std::string_view text);
PassResult repair_json_close_unexpected_eof(Context& context, std::string_view text);
PassResult repair_json_add_missing_quotes(Context& context, std::string_view text);
PassResult repair_json_handle_eof_between_lists(Context& context, std::string_view text);
PassResult repair_json_fix_mismatched_quotes(Context& context, std::string_view text);
PassResult repair_json_close_unexpected_eof_in_array_tag(Context& context, std::string_view text);
PassResult repair_json_close_unexpected_eof_in_array_item(Context& context, std::string_view text);

// The passes the driver runs, in order.
std::span<const RepairPassEntry> repair_pass_table();

}  // namespace plomet
