// The parse-or-repair driver: normalisation before the passes, the order of
// the passes, that each pass sees the caller's text, and which error a
// failed chain reports. The events the passes emit show which passes ran.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capturing_sink.h"
#include "json_value_text.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_passes.h"

namespace plomet::testing {
namespace {

const std::string kMissingClosingQuotes = "json_repair::repair_json_missing_closing_quotes";
const std::string kSingleQuote = "json_repair::repair_json_accidental_single_quote_instead_of_a_double_quote";
const std::string kCommaBehavior = "json_repair::repair_json_comma_behavior";
const std::string kTruncatedBoolean = "json_repair::repair_json_truncated_boolean_behavior";
const std::string kMismatchedBrackets = "json_repair::repair_json_mismatched_brackets";
const std::string kMissingCommas = "json_repair::repair_json_missing_commas_in_list";
const std::string kDuplicateQuotes = "json_repair::repair_json_remove_duplicate_quotes";
const std::string kValueCleanUp = "json_repair::repair_json_remove_control_characters_in_value";

struct ChainCase {
  std::string input;
  std::string document;
  std::vector<std::string> event_targets;  // in the order emitted
};

void expect_chain_cases(std::span<const ChainCase> cases) {
  Context context;
  for (const ChainCase& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    CapturingSink sink(context);
    ParseResult result = parse_or_repair(context, c.input);
    ASSERT_TRUE(result.has_value()) << result.error().display_text();
    EXPECT_EQ(value_text(result->root), c.document);
    EXPECT_EQ(sink.pass_targets(), c.event_targets);
  }
}

// The document a single pass followed by normalisation gives, or "" when
// that does not read.
std::string repaired_by(RepairPass pass, std::string_view text) {
  Context context;
  PassResult repaired = pass(context, text);
  if (!repaired) return "";
  ParseResult read = normalize_and_read(context, repaired.value());
  return read ? value_text(read->root) : "";
}

TEST(ParseOrRepair, NormalisationMendsBasicDamageBeforeAnyPass) {
  const ChainCase cases[] = {
      {"", "{}", {}},
      {R"({"a": 1, "b": [1, 2,)", R"({"a":1,"b":[1,2]})", {}},
      {R"(["x" 1])", R"(["x",1])", {}},
      {"{\"a\": \"x\n}", R"({"a":"x"})", {}},
      {"{'a': 'b', \"c\": [true", R"({"a":"b","c":[true]})", {}},
      // A single quote inside a string closes it.
      {R"(["a', "b"])", R"(["a","b"])", {}},
      // Trailing-comma removal does not know strings: the comma inside the
      // string before `]` goes too.
      {R"(["a,])", R"(["a]"])", {}},
  };
  expect_chain_cases(cases);
}

TEST(ParseOrRepair, CleansControlCharactersFromStringValuesButNotKeys) {
  const ChainCase cases[] = {
      // Read on the first try: clean-up events only, string first, then the
      // object around it.
      {R"({"a": "tab\there", "k\tk": 1})", R"({"a":"tabhere","k\u0009k":1})", {kValueCleanUp, kValueCleanUp}},
      // The line feed stays; the string, its array and the outer array each
      // report their change, innermost first.
      {R"([["a\rb"], "line\nbreak"])", R"([["ab"],"line\u000abreak"])", {kValueCleanUp, kValueCleanUp, kValueCleanUp}},
      // A repaired document is cleaned as well.
      {"[\"a\tb\" \"c\"]", R"(["ab","c"])", {kCommaBehavior, kValueCleanUp, kValueCleanUp}},
      // Raw and escaped control characters deep inside, beside clean values:
      // one event for the string and one for each container around it.
      {"[{\"ok\": \"fine\"}, [\"deep\", [\"x\u0001\", \"raw\x02\"]]]", R"([{"ok":"fine"},["deep",["x","raw"]]])",
       {kValueCleanUp, kValueCleanUp, kValueCleanUp, kValueCleanUp, kValueCleanUp}},
      // A repeated key keeps its last value: the dropped one is not cleaned.
      {R"({"a": "x\ty", "a": "clean"})", R"({"a":"clean"})", {}},
  };
  expect_chain_cases(cases);
}

TEST(ParseOrRepair, TheFirstPassWhoseOutputReadsWins) {
  const ChainCase cases[] = {
      // Normalisation refuses the closer that does not match; the first pass
      // replaces it.
      {R"({"a": 1])", R"({"a":1})", {kMissingClosingQuotes}},
      {"[1, 2}", "[1,2]", {kMissingClosingQuotes}},
      // Normalisation puts no comma between two digits.
      {"[1 2]", "[1,2]", {kMissingCommas}},
      {R"({"ok": tr)", R"({"ok":true})", {kMissingClosingQuotes, kTruncatedBoolean}},
      // Every pass that changed the text and did not give a readable one
      // emitted its event before the duplicate-quote pass won; passes that
      // changed nothing emitted none.
      {R"({"a": "x""})",
       R"({"a":"x"})",
       {kMissingClosingQuotes, kCommaBehavior, kTruncatedBoolean, kMismatchedBrackets, kMissingCommas,
        kDuplicateQuotes}},
  };
  expect_chain_cases(cases);
  // Later passes would have repaired these too, but never ran.
  EXPECT_EQ(repaired_by(repair_json_mismatched_brackets, "[1, 2}"), "[1,2]");
  EXPECT_EQ(repaired_by(repair_json_mismatched_brackets, R"({"a": 1])"), R"({"a":1})");
  EXPECT_EQ(repaired_by(repair_json_close_unexpected_eof, R"({"ok": true)"), R"({"ok":true})");
}

// Normalisation says what it changed in one event, and the sink hears which
// attempt read: the last one begun.
TEST(ParseOrRepair, NormalisationReportsItsEditsAndTheAttemptThatRead) {
  Context context;
  using Stage = diagnostics::ReadAttempt::Stage;
  struct Case {
    std::string input;
    std::vector<std::string> normalisation;  // the events of the attempt that read
    Stage read_by;
    std::string_view pass;
  };
  const Case cases[] = {
      {R"({"a": [1, 2]})", {}, Stage::AsRead, ""},
      {R"({"a": 1, "b": [1, 2,)", {"dropped 1 trailing comma, closed 2 brackets with \"]}\""}, Stage::Normalised, ""},
      {R"(["x" 1, ["y"] 2])", {"inserted 2 commas before a number"}, Stage::Normalised, ""},
      {"{'a': 'b\n}", {"wrote 3 single quotes as double, ended 1 string at a line break"}, Stage::Normalised, ""},
      {R"(["a", "b)", {"closed the string left open at the end, closed 1 bracket with \"]\""}, Stage::Normalised, ""},
      {R"({"ok": tr)", {"closed 1 bracket with \"}\""}, Stage::Repaired, "repair_json_truncated_boolean_behavior"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    CapturingSink sink(context);
    ASSERT_TRUE(parse_or_repair(context, c.input).has_value());
    ASSERT_FALSE(sink.attempts().empty());
    EXPECT_EQ(sink.attempts().back().stage, c.read_by);
    EXPECT_EQ(sink.attempts().back().pass, c.pass);
    const std::vector<std::string> said = sink.messages_for("normalisation");
    // Earlier attempts normalise too: the last event is the reading one's.
    if (c.normalisation.empty()) {
      EXPECT_TRUE(said.empty());
    } else {
      ASSERT_FALSE(said.empty());
      EXPECT_EQ(said.back(), c.normalisation.front());
    }
  }
}

TEST(ParseOrRepair, EveryPassGetsTheCallersText) {
  Context context;
  // The first pass ends the string at the comma, which leaves `" "` for the
  // comma pass to misread; given the caller's text, the comma pass removes
  // the comma and inserts one.
  const std::string input = R"({"city": "Paris," "country": "France"})";
  {
    CapturingSink sink(context);
    ParseResult result = parse_or_repair(context, input);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(value_text(result->root), R"({"city":"Paris","country":"France"})");
    EXPECT_EQ(sink.pass_targets(), (std::vector<std::string>{kMissingClosingQuotes, kCommaBehavior}));
    EXPECT_EQ(sink.messages_for(kCommaBehavior),
              std::vector<std::string>{"Repaired JSON by making the following changes: Removed trailing comma "
                                       "inside a string; Inserted comma between adjacent strings"});
  }
  PassResult first_output = repair_json_missing_closing_quotes(context, input);
  ASSERT_TRUE(first_output.has_value());
  EXPECT_EQ(repaired_by(repair_json_comma_behavior, first_output.value()), "");

  // The comma pass inserts two of the three missing commas and its output
  // does not read; the missing-commas pass counts all three in the caller's
  // text, not the one still missing after the comma pass.
  const std::string lines = "{\n  \"user\": \"ada\"\n  \"roles\": [\"admin\" \"dev\"]\n  \"age\": 36\n}";
  CapturingSink sink(context);
  ParseResult result = parse_or_repair(context, lines);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(value_text(result->root), R"({"user":"ada","roles":["admin","dev"],"age":36})");
  EXPECT_EQ(sink.pass_targets(), (std::vector<std::string>{kCommaBehavior, kMissingCommas}));
  EXPECT_EQ(sink.messages_for(kMissingCommas), std::vector<std::string>{"repaired 3 missing comma(s) inside of a list"});
}

TEST(ParseOrRepair, APassErrorStopsTheChain) {
  Context context;
  // The missing-quote pass refuses the quoted "NaN"; the two passes after it
  // that would have given the lost value a value never run.
  const std::string input = R"({"a": "NaN", "b":)";
  CapturingSink sink(context);
  ParseResult result = parse_or_repair(context, input);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, RepairError::Kind::InvalidNumber);
  EXPECT_EQ(result.error().display_text(), "InvalidNumber: NaN");
  EXPECT_EQ(sink.pass_targets(), (std::vector<std::string>{kMissingClosingQuotes, kTruncatedBoolean, kMismatchedBrackets,
                                                      "json_repair::repair_json_close_unexpected_eof"}));
  EXPECT_EQ(repaired_by(repair_json_fix_mismatched_quotes, input), R"({"a":"NaN","b":""})");
  EXPECT_EQ(repaired_by(repair_json_close_unexpected_eof_in_array_tag, input), R"({"a":"NaN","b":null})");
}

TEST(ParseOrRepair, ReportsAllAttemptedRepairsFailedWhenNothingReads) {
  Context context;
  // Only the missing-quote pass mends the `1 2`, and it writes the string as
  // "don't"; normalisation turns that apostrophe into a quote that ends the
  // string, so its output does not read either.
  ParseResult result = parse_or_repair(context, R"({"msg": "don\'t", "n": 1 2})");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, RepairError::Kind::AllAttemptedRepairsFailed);
  EXPECT_EQ(result.error().display_text(), "AllAttemptedRepairsFailed");
}

TEST(NormalizeAndRead, FailsWithUnrepairableCarryingTheText) {
  Context context;
  // A closer that does not match: the payload is the text given.
  ParseResult mismatched = normalize_and_read(context, R"({"a": 1])");
  ASSERT_FALSE(mismatched.has_value());
  EXPECT_EQ(mismatched.error().kind, RepairError::Kind::Unrepairable);
  EXPECT_EQ(mismatched.error().payload, R"({"a": 1])");
  // A read that fails: the payload is the fixed-up text.
  ParseResult unread = normalize_and_read(context, "[1 2, \"x");
  ASSERT_FALSE(unread.has_value());
  EXPECT_EQ(unread.error().kind, RepairError::Kind::Unrepairable);
  EXPECT_EQ(unread.error().payload, "[1 2, \"x\"]");
}

}  // namespace
}  // namespace plomet::testing
