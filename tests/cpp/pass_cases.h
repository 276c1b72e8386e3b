// Table-driven checks of one repair pass: for each case, the text the pass
// returns and the events it emits.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capturing_sink.h"
#include "repair/repair_passes.h"

namespace plomet::testing {

struct PassCase {
  std::string input;
  std::string expected;
  // The message of the pass's one event; nullopt when the pass emits none.
  std::optional<std::string> message;
};

// Runs pass on every case with a capturing sink installed and checks the
// output and that the pass emitted exactly the expected event, with target
// "json_repair::<pass_name>".
inline void expect_pass_cases(RepairPass pass, std::string_view pass_name, std::span<const PassCase> cases) {
  const std::string target = "json_repair::" + std::string(pass_name);
  for (const PassCase& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    Context context;
    CapturingSink sink(context);
    PassResult result = pass(context, c.input);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(std::string_view(result.value()), c.expected);
    if (c.message) {
      ASSERT_EQ(sink.events().size(), 1u);
      EXPECT_EQ(sink.events()[0], (CapturedEvent{target, *c.message}));
    } else {
      EXPECT_TRUE(sink.events().empty()) << sink.events()[0].target << ": " << sink.events()[0].message;
    }
  }
}

}  // namespace plomet::testing
