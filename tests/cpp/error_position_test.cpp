// Errors that say where: the reader's {kind, message, offset}, the offset a
// failed repair chain carries in every driver that uses it, and a Shape
// document's error offset, in each reading mode.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "analyze.h"
#include "read/read_json5.h"
#include "repair/parse_or_repair.h"
#include "repair/repaired_json.h"
#include "shape/shape_summary.h"

namespace plomet::testing {
namespace {

TEST(ReadErrors, SayWhyAndAtWhichByte) {
  Context context;
  using Kind = Json5ReadError::Kind;
  struct Case {
    std::string text;
    Kind kind;
    std::string message;
    std::size_t offset;
    std::string with_position;
  };
  const Case cases[] = {
      {R"({"a": 1)", Kind::Grammar, "expected ',' or '}'", 7, "expected ',' or '}' at line 1, column 8"},
      {"{\n  \"a\": tru\n}", Kind::Grammar, "expected a value", 9, "expected a value at line 2, column 8"},
      {"", Kind::Grammar, "expected a value", 0, "expected a value at line 1, column 1"},
      {"[1, /* open", Kind::Grammar, "unterminated block comment", 4, "unterminated block comment at line 1, column 5"},
      {"[1,\n  1e999]", Kind::Conversion, "error parsing number: too large", 6,
       "error parsing number: too large at line 2, column 3"},
      // Columns count characters, offsets bytes.
      {"[\"é\", \"\\uD800x\"]", Kind::Conversion, "error parsing hex", 8, "error parsing hex at line 1, column 8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text: " + c.text);
    JsonArena arena;
    auto tree = read_json5(context, c.text, arena);
    ASSERT_FALSE(tree.has_value());
    std::string out;
    std::optional<Json5ReadError> events = append_json5_as_compact(context, c.text, out);
    ASSERT_TRUE(events.has_value());
    for (const Json5ReadError& error : {tree.error(), *events}) {
      EXPECT_EQ(error.kind, c.kind);
      EXPECT_EQ(error.message, c.message);
      EXPECT_EQ(error.offset, c.offset);
      EXPECT_EQ(error.message_with_position(c.text), c.with_position);
    }
  }
}

// Every driver of the lenient order reports the byte where the text as
// given stops reading, and its message stays what it was.
TEST(RepairErrors, CarryWhereTheTextStopsReading) {
  Context context;
  struct Case {
    std::string text;
    RepairError::Kind kind;
    std::string message;
    std::size_t offset;
  };
  const Case cases[] = {
      {R"({"msg": "don\'t", "n": 1 2})", RepairError::Kind::AllAttemptedRepairsFailed, "AllAttemptedRepairsFailed", 25},
      // A pass's own error ends the chain: the offset is still the text's.
      {R"({"a": "NaN", "b":)", RepairError::Kind::InvalidNumber, "InvalidNumber: NaN", 17},
      {"1e999", RepairError::Kind::InvalidNumber, "InvalidNumber: 1e999", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text: " + c.text);
    ParseResult parsed = parse_or_repair(context, c.text);
    ASSERT_FALSE(parsed.has_value());
    std::string out;
    std::optional<RepairError> repaired = append_repaired_json(context, c.text, out);
    ASSERT_TRUE(repaired.has_value());
    auto outlined = analyze_text(c.text, true);
    ASSERT_FALSE(outlined.has_value());
    for (const RepairError& error : {parsed.error(), *repaired, outlined.error()}) {
      EXPECT_EQ(error.kind, c.kind);
      EXPECT_EQ(error.display_text(), c.message);
      EXPECT_EQ(error.offset, c.offset);
    }
  }
}

TEST(RepairErrors, AnInterruptionHasNoOffset) { EXPECT_EQ(RepairError::interrupted().offset, RepairError::kNoOffset); }

TEST(ShapeSummaryErrors, NameTheOffsetInEachMode) {
  Context context;
  struct Case {
    std::string text;
    ReadMode mode;
    DocumentError::Kind kind;
    std::string message;
    std::size_t offset;
  };
  const Case cases[] = {
      {"{\"a\": \"\xff\"}", ReadMode::Lenient, DocumentError::Kind::InvalidUtf8, "not valid UTF-8 at byte 7", 7},
      {"{\"a\": \"\xff\"}", ReadMode::Strict, DocumentError::Kind::InvalidUtf8, "not valid UTF-8 at byte 7", 7},
      {R"({"msg": "don\'t", "n": 1 2})", ReadMode::Lenient, DocumentError::Kind::Unreadable,
       "Failed to parse or repair JSON: AllAttemptedRepairsFailed", 25},
      // Strict leaves the position to the offset.
      {R"({"a": 1)", ReadMode::Strict, DocumentError::Kind::Unreadable, "expected ',' or '}'", 7},
      {"", ReadMode::Strict, DocumentError::Kind::Unreadable, "expected a value", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text: " + c.text);
    ShapeSummary summary(true);
    std::optional<DocumentError> error = summary.add_text(context, c.text, c.mode);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, c.kind);
    EXPECT_EQ(error->message, c.message);
    EXPECT_EQ(error->offset, c.offset);
    EXPECT_EQ(summary.documents(), 0u);
  }
}

}  // namespace
}  // namespace plomet::testing
