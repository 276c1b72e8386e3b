// A summary of a sequence of documents that merges exactly.
//
// The documents fold as the items of one array: the first document decides
// the kind, and the result is the shape of an array that holds every
// document in order. Folding a sequence, or folding consecutive parts of it
// and merging the parts' summaries in order, gives the same summary, so work
// can be split across threads, processes or machines and combined.
//
// To merge exactly, each position keeps what every kind arriving there adds,
// not only the kind that arrived first: a later part may start with another
// kind than the part before it, and then only the earlier part's first kind
// counts. Rendering picks the first kind's part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/context.h"
#include "core/expected.h"
#include "core/repair_error.h"
#include "document/json_value.h"
#include "shape/leaf_text.h"
#include "shape/schema.h"

namespace plomet {

struct SummaryNode;

// Why a document was not added. The summary is left exactly as it was.
struct DocumentError {
  enum class Kind : std::uint8_t {
    // The bytes are not UTF-8; the message names the byte offset.
    InvalidUtf8,
    // Neither reading nor repair gave a document; the message is the one
    // analyze_json raises ("Failed to parse or repair JSON: ..."), or with
    // ReadMode::Strict the reader's own, which leaves the position to offset.
    Unreadable,
    // The context's interrupt check stopped the work.
    Interrupted,
  };
  static constexpr std::size_t kNoOffset = RepairError::kNoOffset;

  Kind kind;
  std::string message;
  // The byte of the text where it goes wrong: the first byte that is not
  // UTF-8, or where reading as JSON5 stopped. kNoOffset when not known.
  std::size_t offset = kNoOffset;
};

enum class ReadMode : std::uint8_t {
  // Read, normalise or repair exactly as analyze_json does.
  Lenient,
  // JSON5 alone: a text that does not read is refused.
  Strict,
};

class ShapeSummary {
 public:
  // With keep_examples off, no example is gathered and the outline can only
  // show type words; folding is faster and the summary smaller.
  explicit ShapeSummary(bool keep_examples = true);
  ~ShapeSummary();
  ShapeSummary(ShapeSummary&&) noexcept;
  ShapeSummary& operator=(ShapeSummary&&) noexcept;
  ShapeSummary(const ShapeSummary&) = delete;
  ShapeSummary& operator=(const ShapeSummary&) = delete;

  // Adds one document read (or repaired) from text; the text is borrowed for
  // the call only. An empty text is an empty object, as for analyze_json,
  // except in ReadMode::Strict, which refuses it. Once a document is added,
  // *gave (when given) is the candidate of the reading order that read. The
  // work is done in context (its memory, interrupt check and sink).
  std::optional<DocumentError> add_text(Context& context, std::string_view text, ReadMode mode = ReadMode::Lenient,
                                        diagnostics::ReadAttempt* gave = nullptr);

  // Adds a document given as a tree.
  void add_value(Context& context, const JsonValue& document);

  // Appends the documents of later, in order, after this summary's own.
  // Both must keep examples, or neither (keeps_examples()).
  void merge(const ShapeSummary& later);

  std::uint64_t documents() const { return documents_; }
  bool keeps_examples() const { return keep_examples_; }

  // The shape of the array of every document: an Array whose item is the
  // folded shape (Null before the first document) and whose max_items is
  // the number of documents. Its views point into this summary.
  Schema documents_schema() const;
  // The folded shape of the documents alone (the item of documents_schema).
  Schema item_schema() const;

  // The shape of the one document of a summary that holds exactly one, as
  // a document of its own rather than an item of the documents' array.
  Schema only_document_schema() const;
  // The same, taking the summary's parts as it goes, so that the two are
  // never both whole; the summary is left with no document, and the shape's
  // views still point into it.
  Schema take_only_document_schema();
  // What is kept at the top position: the folded documents.
  const SummaryNode& root() const { return *root_; }

  // A compact, versioned byte form, and its reader. Bytes that are cut,
  // corrupted or of another version give an error message, never a crash.
  std::string to_bytes() const;
  static Expected<ShapeSummary, std::string> from_bytes(std::string_view bytes);

  // The distinct scalar documents (shape/summary_node.h).
  struct TopGather;

 private:
  friend class SummaryBuilder;
  friend class SummaryCodec;

  bool keep_examples_;
  std::uint64_t documents_ = 0;
  std::unique_ptr<SummaryNode> root_;
  // Folding: the last serial given to an object or an array's fold; serials
  // never repeat within a summary, so no mark of an earlier document matches.
  std::uint64_t fold_serial_ = 0;
  // Copies of every key and string example the summary keeps.
  JsonArena strings_;
  // The distinct scalar documents, in order: what the documents give when
  // the first of them is a number or a string.
  std::unique_ptr<TopGather> top_;
};

}  // namespace plomet
