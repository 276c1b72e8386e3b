// Differential: reads that go on from where a read of another text stood
// against whole reads. The input is a text; its candidates are those of the
// reading order (its normalised form, each pass's output normalised) and a
// few edits of it at a place the input chooses. For each candidate:
// - a read that builds nothing, from every checkpoint of the text's read
//   within the prefix they share, reads exactly when the whole read does;
// - the text's outline fold, stopped where its read failed, goes on in the
//   candidate when it may, to the outcome and outline of a fold of the
//   candidate alone, and then on in the next candidate if it folded nothing;
// the normalisation of each pass's output (and of each edit), started from
// the text's where they agree, is its normalisation from the start; and the
// pipeline gives the same outline or error whether the reading order shares
// its reads or, with a sink listening, reads every candidate whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analyze.h"
#include "core/context.h"
#include "output/outline.h"
#include "read/json5_check.h"
#include "read/json5_event_reader.h"
#include "repair/parse_or_repair.h"
#include "repair/repair_passes.h"
#include "read/ignored_events.h"
#include "shape/summary_builder.h"
#include "text/simd_scan.h"
#include "text/utf8.h"

namespace {

using namespace plomet;

[[noreturn]] void fail(const char* what, std::string_view text, std::string_view candidate, std::size_t at) {
  std::fprintf(stderr, "%s (at %zu)\ntext:      %.*s\ncandidate: %.*s\n", what, at, static_cast<int>(text.size()),
               text.data(), static_cast<int>(candidate.size()), candidate.data());
  std::abort();
}

bool valid_utf8(std::string_view text) { return scan::find_invalid_utf8(text) == scan::kValidUtf8; }

bool reads_whole(Context& context, std::string_view text) {
  IgnoredEvents ignored;
  Json5EventReader reader(context, text, ignored);
  return reader.read() == decltype(reader)::Outcome::Read;
}

std::optional<std::string> outline_of(Context& context, std::string_view text, FoldOutcome& outcome) {
  ShapeSummary summary(true);
  outcome = SummaryBuilder::fold_outline(context, summary, text);
  if (outcome != FoldOutcome::Folded) return std::nullopt;
  std::string out;
  render_only_document(context, out, summary, true);
  return out;
}

// Every checkpoint of the text's read within the shared prefix tells
// whether the candidate reads.
void check_from_checkpoints(Context& context, std::string_view text, const ReadCheckpoints& checkpoints,
                            std::size_t count, std::string_view candidate) {
  const bool whole = reads_whole(context, candidate);
  const std::size_t common = scan::common_prefix_length(text, candidate);
  const bool valid = valid_utf8(candidate);
  const auto& all = checkpoints.all();
  for (std::size_t i = all.size(), tried = 0; i > 0 && tried < count; --i) {
    const ReadCheckpoints::Checkpoint& checkpoint = all[i - 1];
    if (checkpoint.position > common) continue;
    ++tried;
    if (json5_reads_from(context, candidate, valid, checkpoints, checkpoint) != whole) {
      fail("a read from a checkpoint disagrees with the whole read", text, candidate, checkpoint.position);
    }
  }
}

// The text's fold, stopped where it failed, goes on in each candidate it may
// go on in, as long as it folded nothing of the candidates before.
void check_going_on(Context& context, std::string_view text, const std::vector<std::string>& candidates) {
  ShapeSummary summary(true);
  SummaryBuilder::ResumableOutline fold(context, summary);
  if (fold.fold(text, valid_utf8(text), nullptr) != FoldOutcome::DoesNotRead) return;
  for (const std::string& candidate : candidates) {
    const std::size_t common = scan::common_prefix_length(text, candidate);
    if (!fold.may_go_on_in(candidate, common)) continue;
    FoldOutcome alone_outcome{};
    const std::optional<std::string> alone = outline_of(context, candidate, alone_outcome);
    const FoldOutcome outcome = fold.go_on_in(candidate, valid_utf8(candidate));
    if (outcome != alone_outcome) fail("a fold that went on ends otherwise than a fold alone", text, candidate, common);
    if (outcome == FoldOutcome::Folded) {
      std::string out;
      render_only_document(context, out, summary, true);
      if (out != *alone) fail("a fold that went on gives another outline", text, candidate, common);
    }
    if (outcome != FoldOutcome::DoesNotRead) return;
  }
}

// The normalisation of a text that agrees with the logged one on a prefix.
void check_normalisation_sharing(Context& context, std::string_view text, const NormalisationLog& log,
                                 std::string_view other) {
  const std::size_t common = scan::common_prefix_length(text, other);
  if (normalize_json_text(context, other, common, log) != normalize_json_text(context, other)) {
    fail("a normalisation that shares a prefix differs from a whole one", text, other, common);
  }
}

class ListeningSink : public diagnostics::Sink {
 public:
  void receive(const diagnostics::EventSite& /*site*/, std::string_view /*message*/) override {}
};

// The pipeline with its reads shared, and with every candidate read whole
// (a listening sink turns sharing off).
void check_pipeline(std::string_view text) {
  for (bool examples : {false, true}) {
    auto shared = analyze_text(text, examples);
    ListeningSink sink;
    Context listened;
    listened.set_sink(&sink, diagnostics::Level::Info);
    auto whole = analyze_text(listened, text, examples);
    const bool same = shared.has_value() == whole.has_value() &&
                      (shared ? *shared == *whole : shared.error().display_text() == whole.error().display_text());
    if (!same) fail("shared reads and whole reads give different outlines", text, text, 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return -1;
  // The first two bytes choose an edit: where, and what.
  const std::size_t where = data[0];
  const std::uint8_t what = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  if (!valid_utf8(text)) return -1;

  Context context;
  // The text's read, with a checkpoint after every opener and comma.
  ReadCheckpoints checkpoints(1);
  IgnoredEvents ignored;
  Json5EventReader reader(context, text, ignored);
  reader.note_checkpoints_in(&checkpoints);
  (void)reader.read();

  // Its normalisation, noting a checkpoint after every opener.
  NormalisationLog normalisation(1);
  std::vector<std::string> candidates;
  if (std::optional<Text> normalised = normalize_json_text(context, text, normalisation)) {
    if (normalised != normalize_json_text(context, text)) {
      fail("a normalisation that notes its edits differs", text, text, 0);
    }
    candidates.emplace_back(*normalised);
  }
  for (const RepairPassEntry& pass : repair_pass_table()) {
    PassResult repaired = pass.run(context, text);
    if (!repaired) continue;
    check_normalisation_sharing(context, text, normalisation, *repaired);
    if (std::optional<Text> normalised = normalize_json_text(context, *repaired)) candidates.emplace_back(*normalised);
  }
  static constexpr std::string_view kEdits[] = {"\"", "'", ",", "]", "}", "[", "{", ":", "\\", "/", "*", "\n",
                                                "1", "e", " ", "x", "/*", "*/", "//", "\\u", "}]", "\"}"};
  const std::size_t at = text.empty() ? 0 : (where * text.size()) / 256;
  const std::string_view edit = kEdits[what % std::size(kEdits)];
  const std::size_t first_edit = candidates.size();
  candidates.push_back(std::string(text.substr(0, at)) + std::string(edit));
  candidates.push_back(std::string(text.substr(0, at)) + std::string(edit) + std::string(text.substr(at)));
  if (at < text.size()) {
    candidates.push_back(std::string(text.substr(0, at)) + std::string(edit) + std::string(text.substr(at + 1)));
  }
  candidates.push_back(std::string(text) + std::string(edit));

  for (std::size_t edited = first_edit; edited < candidates.size(); ++edited) {
    check_normalisation_sharing(context, text, normalisation, candidates[edited]);
  }
  const std::size_t count = what / 32 + 1;
  for (const std::string& candidate : candidates) check_from_checkpoints(context, text, checkpoints, count, candidate);
  check_going_on(context, text, candidates);
  check_pipeline(text);
  return 0;
}
