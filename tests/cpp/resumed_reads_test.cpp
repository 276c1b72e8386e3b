// Reads that go on from where a read of another text stood, against whole
// reads, on the places where going on could go wrong: a change right at a
// checkpoint or just before it, inside a string, a comment or an escape, a
// number or word that the change extends, a conversion failure after the
// point, deep nesting, and a repair that changes an early byte. For each
// pair of texts: every checkpoint of the first text's read within their
// shared prefix tells whether the second reads as a whole read does; the
// first text's fold, stopped where its read failed, goes on in the second
// exactly when the case says, to the outcome and outline of a fold of the
// second alone; the normalisation of the second, started from the first's,
// is its whole normalisation; and the reading order gives the same outline
// or error with its reads shared as with every candidate read whole.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "analyze.h"
#include "capturing_sink.h"
#include "output/outline.h"
#include "read/json5_check.h"
#include "read/json5_event_reader.h"
#include "repair/normalisation.h"
#include "read/ignored_events.h"
#include "shape/summary_builder.h"
#include "text/simd_scan.h"
#include "text/utf8.h"

namespace plomet {
namespace {

bool valid_utf8(std::string_view text) { return scan::find_invalid_utf8(text) == scan::kValidUtf8; }

bool reads_whole(Context& context, std::string_view text) {
  IgnoredEvents ignored;
  Json5EventReader reader(context, text, ignored);
  return reader.read() == decltype(reader)::Outcome::Read;
}

std::string outline_of(Context& context, const ShapeSummary& summary) {
  std::string out;
  render_only_document(context, out, summary, true);
  return out;
}

struct Case {
  std::string_view name;
  std::string text;       // read first; it does not read
  std::string candidate;  // a text that agrees with it on a prefix
  bool reads;             // whether the candidate reads as JSON5
  bool goes_on;           // whether the text's fold may go on in the candidate
};

std::string deep(std::size_t levels, std::string_view inside, bool closed) {
  return std::string(levels, '[') + std::string(inside) + (closed ? std::string(levels, ']') : "");
}

const Case kCases[] = {
    {"change right at a checkpoint", "[1,2,x]", "[1,2,3]", true, true},
    {"change at the comma before a checkpoint", "[1,2,3", "[1,2 3]", false, false},
    {"closers appended", "[1, 2, [3, 4", "[1, 2, [3, 4]]", true, true},
    {"trailing comma dropped", "[1, 2,", "[1, 2]", true, true},
    {"string closed at the end", R"({"a": "xy, z", "b": "c)", R"({"a": "xy, z", "b": "c"})", true, true},
    {"change inside a string", R"({"a": "xy, z", "b": 1)", R"({"a": "xy", z", "b": 1})", false, false},
    {"change inside a comment", "[1, /* a, b */ 2", "[1, /* a, b * 2]", false, false},
    {"comment closed after the point", "[1, 2 /* a, b", "[1, 2 /* a, b */]", true, true},
    {"comment left open before the change", "[1, /* x", "[1, /* x */ 2]", true, true},
    {"line comment at the end", "[1, 2 // three", "[1, 2 // three\n]", true, true},
    {"escapes before the point", R"(["a\u00e9\n", "b\)", R"(["a\u00e9\n", "b"])", true, true},
    {"lone surrogate after the point", R"(["x", "\ud83d)", R"(["x", "\ud83d\ude00"])", true, true},
    {"lone surrogate before the point", R"(["\ud83d", "b)", R"(["\ud83d", "b"])", false, true},
    {"number extended by the change", "[1.5, 2", "[1.5, 23]", true, false},
    {"number ended alike", "[1.5, 2", "[1.5, 2]", true, true},
    {"exponent completed", "[1, 2e", "[1, 2e5]", true, false},
    {"exponent left out", "[1, 2e", "[1, 2]", true, true},
    {"hexadecimal number completed", "[0x1F, 0x", "[0x1F, 0x2]", true, false},
    {"word completed", "[true, nul", "[true, null]", true, true},
    {"key waiting for its value", R"({"a": 1, "b": )", R"({"a": 1, "b": 2})", true, true},
    {"key cut", R"({"a": 1, "bc)", R"({"a": 1, "bc": 2})", true, true},
    {"unquoted key cut", "{a: 1, bc", "{a: 1, bc: [2]}", true, true},
    {"candidate shorter than the point", "[1, 2, 3", "[1, 2", false, false},
    {"early byte changed", "{'a': 1, \"b\": [1, 2", "{\"a\": 1, \"b\": [1, 2]}", true, false},
    {"deep nesting", deep(1000, "1", false), deep(1000, "1", true), true, true},
    {"deep nesting, closed one short", deep(1000, "1", false), deep(1000, "1", false) + std::string(999, ']'), false,
     true},
    {"non-ASCII text", "[\"日本\", \"語", "[\"日本\", \"語\"]", true, true},
};

TEST(ResumedReads, ChecksFromEveryCheckpointAgreeWithWholeReads) {
  for (const Case& c : kCases) {
    Context context;
    ReadCheckpoints checkpoints(1);
    IgnoredEvents ignored;
    Json5EventReader reader(context, c.text, ignored);
    reader.note_checkpoints_in(&checkpoints);
    ASSERT_NE(reader.read(), decltype(reader)::Outcome::Read) << c.name;
    ASSERT_EQ(reads_whole(context, c.candidate), c.reads) << c.name;
    const std::size_t common = scan::common_prefix_length(c.text, c.candidate);
    std::size_t tried = 0;
    for (const ReadCheckpoints::Checkpoint& checkpoint : checkpoints.all()) {
      if (checkpoint.position > common) break;
      ++tried;
      EXPECT_EQ(json5_reads_from(context, c.candidate, valid_utf8(c.candidate), checkpoints, checkpoint), c.reads)
          << c.name << ", from the checkpoint at " << checkpoint.position;
    }
    EXPECT_GT(tried, 0U) << c.name;
  }
}

TEST(ResumedReads, AFoldGoesOnExactlyWhereItMayAndEndsAsAFoldAlone) {
  for (const Case& c : kCases) {
    Context context;
    ShapeSummary summary(true);
    SummaryBuilder::ResumableOutline fold(context, summary);
    ASSERT_EQ(fold.fold(c.text, valid_utf8(c.text), nullptr), FoldOutcome::DoesNotRead) << c.name;
    const std::size_t common = scan::common_prefix_length(c.text, c.candidate);
    ASSERT_EQ(fold.may_go_on_in(c.candidate, common), c.goes_on) << c.name;
    if (!c.goes_on) continue;
    ShapeSummary alone(true);
    const FoldOutcome alone_outcome = SummaryBuilder::fold_outline(context, alone, c.candidate);
    ASSERT_EQ(fold.go_on_in(c.candidate, valid_utf8(c.candidate)), alone_outcome) << c.name;
    EXPECT_EQ(alone_outcome == FoldOutcome::Folded, c.reads) << c.name;
    if (alone_outcome == FoldOutcome::Folded) {
      EXPECT_EQ(outline_of(context, summary), outline_of(context, alone)) << c.name;
    }
  }
}

// A fold that failed again in a candidate without taking any of its events
// stands in its text again and goes on in the next candidate.
TEST(ResumedReads, AFoldThatTookNothingOfACandidateGoesOnInTheNext) {
  Context context;
  ShapeSummary summary(true);
  SummaryBuilder::ResumableOutline fold(context, summary);
  const std::string text = "[1, 2, tr";
  ASSERT_EQ(fold.fold(text, true, nullptr), FoldOutcome::DoesNotRead);
  {
    const std::string still_cut = "[1, 2, tr]";
    ASSERT_TRUE(fold.may_go_on_in(still_cut, scan::common_prefix_length(text, still_cut)));
    EXPECT_EQ(fold.go_on_in(still_cut, true), FoldOutcome::DoesNotRead);
  }
  const std::string completed = "[1, 2, true]";
  ASSERT_TRUE(fold.may_go_on_in(completed, scan::common_prefix_length(text, completed)));
  ASSERT_EQ(fold.go_on_in(completed, true), FoldOutcome::Folded);
  ShapeSummary alone(true);
  ASSERT_EQ(SummaryBuilder::fold_outline(context, alone, completed), FoldOutcome::Folded);
  EXPECT_EQ(outline_of(context, summary), outline_of(context, alone));

  // One that took events of a candidate does not go on in another.
  ShapeSummary second(true);
  SummaryBuilder::ResumableOutline taken(context, second);
  ASSERT_EQ(taken.fold("[1, 2", true, nullptr), FoldOutcome::DoesNotRead);
  ASSERT_EQ(taken.go_on_in("[1, 2, 3, x]", true), FoldOutcome::DoesNotRead);
  EXPECT_FALSE(taken.may_go_on_in("[1, 2, 3, 4]", 9));
}

TEST(ResumedReads, NormalisationFromTheTextsAgreesWithAWholeOne) {
  for (const Case& c : kCases) {
    Context context;
    NormalisationLog log(1);
    const std::optional<Text> normalised = normalize_json_text(context, c.text, log);
    EXPECT_EQ(normalised, normalize_json_text(context, c.text)) << c.name;
    const std::size_t common = scan::common_prefix_length(c.text, c.candidate);
    EXPECT_EQ(normalize_json_text(context, c.candidate, common, log), normalize_json_text(context, c.candidate))
        << c.name;
  }
  // A closer that does not match within the shared prefix refuses the other
  // text too; one after it does not.
  Context context;
  NormalisationLog log(1);
  EXPECT_FALSE(normalize_json_text(context, "[{1, 2]}, 3", log));
  EXPECT_FALSE(normalize_json_text(context, "[{1, 2]} ", 9, log));
  EXPECT_EQ(normalize_json_text(context, "[{1, 2}", 5, log), Text("[{1, 2}]"));
}

TEST(ResumedReads, TheReadingOrderGivesWhatWholeReadsGive) {
  for (const Case& c : kCases) {
    for (const std::string* text : {&c.text, &c.candidate}) {
      for (bool examples : {false, true}) {
        Context shared;
        auto with_shared_reads = analyze_text(shared, *text, examples);
        Context listened;
        testing::CapturingSink sink(listened);
        auto read_whole = analyze_text(listened, *text, examples);
        ASSERT_EQ(with_shared_reads.has_value(), read_whole.has_value()) << c.name;
        if (with_shared_reads) {
          EXPECT_EQ(*with_shared_reads, *read_whole) << c.name;
        } else {
          EXPECT_EQ(with_shared_reads.error().display_text(), read_whole.error().display_text()) << c.name;
        }
      }
    }
  }
}

}  // namespace
}  // namespace plomet
