// The lenient reading order, for any reader of candidate texts: the text as
// given, then its normalised form, then the normalised output of each repair
// pass in turn. The first candidate that reads ends the chain; a pass that
// fails stops it with its error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/context.h"
#include "core/repair_error.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_passes.h"

namespace plomet {

namespace repair_driver {

using diagnostics::ReadAttempt;

// Records the attempt about to be made, for the caller and for a sink.
inline void begin(Context& context, const ReadAttempt& attempt, ReadAttempt* tried) {
  if (tried != nullptr) *tried = attempt;
  if (context.admits(diagnostics::Level::Info)) context.deliver_attempt(attempt);
}

// Normalises text and offers the result; read may take the string (it owns
// the views it keeps into it), and what it leaves is recycled.
template <class Read>
bool read_normalized(Context& context, std::string_view text, Read& read) {
  std::optional<Text> fixed = normalize_json_text(context, text);
  if (!fixed) return false;
  if (context.admits(diagnostics::Level::Info)) context.deliver_candidate(*fixed);
  const bool done = read(std::string_view(*fixed), &*fixed);
  context.recycle_text(std::move(*fixed));
  return done;
}

// The error that ended the chain, with the offset at which text stops
// reading as JSON5.
RepairError located_in(Context& context, std::string_view text, RepairError error);

}  // namespace repair_driver

// read(std::string_view candidate, Text* owned) returns whether the
// candidate reads; owned is null for the caller's own text. Returns nothing
// once a candidate reads, else the error that ended the chain, located in
// text (Interrupted, with no offset, when the context's interrupt check
// stopped it). Once a candidate reads, *gave (when given) is the attempt
// that made it. A sink hears each attempt begin, then its events and the
// text it reads.
template <class Read>
std::optional<RepairError> read_or_repair(Context& context, std::string_view text, Read&& read,
                                          diagnostics::ReadAttempt* gave = nullptr) {
  using diagnostics::ReadAttempt;
  // A stopped call leaves every stage failing, so the check after each
  // stage tells an interruption from a text that does not read.
  repair_driver::begin(context, {ReadAttempt::Stage::AsRead, {}}, gave);
  if (read(text, static_cast<Text*>(nullptr))) return std::nullopt;
  if (context.interrupted()) return RepairError::interrupted();
  repair_driver::begin(context, {ReadAttempt::Stage::Normalised, {}}, gave);
  if (repair_driver::read_normalized(context, text, read)) return std::nullopt;
  for (const RepairPassEntry& pass : repair_pass_table()) {
    if (context.interrupted()) return RepairError::interrupted();
    repair_driver::begin(context, {ReadAttempt::Stage::Repaired, pass.name}, gave);
    PassResult repaired = pass.run(context, text);
    if (context.interrupted()) return RepairError::interrupted();
    if (!repaired) return repair_driver::located_in(context, text, std::move(repaired).error());
    // An unchanged text would fail exactly as the read of the input did.
    const bool done = repaired.value() != text && repair_driver::read_normalized(context, repaired.value(), read);
    context.recycle_text(std::move(repaired.value()));
    if (done) return std::nullopt;
  }
  if (context.interrupted()) return RepairError::interrupted();
  return repair_driver::located_in(context, text, RepairError::all_attempted_repairs_failed());
}

}  // namespace plomet
