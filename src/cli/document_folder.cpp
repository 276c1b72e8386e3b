#include "cli/document_folder.h"

#include <algorithm>
#include <utility>

#include "analyze.h"
#include "cli/extract_answer.h"
#include "output/json_schema.h"
#include "output/outline.h"
#include "repair/top_level_values.h"
#include "read/json5_event_reader.h"
#include "repair/repaired_json.h"
#include "text/utf8.h"

namespace plomet::cli {

namespace {

using diagnostics::ReadAttempt;

// Blank lines hold no document.
bool is_blank(std::string_view line) { return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos; }

void fail(Piece& piece, std::uint64_t line, std::string message) {
  piece.messages.push_back({line, std::move(message)});
  ++piece.failures;
}

// The line (within the piece) and column of byte offset of text, a document
// of the piece.
std::pair<std::uint64_t, std::uint64_t> position_in_piece(const Piece& piece, std::uint64_t line,
                                                          std::string_view text, std::size_t offset) {
  if (piece.kind == Piece::Kind::Lines) return {line, json5::line_and_column(text, offset).second};
  // A whole input's text may be the part of it that --extract took.
  const std::string_view whole = piece.text.text();
  return json5::line_and_column(whole, static_cast<std::size_t>(text.data() - whole.data()) + offset);
}

// A failure at byte offset of text, located by line and column when the
// offset is known.
void fail_at(Piece& piece, std::uint64_t line, std::string_view text, std::size_t offset, std::string message) {
  if (offset == DocumentError::kNoOffset) return fail(piece, line, std::move(message));
  const auto [at_line, at_column] = position_in_piece(piece, line, text, offset);
  piece.messages.push_back({at_line, std::move(message), at_column});
  ++piece.failures;
}

std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

std::string invalid_utf8_text(std::uint64_t offset) { return "not valid UTF-8 at byte " + std::to_string(offset); }

std::string outline_text(Context& context, const Options& options, const ShapeSummary& summary) {
  std::string text = options.writer == DocumentWriter::JsonSchema
                         ? render_json_schema(summary, options.show_examples, options.limits)
                         : render_documents_outline(context, summary, options.show_examples, options.limits);
  text.push_back('\n');
  return text;
}

DocumentFolder::DocumentFolder(const Options& options)
    : options_(options), mode_(options.strict ? ReadMode::Strict : ReadMode::Lenient) {
  if (options_.explain) explain_.emplace();
}

void DocumentFolder::fold(Context& context, Piece& piece) {
  if (explain_) context.set_sink(&*explain_);
  piece.start_fold(options_.show_examples);
  switch (piece.kind) {
    case Piece::Kind::Lines:
      return fold_lines(context, piece);
    case Piece::Kind::WholeInput: {
      const std::string_view whole = piece.text.text();
      if (!options_.extract) return read_document(context, whole, {0, piece.offset}, piece);
      std::optional<Extraction> extraction = extract_answer(whole);
      if (!extraction) return fail(piece, 0, "no JSON in the answer: no fenced block and no '{' or '['");
      if (options_.explain) piece.messages.push_back({0, "extract: " + extraction->description});
      const auto skipped = static_cast<std::uint64_t>(extraction->text.data() - whole.data());
      return read_document(context, extraction->text, {0, piece.offset + skipped}, piece);
    }
    case Piece::Kind::EndOfLines:
      return;
  }
}

void DocumentFolder::fold_lines(Context& context, Piece& piece) {
  std::string_view rest = piece.text.text();
  std::uint64_t offset = piece.offset;
  while (!rest.empty()) {
    const std::size_t length = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, length);
    if (line.ends_with('\r')) line.remove_suffix(1);
    fold_line(context, line, {++piece.lines, offset}, piece);
    const std::size_t consumed = std::min(length + 1, rest.size());
    offset += consumed;
    rest.remove_prefix(consumed);
  }
}

void DocumentFolder::fold_line(Context& context, std::string_view line, Place place, Piece& piece) {
  if (is_blank(line)) return;
  // ShapeSummary::add_text checks UTF-8 itself; --repaired checks it here.
  if (options_.repaired()) {
    if (std::size_t bad = scan::find_invalid_utf8(line); bad != scan::kValidUtf8) {
      return fail_at(piece, place.line, line, bad, invalid_utf8_text(place.offset + bad));
    }
  }
  read_document(context, line, place, piece);
}

// Reads one document for the writer the options chose, then says what
// --explain asks for and what reading dropped.
void DocumentFolder::read_document(Context& context, std::string_view text, Place place, Piece& piece) {
  note_when_empty(text, place.line, piece);
  if (explain_) explain_->start_document();
  ReadAttempt attempt;
  bool read = false;
  if (options_.repaired()) {
    read = write_repaired(context, text, place, piece, attempt);
  } else if (piece.kind == Piece::Kind::WholeInput && !options_.merge && options_.writer == DocumentWriter::Outline) {
    read = outline_whole_input(context, text, place, piece, attempt);
  } else {
    read = fold_document(context, text, place, piece, attempt);
    // A whole input's JSON Schema, of its one document.
    if (read && piece.kind == Piece::Kind::WholeInput && !options_.merge) {
      piece.output = outline_text(context, options_, *piece.summary);
    }
  }
  if (!read) return;
  ++piece.documents;
  // A line read as it is goes unsaid, so that clean JSON Lines explain
  // nothing; a whole input always says how it was read.
  if (explain_ && (piece.kind == Piece::Kind::WholeInput || attempt.stage != ReadAttempt::Stage::AsRead)) {
    for (std::string& said : explain_->report(text)) piece.messages.push_back({place.line, std::move(said)});
  }
  // A text that reads as it is holds one value.
  if (attempt.stage != ReadAttempt::Stage::AsRead && !options_.quiet) note_more_values(text, place, piece);
}

// Folds the document of text into the piece's summary.
bool DocumentFolder::fold_document(Context& context, std::string_view text, Place place, Piece& piece,
                                   ReadAttempt& attempt) {
  std::optional<DocumentError> error = piece.summary->add_text(context, text, mode_, &attempt);
  if (!error) return true;
  if (error->kind == DocumentError::Kind::InvalidUtf8) error->message = invalid_utf8_text(place.offset + error->offset);
  fail_at(piece, place.line, text, error->offset, std::move(error->message));
  return false;
}

// A whole input's own outline, straight from its text with no document
// tree; with --strict, the shape of a summary of its one document.
bool DocumentFolder::outline_whole_input(Context& context, std::string_view text, Place place, Piece& piece,
                                         ReadAttempt& attempt) {
  if (options_.strict) {
    if (!fold_document(context, text, place, piece, attempt)) return false;
    write_outline(context, piece.summary->only_document_schema(), piece);
    return true;
  }
  auto shape = infer_text_shape(context, text, options_.show_examples);
  if (!shape) {
    fail_at(piece, place.line, text, shape.error().offset,
            "Failed to parse or repair JSON: " + shape.error().display_text());
    return false;
  }
  attempt = shape->attempt;
  write_outline(context, shape->schema, piece);
  return true;
}

// The document as compact JSON, string values as read.
bool DocumentFolder::write_repaired(Context& context, std::string_view text, Place place, Piece& piece,
                                    ReadAttempt& attempt) {
  if (options_.strict) {
    if (std::optional<Json5ReadError> error = append_json5_as_compact(context, text, piece.output)) {
      fail_at(piece, place.line, text, error->offset, std::move(error->message));
      return false;
    }
  } else if (std::optional<RepairError> error = append_repaired_json(context, text, piece.output, &attempt)) {
    fail_at(piece, place.line, text, error->offset, "Failed to parse or repair JSON: " + error->display_text());
    return false;
  }
  piece.output.push_back('\n');
  return true;
}

void DocumentFolder::write_outline(Context& context, const Schema& shape, Piece& piece) {
  render_schema(context, piece.output, shape, options_.show_examples, options_.limits);
  piece.output.push_back('\n');
}

// Repair reads the first value of a text that holds several: says what was
// left out.
void DocumentFolder::note_more_values(std::string_view text, Place place, Piece& piece) {
  const std::optional<MoreValues> more = values_after_the_first(text);
  if (!more) return;
  std::string note = "holds " + counted(more->count, "more value", "more values") + " after the first";
  const auto [line, column] = position_in_piece(piece, place.line, text, more->second_at);
  if (piece.kind == Piece::Kind::WholeInput) {
    note += ", from line " + std::to_string(line) + ", which are not read: only the first is; for JSON Lines use --lines";
  } else {
    note += ", from column " + std::to_string(column) + ", which are not read: only the first is";
  }
  piece.messages.push_back({place.line, std::move(note)});
}

// Empty text reads as an empty object, as for analyze_json (not with
// --strict, which refuses it).
void DocumentFolder::note_when_empty(std::string_view text, std::uint64_t line, Piece& piece) {
  if (text.empty() && !options_.strict && !options_.quiet) {
    piece.messages.push_back({line, "empty input, read as an empty object"});
  }
}

}  // namespace plomet::cli
