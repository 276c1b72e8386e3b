// The interrupt check of a context through the whole pipeline: a check that
// says stop at its n-th run ends the call with Interrupted at whatever stage
// it is in (and under the sanitizers, with nothing leaked or misused), a
// check that never says stop changes no result, and a call made from inside
// a check runs on its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyze.h"
#include "core/context.h"
#include "repeated_text.h"

namespace plomet::testing {
namespace {

using testing::repeated;

std::string distinct_integers(int count) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) text.append(std::to_string(i * 7919)).push_back(',');
  text.back() = ']';
  return text;
}

struct Document {
  const char* what;
  std::string text;
};

// Each reaches the polls of other stages: the reader and inference with
// merging, normalisation, every repair pass, the loose reader and writer,
// and the gathering and rendering of many examples.
std::vector<Document> documents() {
  return {
      {"valid objects", repeated(R"({"id": 1, "tags": ["a", "b"], "more": {"x": null}}, )", 8000, "[", "{}]")},
      {"cut-off objects", repeated(R"({"id": 1, "name": "n", "ok": true}, )", 4000, "[", R"({"id": 2, "na)")},
      {"text no pass repairs", repeated("[1, 2, 3, 4, 5, 6, 7, 8], ", 3000, "[", "}}}x")},
      {"unquoted words", repeated("key: value, other: [a, b], ", 3000, "{", "last: x")},
      {"many examples", distinct_integers(60000)},
  };
}

// Counts its runs and says stop at run stop_at (never when 0).
struct StopAtRun {
  int runs = 0;
  int stop_at = 0;

  static bool check(void* context) {
    auto* self = static_cast<StopAtRun*>(context);
    return ++self->runs == self->stop_at;
  }
};

std::string outcome_text(const Expected<std::string, RepairError>& outcome) {
  if (outcome) return outcome.value();
  std::string text = "error ";
  return text.append(outcome.error().display_text());
}

TEST(InterruptPoll, StopsEveryStageWithInterruptedAndTheNextCallIsWhole) {
  for (const Document& document : documents()) {
    SCOPED_TRACE(document.what);
    const std::string expected = outcome_text(analyze_text(document.text, true));
    int runs = 0;
    {
      StopAtRun counter;
      Context context;
      context.set_interrupt_check(StopAtRun::check, &counter);
      EXPECT_EQ(outcome_text(analyze_text(context, document.text, true)), expected);
      EXPECT_FALSE(context.interrupted());
      runs = counter.runs;
    }
    ASSERT_GE(runs, 8) << "too small to be checked along the way";
    // About a dozen stops spread over the call, first and last included.
    for (int stop_at = 1; stop_at <= runs; stop_at += std::max(1, runs / 12)) {
      SCOPED_TRACE(stop_at);
      StopAtRun stopper{0, stop_at};
      Context context;
      context.set_interrupt_check(StopAtRun::check, &stopper);
      auto outcome = analyze_text(context, document.text, true);
      ASSERT_FALSE(outcome.has_value());
      EXPECT_EQ(outcome.error().kind, RepairError::Kind::Interrupted);
      EXPECT_EQ(stopper.runs, stop_at) << "the check ran again after it said stop";
      EXPECT_TRUE(context.interrupted());
      // The context keeps its spare memory for the next work, which is whole
      // once a new check is installed.
      context.set_interrupt_check(nullptr, nullptr);
      EXPECT_EQ(outcome_text(analyze_text(context, document.text, true)), expected);
    }
  }
}

TEST(InterruptPoll, WithoutACheckNothingStops) {
  Context context;
  for (int i = 0; i < 1000; ++i) ASSERT_FALSE(context.poll(std::size_t{1} << 20));
  EXPECT_FALSE(context.interrupted());
}

// A check that analyses a text itself, as a Python signal handler may.
struct NestedCall {
  std::string text;
  std::vector<std::string> outlines;

  static bool check(void* context) {
    auto* self = static_cast<NestedCall*>(context);
    StopAtRun inner_stopper{0, 1};
    Context inner;
    inner.set_interrupt_check(StopAtRun::check, &inner_stopper);
    self->outlines.push_back(outcome_text(analyze_text(inner, self->text, false)));
    return false;
  }
};

TEST(InterruptPoll, ACallFromInsideACheckRunsOnItsOwn) {
  const std::vector<Document> all = documents();
  const std::string& outer_text = all[2].text;  // every stage of the repair chain
  const std::string expected = outcome_text(analyze_text(outer_text, true));
  const std::string small = R"({"a": [1, 2)";
  const std::string small_outline = "{\n  \"a\": [\n    int\n  ]\n}";

  // The nested calls are too small to reach a check, so their own
  // stop-at-first-run check never runs and they finish.
  NestedCall nested{small, {}};
  {
    Context context;
    context.set_interrupt_check(NestedCall::check, &nested);
    EXPECT_EQ(outcome_text(analyze_text(context, outer_text, true)), expected);
    EXPECT_FALSE(context.interrupted());
  }
  ASSERT_GE(nested.outlines.size(), 8u);
  for (const std::string& outline : nested.outlines) EXPECT_EQ(outline, small_outline);

  // A nested call that is stopped leaves the outer call going.
  NestedCall stopped_inside{all[3].text, {}};
  {
    Context context;
    context.set_interrupt_check(NestedCall::check, &stopped_inside);
    EXPECT_EQ(outcome_text(analyze_text(context, outer_text, true)), expected);
  }
  ASSERT_FALSE(stopped_inside.outlines.empty());
  for (const std::string& outline : stopped_inside.outlines) EXPECT_EQ(outline, "error Interrupted");
}

}  // namespace
}  // namespace plomet::testing
