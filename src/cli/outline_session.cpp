#include "cli/outline_session.h"

#include <algorithm>

#include "cli/explain_normalization.h"
#include "cli/extract_answer.h"
#include "document/compact_json_writer.h"
#include "analyze.h"
#include "repair/parse_or_repair.h"
#include "read/read_json5.h"
#include "text/utf8.h"
#include "shape/render_json_schema.h"

namespace plomet::cli {

namespace {

std::string location_prefix(const Location& location) {
  std::string prefix(location.input);
  if (location.line > 0) {
    prefix.push_back(':');
    prefix.append(std::to_string(location.line));
  }
  prefix.append(": ");
  return prefix;
}

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

// Blank lines hold no document.
bool is_blank(std::string_view line) { return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos; }

}  // namespace

void OutlineSession::ExplainSink::set_location(const Location& location) { prefix_ = location_prefix(location); }

void OutlineSession::ExplainSink::receive(const diagnostics::EventSite& site, std::string_view message) {
  session_.message(prefix_ + std::string(site.target) + ": " + std::string(message) + "\n");
}

OutlineSession::OutlineSession(const Options& options, Output& output, bool stderr_is_terminal)
    : options_(options), output_(output), progress_allowed_(stderr_is_terminal && !options.quiet) {
  if (options_.merge) fold_ = std::make_unique<DocumentFold>();
  if (options_.explain) diagnostics::install_sink(&explain_sink_);
}

OutlineSession::~OutlineSession() {
  if (options_.explain) diagnostics::install_sink(nullptr);
}

void OutlineSession::run_input(const std::string& name) {
  const std::string display = name == "-" ? "<stdin>" : name;
  auto input = InputSource::open(name);
  if (!input) return input_failed(display, input.error());
  pending_header_ = options_.inputs.size() > 1 && !options_.merge ? "==> " + display + " <==\n" : "";
  Progress progress(progress_allowed_, display, input->size());
  progress_ = &progress;
  if (options_.lines) {
    run_input_lines(*input, display, progress);
  } else {
    run_whole_input(*input, display, progress);
  }
  progress_ = nullptr;
}

void OutlineSession::run_whole_input(InputSource& input, const std::string& display, Progress& progress) {
  auto text = read_whole(input, progress);
  if (!text) return input_failed(display, text.error());
  if (std::size_t bad = scan::find_invalid_utf8(*text); bad != scan::kValidUtf8) {
    return input_failed(display, invalid_utf8_text(bad, *text));
  }
  progress.show_phase("analysing");
  const Location location{display};
  if (!options_.repaired && !options_.strict && !fold_) return outline_whole_input(*text, location, progress);
  std::optional<JsonDocument> document = read_document(*text, location);
  if (!document) return;
  if (options_.repaired) {
    progress.clear();
    return write_document(*document);
  }
  if (fold_) return fold_->add(document->root);
  const Schema shape = infer_schema(document->root);
  progress.clear();
  write_outline(shape, shape);
}

// A whole document outlined straight from its text, with no document tree:
// memory follows the outline, not the document.
void OutlineSession::outline_whole_input(std::string_view text, const Location& location, Progress& progress) {
  if (options_.explain) explain_sink_.set_location(location);
  if (options_.extract) {
    Extraction extraction = extract_answer(text);
    if (options_.explain) message(location_prefix(location) + "extract: " + extraction.description + "\n");
    text = extraction.text;
  }
  if (text.empty()) note(location, "empty input, read as an empty object");
  auto shape = infer_text_shape(text, options_.show_examples);
  if (!shape) return document_failed(location, "Failed to parse or repair JSON: " + shape.error().display_text());
  if (options_.explain && !text.empty()) explain_normalization(text, location);
  progress.clear();
  write_outline(shape->schema, shape->schema);
}

void OutlineSession::run_input_lines(InputSource& input, const std::string& display, Progress& progress) {
  if (!options_.merge && !options_.repaired) fold_ = std::make_unique<DocumentFold>();
  bool unusable = false;
  std::uint64_t documents = 0;
  std::uint64_t failures = 0;
  auto result = for_each_line(input, progress, [&](const InputLine& line) {
    if (line.number == 1 && starts_with_utf16_byte_order_mark(line.text)) {
      input_failed(display, invalid_utf8_text(0, line.text));
      unusable = true;
      return false;
    }
    if (is_blank(line.text)) return true;
    const Location location{display, line.number};
    if (std::size_t bad = scan::find_invalid_utf8(line.text); bad != scan::kValidUtf8) {
      document_failed(location, invalid_utf8_text(line.offset + bad, line.text));
      ++failures;
      return true;
    }
    std::optional<JsonDocument> document = read_document(line.text, location);
    if (!document) {
      ++failures;
    } else if (options_.repaired) {
      ++documents;
      write_document(*document);
    } else {
      ++documents;
      fold_->add(document->root);
    }
    return true;
  });
  progress.clear();
  if (!result) return input_failed(display, result.error());
  if (unusable) return;
  if (documents == 0 && failures == 0) note(Location{display}, "no documents (no line holds anything but blanks)");
  if (!options_.merge && !options_.repaired) write_outline(fold_->shape(), fold_->item());
}

void OutlineSession::finish() {
  if (options_.merge) write_outline(fold_->shape(), fold_->item());
}

std::optional<JsonDocument> OutlineSession::read_document(std::string_view text, const Location& location) {
  if (options_.explain) explain_sink_.set_location(location);
  if (options_.extract) {
    Extraction extraction = extract_answer(text);
    if (options_.explain) message(location_prefix(location) + "extract: " + extraction.description + "\n");
    text = extraction.text;
  }
  const ReadOptions read_options{.remove_control_characters = !options_.repaired};
  if (options_.strict) {
    JsonDocument document;
    auto value = read_json5(text, document.arena);
    if (!value) {
      document_failed(location, value.error().message);
      return std::nullopt;
    }
    document.root = *value;
    if (read_options.remove_control_characters) {
      repair_json_remove_control_characters_in_value(document.root, document.arena);
    }
    return document;
  }
  if (text.empty()) note(location, "empty input, read as an empty object");
  ParseResult document = parse_or_repair(text, read_options);
  if (!document) {
    document_failed(location, "Failed to parse or repair JSON: " + document.error().display_text());
    return std::nullopt;
  }
  if (options_.explain && !text.empty()) explain_normalization(text, location);
  return std::move(document).value();
}

// Says what the fix-ups before reading changed when they alone made the text
// readable; the repair passes and the clean-up speak through their events.
void OutlineSession::explain_normalization(std::string_view text, const Location& location) {
  JsonArena scratch;
  if (try_read_json5(text, scratch)) return;
  ParseResult normalized = normalize_and_read(text, ReadOptions{.remove_control_characters = false});
  if (!normalized || !normalized->owned_text) return;
  const std::string description = describe_normalization(text, *normalized->owned_text);
  if (!description.empty()) message(location_prefix(location) + "normalisation: " + description + "\n");
}

void OutlineSession::write_document(const JsonDocument& document) {
  std::string json;
  write_compact_json(document.root, json);
  json.push_back('\n');
  write_section(json);
}

void OutlineSession::write_outline(const Schema& shape, const Schema& json_schema_root) {
  std::string text;
  if (options_.format == OutputFormat::JsonSchema) {
    text = render_json_schema(json_schema_root, options_.show_examples, options_.limits);
  } else {
    render_schema(text, shape, options_.show_examples, options_.limits);
  }
  text.push_back('\n');
  write_section(text);
}

// Output of the current input, after its header when one is due.
void OutlineSession::write_section(std::string_view text) {
  if (progress_ != nullptr) progress_->clear();
  if (!pending_header_.empty()) {
    if (wrote_section_) output_.write("\n");
    output_.write(pending_header_);
    pending_header_.clear();
    wrote_section_ = true;
  }
  output_.write(text);
}

void OutlineSession::input_failed(std::string_view display, std::string_view error) {
  message("plomet: " + std::string(display) + ": " + std::string(error) + "\n");
  status_ = std::max(status_, kExitUnusable);
}

void OutlineSession::document_failed(const Location& location, std::string_view error) {
  message(location_prefix(location) + std::string(error) + "\n");
  status_ = std::max(status_, kExitDocumentFailed);
}

void OutlineSession::note(const Location& location, std::string_view text) {
  if (!options_.quiet) message(location_prefix(location) + std::string(text) + "\n");
}

void OutlineSession::message(std::string_view text) {
  if (progress_ != nullptr) progress_->clear();
  write_stderr(text);
}

}  // namespace plomet::cli
