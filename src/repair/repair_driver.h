// The lenient reading order, for any reader of candidate texts: the text as
// given, then its normalised form, then the normalised output of each repair
// pass in turn. The first candidate that reads ends the chain; a pass that
// fails stops it with its error.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/context.h"
#include "core/repair_error.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_passes.h"
#include "repair/shared_reads.h"

namespace plomet {

// A reader of candidates that can carry its read of the text on in a
// candidate (SharedReads), beside reading a candidate whole:
//   read_first(text, valid_utf8, checkpoints): reads the caller's text,
//     noting checkpoints; a read that fails stays where it stopped;
//   may_go_on_in(candidate, common_prefix): whether that read can go on in
//     candidate, which shares its first common_prefix bytes with the text;
//   go_on_in(candidate, valid_utf8, owned): goes on, as read(candidate,
//     owned) reads.
// valid_utf8 says whether the text read is valid UTF-8.
template <class Read>
concept ReadsOnInRepairs = requires(Read& read, std::string_view text, bool valid_utf8, Text* owned,
                                    ReadCheckpoints* checkpoints, std::size_t common_prefix) {
  { read.read_first(text, valid_utf8, checkpoints) } -> std::same_as<bool>;
  { read.may_go_on_in(text, common_prefix) } -> std::same_as<bool>;
  { read.go_on_in(text, valid_utf8, owned) } -> std::same_as<bool>;
};

namespace repair_driver {

using diagnostics::ReadAttempt;

// Reads the candidates of one text: each whole, or, for a reader that
// ReadsOnInRepairs while no sink hears the events of failed reads, sharing
// the reads (SharedReads). Either way each candidate reads or not as its
// whole read does.
template <class Read>
class CandidateReads {
 public:
  CandidateReads(Context& context, std::string_view text, Read& read) : context_(context), read_(read) {
    if constexpr (ReadsOnInRepairs<Read>) {
      if (!context.admits(diagnostics::Level::Info)) shared_.emplace(context, text);
    }
  }

  bool read_text(std::string_view text) {
    if constexpr (ReadsOnInRepairs<Read>) {
      if (shared_) return read_.read_first(text, shared_->text_valid_utf8(), shared_->checkpoints());
    }
    return read_(text, static_cast<Text*>(nullptr));
  }

  // The normalised form of the text or of a pass's output.
  std::optional<Text> normalised(std::string_view text) {
    if (shared_) return shared_->normalised(text);
    return normalize_json_text(context_, text);
  }

  bool operator()(std::string_view candidate, Text* owned) {
    if constexpr (ReadsOnInRepairs<Read>) {
      if (shared_) {
        const std::size_t common_prefix = shared_->common_prefix(candidate);
        const bool valid_utf8 = shared_->valid_utf8(candidate, common_prefix);
        if (read_.may_go_on_in(candidate, common_prefix)) return read_.go_on_in(candidate, valid_utf8, owned);
        if (shared_->check(candidate, common_prefix, valid_utf8) == SharedReads::Verdict::DoesNotRead) return false;
      }
    }
    return read_(candidate, owned);
  }

 private:
  Context& context_;
  Read& read_;
  std::optional<SharedReads> shared_;
};

// Records the attempt about to be made, for the caller and for a sink.
inline void begin(Context& context, const ReadAttempt& attempt, ReadAttempt* tried) {
  if (tried != nullptr) *tried = attempt;
  if (context.admits(diagnostics::Level::Info)) context.deliver_attempt(attempt);
}

// Normalises text and offers the result; reads may take the text (it owns
// the views it keeps into it), and what it leaves is recycled.
template <class Reads>
bool read_normalized(Context& context, std::string_view text, Reads& reads) {
  std::optional<Text> fixed = reads.normalised(text);
  if (!fixed) return false;
  if (context.admits(diagnostics::Level::Info)) context.deliver_candidate(*fixed);
  const bool done = reads(std::string_view(*fixed), &*fixed);
  context.recycle_text(std::move(*fixed));
  return done;
}

// The error that ended the chain, with the offset at which text stops
// reading as JSON5.
RepairError located_in(Context& context, std::string_view text, RepairError error);

}  // namespace repair_driver

// read(std::string_view candidate, Text* owned) returns whether the
// candidate reads; owned is null for the caller's own text. A read that
// ReadsOnInRepairs shares its work between candidates (CandidateReads).
// Returns nothing once a candidate reads, else the error that ended the
// chain, located in text (Interrupted, with no offset, when the context's
// interrupt check stopped it). Once a candidate reads, *gave (when given) is
// the attempt that made it. A sink hears each attempt begin, then its events
// and the text it reads.
template <class Read>
std::optional<RepairError> read_or_repair(Context& context, std::string_view text, Read&& read,
                                          diagnostics::ReadAttempt* gave = nullptr) {
  using diagnostics::ReadAttempt;
  repair_driver::CandidateReads<std::remove_reference_t<Read>> reads(context, text, read);
  // A stopped call leaves every stage failing, so the check after each
  // stage tells an interruption from a text that does not read.
  repair_driver::begin(context, {ReadAttempt::Stage::AsRead, {}}, gave);
  if (reads.read_text(text)) return std::nullopt;
  if (context.interrupted()) return RepairError::interrupted();
  repair_driver::begin(context, {ReadAttempt::Stage::Normalised, {}}, gave);
  if (repair_driver::read_normalized(context, text, reads)) return std::nullopt;
  for (const RepairPassEntry& pass : repair_pass_table()) {
    if (context.interrupted()) return RepairError::interrupted();
    repair_driver::begin(context, {ReadAttempt::Stage::Repaired, pass.name}, gave);
    PassResult repaired = pass.run(context, text);
    if (context.interrupted()) return RepairError::interrupted();
    if (!repaired) return repair_driver::located_in(context, text, std::move(repaired).error());
    // An unchanged text would fail exactly as the read of the input did.
    const bool done =
        repaired.value() != text && repair_driver::read_normalized(context, repaired.value(), reads);
    context.recycle_text(std::move(repaired.value()));
    if (done) return std::nullopt;
  }
  if (context.interrupted()) return RepairError::interrupted();
  return repair_driver::located_in(context, text, RepairError::all_attempted_repairs_failed());
}

}  // namespace plomet
