// The failure kinds of the lenient reader, each with its display text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace plomet {

struct RepairError {
  enum class Kind : std::uint8_t {
    UnexpectedEOF = 0,
    UnexpectedToken = 1,
    InvalidToken = 2,
    InvalidNumber = 3,
    FailedToParseRepairedJson = 4,
    Unrepairable = 5,
    AllAttemptedRepairsFailed = 6,
    CouldNotConvertTheOutputOfDuplicateQuoteRemovalToJson = 7,
    SerdeParseError = 8,
    // The context's interrupt check stopped the call; not a verdict on the
    // text.
    Interrupted = 9,
  };

  static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

  Kind kind;
  // The payload text of InvalidToken, InvalidNumber and Unrepairable (shown),
  // and of FailedToParseRepairedJson and SerdeParseError (not shown).
  std::string payload;
  // Where the caller's text goes wrong: the byte at which reading it as JSON5
  // stopped. kNoOffset when no text was judged (Interrupted).
  std::size_t offset = kNoOffset;

  static RepairError invalid_number(std::string_view text) { return {Kind::InvalidNumber, std::string(text)}; }
  static RepairError unrepairable(std::string_view text) { return {Kind::Unrepairable, std::string(text)}; }
  static RepairError unrepairable(std::string&& text) { return {Kind::Unrepairable, std::move(text)}; }
  static RepairError all_attempted_repairs_failed() { return {Kind::AllAttemptedRepairsFailed, {}}; }
  static RepairError interrupted() { return {Kind::Interrupted, {}}; }

  // The message: the text shown to callers after "Failed to parse or repair
  // JSON: ".
  std::string display_text() const;
};

}  // namespace plomet
