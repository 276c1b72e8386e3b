// The description of each emitting place, and the sink's maximum level.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "capturing_sink.h"
#include "core/diagnostics.h"
#include "repair/parse_or_repair.h"

namespace plomet::testing {
namespace {

using diagnostics::Level;

// Texts that between them make normalisation, string clean-up and most
// repair passes speak.
const std::vector<std::string> kBrokenTexts = {
    R"({"a": 1, "b": [1, 2,)", "{'a': 'b\n}", R"({"ok": tr)",   R"([1, 2})",
    R"({"a": "x""})",          R"({"a": "b\u0001"})", "[\"a\" \"b\"]", R"({a: 1 b: 2})",
    R"([1 2 3)",               R"({"a": [1, 2, {"b": )",
};

// Every place that speaks describes itself fully: severity Info, a target,
// the field "message", and a source location inside the project's source.
TEST(Diagnostics, EverySiteCarriesLevelTargetFieldAndLocation) {
  Context context;
  std::set<std::string> targets;
  for (const std::string& text : kBrokenTexts) {
    SCOPED_TRACE("input: " + text);
    CapturingSink sink(context);
    (void)parse_or_repair(context, text);
    ASSERT_EQ(sink.sites().size(), sink.events().size());
    for (const diagnostics::EventSite* site : sink.sites()) {
      EXPECT_EQ(site->level, Level::Info);
      EXPECT_FALSE(site->target.empty());
      EXPECT_EQ(site->field, "message");
      EXPECT_NE(site->file.find("src/"), std::string_view::npos) << site->file;
      EXPECT_GT(site->line, 0u);
      targets.insert(std::string(site->target));
    }
  }
  // The texts above reach several distinct places; a sink hearing nothing
  // would pass the loop vacuously.
  EXPECT_GE(targets.size(), 4u);
  EXPECT_TRUE(targets.contains("normalisation"));
}

// Two events from different places in one file differ in their line; the
// same place gives the same description each time it speaks.
TEST(Diagnostics, TheSiteIsFixedPerPlace) {
  Context context;
  CapturingSink sink(context, Level::Trace);
  for (int i = 0; i < 2; ++i) PLOMET_EVENT(context, "test::first", "one");
  PLOMET_EVENT(context, "test::second", "two");
  ASSERT_EQ(sink.sites().size(), 3u);
  EXPECT_EQ(sink.sites()[0], sink.sites()[1]);
  EXPECT_NE(sink.sites()[0]->line, sink.sites()[2]->line);
  EXPECT_TRUE(sink.sites()[0]->file.ends_with("diagnostics_test.cpp"));
}

// A sink hears every level up to its maximum, and nothing without a sink.
TEST(Diagnostics, ASinkAdmitsUpToItsMaximumLevel) {
  Context context;
  struct Case {
    Level max_level;
    std::vector<std::string> heard;
  };
  const Case cases[] = {
      {Level::Off, {}},
      {Level::Error, {"error"}},
      {Level::Warn, {"error", "warn"}},
      {Level::Info, {"error", "warn", "info"}},
      {Level::Debug, {"error", "warn", "info", "debug"}},
      {Level::Trace, {"error", "warn", "info", "debug", "trace"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.max_level));
    CapturingSink sink(context, c.max_level);
    PLOMET_EVENT_AT(context, Level::Trace, "test::levels", "trace");
    PLOMET_EVENT_AT(context, Level::Debug, "test::levels", "debug");
    PLOMET_EVENT_AT(context, Level::Info, "test::levels", "info");
    PLOMET_EVENT_AT(context, Level::Warn, "test::levels", "warn");
    PLOMET_EVENT_AT(context, Level::Error, "test::levels", "error");
    std::vector<std::string> heard = sink.messages_for("test::levels");
    std::sort(heard.begin(), heard.end());
    std::vector<std::string> expected = c.heard;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(heard, expected);
  }
  int built = 0;
  PLOMET_EVENT(context, "test::levels", (++built, "no sink"));
  EXPECT_EQ(built, 0);
}

// A sink below Info hears none of the reader's events, and their messages
// are never built.
TEST(Diagnostics, TheReaderIsSilentBelowInfo) {
  Context context;
  CapturingSink sink(context, Level::Warn);
  for (const std::string& text : kBrokenTexts) (void)parse_or_repair(context, text);
  EXPECT_TRUE(sink.events().empty());
}

}  // namespace
}  // namespace plomet::testing
