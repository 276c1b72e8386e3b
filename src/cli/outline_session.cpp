#include "cli/outline_session.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "cli/input_encoding.h"
#include "text/utf8.h"

namespace plomet::cli {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{4} << 20;

// The size of the chunks that --lines inputs are cut into. The environment
// variable PLOMET_CHUNK_BYTES, there for the tests alone, sets another size,
// so that small inputs span many chunks.
std::size_t chunk_bytes() {
  const char* setting = std::getenv("PLOMET_CHUNK_BYTES");
  if (setting == nullptr) return kChunkBytes;
  const std::string_view text(setting);
  std::size_t bytes = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bytes);
  if (error != std::errc() || end != text.data() + text.size() || bytes == 0) return kChunkBytes;
  return bytes;
}

// Pieces are folded on threads only when there can be many of them and
// nothing is written as they are read: --explain's sink is the process's
// one, and --repaired prints documents in order as they come.
std::size_t fold_jobs(const Options& options) {
  if (options.explain || options.repaired() || !(options.lines || options.merge)) return 1;
  return options.jobs;
}

// The refusal of an input in another encoding than UTF-8 that cannot be
// transcoded where it is read.
std::string other_encoding_text(Encoding encoding) {
  const std::string family(encoding_family(encoding));
  return "not valid UTF-8 at byte 0: it is " + std::string(encoding_name(encoding)) + " (it starts with a " + family +
         " byte-order mark), which --lines does not read; convert it to UTF-8 first, for example with iconv -f " +
         family + " -t UTF-8";
}

// "input: ", "input:line: " or "input:line:column: ".
std::string location_prefix(std::string_view input, std::uint64_t line, std::uint64_t column = 0) {
  std::string prefix(input);
  if (line > 0) {
    prefix.push_back(':');
    prefix.append(std::to_string(line));
    if (column > 0) {
      prefix.push_back(':');
      prefix.append(std::to_string(column));
    }
  }
  prefix.append(": ");
  return prefix;
}

}  // namespace

OutlineSession::OutlineSession(const Options& options, Output& output, bool stderr_is_terminal)
    : options_(options),
      output_(output),
      progress_allowed_(stderr_is_terminal && !options.quiet),
      chunk_bytes_(chunk_bytes()),
      folder_(options),
      merged_(options.show_examples),
      pipeline_(fold_jobs(options), [this](Context& context, Piece& piece) { folder_.fold(context, piece); },
                [this](Piece& piece) { merge_piece(piece); }) {}

void OutlineSession::run_input(const std::string& name) {
  const std::string display = name == "-" ? "<stdin>" : name;
  auto input = InputSource::open(name);
  if (!input) return input_failed(display, input.error());
  pending_header_ = options_.inputs.size() > 1 && !options_.merge ? "==> " + display + " <==\n" : "";
  Progress progress(progress_allowed_, display, input->size());
  progress_ = &progress;
  if (options_.lines) {
    read_lines(*input, display, progress);
  } else {
    read_whole_input(*input, display, progress);
  }
  // Without --merge each input's output comes before the next one's header,
  // and before the messages of the inputs after it.
  if (!options_.merge) pipeline_.drain();
  output_.flush();
  progress_ = nullptr;
}

// With no document read, nothing is written: an outline of no document
// would look like one of a document of null.
void OutlineSession::finish() {
  pipeline_.drain();
  if (options_.merge && !options_.repaired() && merged_.documents() > 0) write_section(outline_text(context_, options_, merged_));
}

void OutlineSession::read_whole_input(InputSource& input, const std::string& display, Progress& progress) {
  auto text = read_whole(input, progress);
  if (!text) return input_failed(display, text.error());
  // A byte-order mark is not part of the document: UTF-8's is dropped, and
  // UTF-16 and UTF-32 are transcoded.
  std::uint64_t offset = 0;
  if (std::optional<ByteOrderMark> mark = byte_order_mark(*text)) {
    if (mark->encoding != Encoding::Utf8) {
      auto transcoded = transcode_to_utf8(std::string_view(*text).substr(mark->length), mark->encoding);
      if (!transcoded) return input_failed(display, transcoded.error() + " (after its byte-order mark)");
      *text = std::move(*transcoded);
      if (options_.explain) {
        message(location_prefix(display, 0) + "encoding: read as " + std::string(encoding_name(mark->encoding)) +
                " (it starts with a byte-order mark), transcoded to UTF-8\n");
      }
    } else {
      text->erase(0, mark->length);
      offset = mark->length;
    }
  }
  if (std::size_t bad = scan::find_invalid_utf8(*text); bad != scan::kValidUtf8) {
    return input_failed(display, invalid_utf8_text(offset + bad));
  }
  progress.show_phase("analysing");
  Piece& piece = pipeline_.next_piece();
  piece.text.bytes = std::move(*text);
  piece.text.length = piece.text.bytes.size();
  submit(piece, Piece::Kind::WholeInput, display, offset);
}

void OutlineSession::read_lines(InputSource& input, const std::string& display, Progress& progress) {
  LineChunkReader reader(input, progress, chunk_bytes_);
  for (bool first = true;; first = false) {
    Piece& piece = pipeline_.next_piece();
    auto more = reader.next(piece.text);
    if (!more) return input_failed(display, more.error());
    if (!*more) break;
    std::uint64_t offset = reader.chunk_offset();
    if (std::optional<ByteOrderMark> mark = first ? byte_order_mark(piece.text.text()) : std::nullopt) {
      if (mark->encoding != Encoding::Utf8) return input_failed(display, other_encoding_text(mark->encoding));
      piece.text.bytes.erase(0, mark->length);
      piece.text.length -= mark->length;
      offset += mark->length;
    }
    submit(piece, Piece::Kind::Lines, display, offset);
  }
  submit(pipeline_.next_piece(), Piece::Kind::EndOfLines, display, 0);
}

// Sends the pipeline's next piece, filled by the caller, to be folded.
void OutlineSession::submit(Piece& piece, Piece::Kind kind, const std::string& display, std::uint64_t offset) {
  piece.kind = kind;
  piece.input = display;
  piece.offset = offset;
  pipeline_.submit();
}

void OutlineSession::merge_piece(Piece& piece) {
  if (piece.kind == Piece::Kind::EndOfLines) {
    end_lines_input(piece.input);
  } else {
    merge_documents(piece);
  }
  piece.summary.reset();
}

void OutlineSession::merge_documents(Piece& piece) {
  write_messages(piece, tally_.lines);
  if (piece.failures > 0) status_ = std::max(status_, kExitDocumentFailed);
  tally_.lines += piece.lines;
  tally_.documents += piece.documents;
  tally_.failures += piece.failures;
  if ((options_.merge || piece.kind == Piece::Kind::Lines) && !options_.repaired()) merged_.merge(*piece.summary);
  if (!piece.output.empty()) write_section(piece.output);
  // A whole input's text goes once merged; a chunk's buffer serves the next.
  if (piece.kind == Piece::Kind::WholeInput) piece.text = ReadBuffer();
}

void OutlineSession::end_lines_input(const std::string& display) {
  if (tally_.documents == 0 && tally_.failures == 0 && !options_.quiet) {
    message(location_prefix(display, 0) + "no documents (no line holds anything but blanks)\n");
  }
  if (!options_.merge && !options_.repaired() && tally_.documents > 0) write_section(outline_text(context_, options_, merged_));
  start_next_input();
}

// Forgets the lines of the input that ended and, without --merge, its
// documents.
void OutlineSession::start_next_input() {
  tally_ = {};
  if (!options_.merge) merged_ = ShapeSummary(options_.show_examples);
}

// The messages of a piece, located in their input, in one write.
void OutlineSession::write_messages(const Piece& piece, std::uint64_t lines_before) {
  if (piece.messages.empty()) return;
  std::string text;
  for (const DocumentMessage& document_message : piece.messages) {
    text += location_prefix(piece.input, document_message.line == 0 ? 0 : lines_before + document_message.line,
                            document_message.column);
    text += document_message.text;
    text += '\n';
  }
  message(text);
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

// An input that cannot be read, said after the messages of the inputs before
// it.
void OutlineSession::input_failed(std::string_view display, std::string_view error) {
  pipeline_.drain();
  start_next_input();
  message("plomet: " + std::string(display) + ": " + std::string(error) + "\n");
  status_ = std::max(status_, kExitUnusable);
}

void OutlineSession::message(std::string_view text) {
  if (progress_ != nullptr) progress_->clear();
  write_stderr(text);
}

}  // namespace plomet::cli
