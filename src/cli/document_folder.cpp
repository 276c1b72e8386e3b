#include "cli/document_folder.h"

#include <algorithm>
#include <utility>

#include "analyze.h"
#include "cli/explain_normalization.h"
#include "cli/extract_answer.h"
#include "document/compact_json_writer.h"
#include "read/read_json5.h"
#include "repair/parse_or_repair.h"
#include "text/utf8.h"

namespace plomet::cli {

namespace {

// Blank lines hold no document.
bool is_blank(std::string_view line) { return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos; }

void fail(Piece& piece, std::uint64_t line, std::string message) {
  piece.messages.push_back({line, std::move(message)});
  ++piece.failures;
}

}  // namespace

bool starts_with_utf16_byte_order_mark(std::string_view text) {
  return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

std::string invalid_utf8_text(std::uint64_t offset, std::string_view text) {
  std::string message = "not valid UTF-8 at byte " + std::to_string(offset);
  if (offset == 0 && starts_with_utf16_byte_order_mark(text)) {
    message += ": it looks like UTF-16 (it starts with a UTF-16 byte-order mark); convert it to UTF-8 first, "
               "for example with iconv -f UTF-16 -t UTF-8";
  }
  return message;
}

std::string outline_text(const Options& options, const ShapeSummary& summary) {
  std::string text = options.format == OutputFormat::JsonSchema
                         ? summary.json_schema(options.show_examples, options.limits)
                         : summary.outline(options.show_examples, options.limits);
  text.push_back('\n');
  return text;
}

DocumentFolder::DocumentFolder(const Options& options)
    : options_(options), mode_(options.strict ? ReadMode::Strict : ReadMode::Lenient) {
  if (options_.explain) diagnostics::install_sink(&explain_sink_);
}

DocumentFolder::~DocumentFolder() {
  if (options_.explain) diagnostics::install_sink(nullptr);
}

void DocumentFolder::fold(Piece& piece) {
  piece.start_fold(options_.show_examples);
  switch (piece.kind) {
    case Piece::Kind::Lines:
      return fold_lines(piece);
    case Piece::Kind::WholeInput: {
      if (options_.explain) explain_sink_.aim(piece, 0);
      const std::string_view text = extract(piece.text.text(), 0, piece);
      if (options_.merge) return fold_document(text, 0, 0, piece);
      return outline_whole_input(text, piece);
    }
    case Piece::Kind::EndOfLines:
      return;
  }
}

void DocumentFolder::fold_lines(Piece& piece) {
  std::string_view rest = piece.text.text();
  std::uint64_t offset = piece.offset;
  while (!rest.empty()) {
    const std::size_t length = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, length);
    if (line.ends_with('\r')) line.remove_suffix(1);
    fold_line(line, ++piece.lines, offset, piece);
    const std::size_t consumed = std::min(length + 1, rest.size());
    offset += consumed;
    rest.remove_prefix(consumed);
  }
}

void DocumentFolder::fold_line(std::string_view line, std::uint64_t number, std::uint64_t offset, Piece& piece) {
  if (is_blank(line)) return;
  // ShapeSummary::add_text checks UTF-8 itself. The line is checked here
  // first when --extract might cut its bad bytes off, or --repaired reads it
  // into a tree.
  if (options_.extract || options_.repaired) {
    if (std::size_t bad = scan::find_invalid_utf8(line); bad != scan::kValidUtf8) {
      return fail(piece, number, invalid_utf8_text(offset + bad, line));
    }
  }
  if (options_.explain) explain_sink_.aim(piece, number);
  const std::string_view text = extract(line, number, piece);
  if (!options_.repaired) return fold_document(text, number, offset, piece);
  if (std::optional<JsonDocument> document = read_tree(text, number, piece)) write_repaired(*document, piece);
}

// Folds the document of text, which starts at offset in the input.
void DocumentFolder::fold_document(std::string_view text, std::uint64_t line, std::uint64_t offset, Piece& piece) {
  note_when_empty(text, line, piece);
  std::optional<DocumentError> error = piece.summary->add_text(text, mode_);
  if (!error) {
    ++piece.documents;
    return explain_normalization(text, line, piece);
  }
  if (error->kind == DocumentError::Kind::InvalidUtf8) {
    return fail(piece, line, invalid_utf8_text(offset + scan::find_invalid_utf8(text), text));
  }
  fail(piece, line, std::move(error->message));
}

// A whole input without --merge: its own outline, straight from its text
// with no document tree unless --strict or --repaired asks for one. Its JSON
// Schema is that of a summary of the one document.
void DocumentFolder::outline_whole_input(std::string_view text, Piece& piece) {
  if (options_.format == OutputFormat::JsonSchema) {
    fold_document(text, 0, 0, piece);
    if (piece.documents > 0) piece.output = outline_text(options_, *piece.summary);
    return;
  }
  if (options_.repaired || options_.strict) {
    std::optional<JsonDocument> document = read_tree(text, 0, piece);
    if (!document) return;
    if (options_.repaired) return write_repaired(*document, piece);
    ShapeSummary summary(options_.show_examples);
    summary.add_value(document->root);
    return write_outline(summary.only_document_schema(), piece);
  }
  note_when_empty(text, 0, piece);
  auto shape = infer_text_shape(text, options_.show_examples);
  if (!shape) return fail(piece, 0, "Failed to parse or repair JSON: " + shape.error().display_text());
  ++piece.documents;
  explain_normalization(text, 0, piece);
  write_outline(shape->schema, piece);
}

std::optional<JsonDocument> DocumentFolder::read_tree(std::string_view text, std::uint64_t line, Piece& piece) {
  const ReadOptions read_options{.remove_control_characters = !options_.repaired};
  if (options_.strict) {
    JsonDocument document;
    auto value = read_json5(text, document.arena);
    if (!value) {
      fail(piece, line, value.error().message);
      return std::nullopt;
    }
    document.root = *value;
    if (read_options.remove_control_characters) {
      repair_json_remove_control_characters_in_value(document.root, document.arena);
    }
    ++piece.documents;
    return document;
  }
  note_when_empty(text, line, piece);
  ParseResult document = parse_or_repair(text, read_options);
  if (!document) {
    fail(piece, line, "Failed to parse or repair JSON: " + document.error().display_text());
    return std::nullopt;
  }
  ++piece.documents;
  explain_normalization(text, line, piece);
  return std::move(document).value();
}

void DocumentFolder::write_repaired(const JsonDocument& document, Piece& piece) {
  write_compact_json(document.root, piece.output);
  piece.output.push_back('\n');
}

void DocumentFolder::write_outline(const Schema& shape, Piece& piece) {
  render_schema(piece.output, shape, options_.show_examples, options_.limits);
  piece.output.push_back('\n');
}

// --extract: the JSON inside a language model's answer.
std::string_view DocumentFolder::extract(std::string_view text, std::uint64_t line, Piece& piece) {
  if (!options_.extract) return text;
  Extraction extraction = extract_answer(text);
  if (options_.explain) piece.messages.push_back({line, "extract: " + extraction.description});
  return extraction.text;
}

// Empty text reads as an empty object, as for analyze_json (not with
// --strict, which refuses it).
void DocumentFolder::note_when_empty(std::string_view text, std::uint64_t line, Piece& piece) {
  if (text.empty() && !options_.strict && !options_.quiet) {
    piece.messages.push_back({line, "empty input, read as an empty object"});
  }
}

// --explain: says what the fix-ups before reading changed when they alone
// made the text readable; the repair passes and the clean-up speak through
// their events.
void DocumentFolder::explain_normalization(std::string_view text, std::uint64_t line, Piece& piece) {
  if (!options_.explain || options_.strict || text.empty()) return;
  JsonArena scratch;
  if (try_read_json5(text, scratch)) return;
  ParseResult normalized = normalize_and_read(text, ReadOptions{.remove_control_characters = false});
  if (!normalized || !normalized->owned_text) return;
  const std::string description = describe_normalization(text, *normalized->owned_text);
  if (!description.empty()) piece.messages.push_back({line, "normalisation: " + description});
}

void DocumentFolder::ExplainSink::receive(const diagnostics::EventSite& site, std::string_view message) {
  piece_->messages.push_back({line_, std::string(site.target) + ": " + std::string(message)});
}

}  // namespace plomet::cli
