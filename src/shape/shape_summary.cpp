#include "shape/shape_summary.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

#include "repair/parse_or_repair.h"
#include "repair/repair_driver.h"
#include "shape/summary_builder.h"
#include "shape/summary_node.h"
#include "text/text_scan.h"

namespace plomet {

namespace {

// Objects of up to this many keys are searched key by key.
constexpr std::size_t kFieldScanLimit = 8;


void take_children(SummaryNode& node, std::vector<std::unique_ptr<SummaryNode>>& pending) {
  if (node.item) pending.push_back(std::move(node.item));
  for (SummaryField& field : node.fields) {
    if (field.value) pending.push_back(std::move(field.value));
  }
  node.fields.clear();
}

// The first value's part of a node; positions below it recursively, one
// level per nesting level of the documents. With kTake, the examples are
// moved out and each position below is released once taken, so that the
// summary and the shape are never both whole.
template <bool kTake>
Schema finalize(std::conditional_t<kTake, SummaryNode&, const SummaryNode&> node) {
  auto examples = [](auto& list) {
    if constexpr (kTake) {
      return std::move(list);
    } else {
      return list;
    }
  };
  auto below = [](auto& position) {
    Schema schema = finalize<kTake>(*position);
    if constexpr (kTake) position.reset();
    return schema;
  };
  switch (node.shown_kind()) {
    case kBoolTag:
      return Schema(BoolSchema{node.bool_example});
    case kIntTag:
      return Schema(IntSchema{examples(node.ints)});
    case kFloatTag:
      return Schema(FloatSchema{examples(node.floats)});
    case kStrTag:
      return Schema(StrSchema{examples(node.strings)});
    case kArrayTag:
      return Schema::array(node.item ? below(node.item) : Schema(), node.max_items);
    case kObjectTag: {
      ObjectSchema object;
      object.fields.reserve(node.fields.size());
      for (auto& field : node.fields) {
        SchemaField& out = object.fields.emplace_back();
        out.key = field.key;
        out.value = below(field.value);
        out.optional = field.absent;
      }
      return Schema(std::move(object));
    }
    default:
      return Schema();
  }
}

// The scalar documents gathered as the items of one array whose first item
// is of kind first: integers alone for an integer, every number as a double
// for a float, the strings for a string.
Schema gathered_scalars(KindTag first, const ShapeSummary::TopGather& top) {
  if (first == kStrTag) return Schema(StrSchema{top.strings});
  if (first == kIntTag) {
    IntSchema ints;
    for (const TaggedNumber& number : top.numbers) {
      if (!number.is_float) ints.examples.push_back(number.integer);
    }
    return Schema(std::move(ints));
  }
  // The earliest number that converts to a double is also the earliest
  // occurrence of that double, so converting the distinct numbers in order
  // keeps the order of first appearance.
  FloatSchema floats;
  PositionIndex seen;
  seen.reset(top.numbers.size());
  for (const TaggedNumber& number : top.numbers) {
    const double value = number.is_float ? number.real : static_cast<double>(number.integer);
    const auto position = static_cast<std::uint32_t>(floats.examples.size());
    if (seen.insert_unique(hash_double(value), position, [&](std::uint32_t i) { return floats.examples[i] == value; })) {
      floats.examples.push_back(value);
    }
  }
  return Schema(std::move(floats));
}

// Appends what from adds to into: from's documents come after into's.
void merge_node(SummaryNode& into, const SummaryNode& from, JsonArena& strings) {
  if (into.first == kNoKind && from.first != kNoKind) {
    into.first = from.first;
    into.bool_example = from.bool_example;
    into.ints = from.ints;
    into.floats = from.floats;
    into.strings.clear();
    for (std::string_view text : from.strings) into.strings.push_back(strings.copy_string(text));
  }
  into.kinds |= from.kinds;
  into.seen |= from.seen;
  into.loose |= from.loose;
  into.max_items = std::max(into.max_items, from.max_items);
  if (from.item) {
    if (!into.item) into.item = std::make_unique<SummaryNode>();
    merge_node(*into.item, *from.item, strings);
  }
  if (!from.objects_seen) return;
  if (into.fields_stale) reindex_fields(into);
  const bool into_had_objects = into.objects_seen;
  const std::size_t known = into.fields.size();
  std::vector<bool> shared(known, false);
  std::size_t hint = 0;
  for (const SummaryField& field : from.fields) {
    const std::size_t at = find_field(into, field.key, hint);
    hint = at + 1;
    if (at < into.fields.size()) {
      if (at < known) shared[at] = true;
      into.fields[at].absent = into.fields[at].absent || field.absent;
      merge_node(*into.fields[at].value, *field.value, strings);
      continue;
    }
    SummaryField& added = into.fields.emplace_back();
    added.key = strings.copy_string(field.key);
    added.value = std::make_unique<SummaryNode>();
    added.absent = field.absent || into_had_objects;
    merge_node(*added.value, *field.value, strings);
  }
  // The keys that from's objects all lacked.
  for (std::size_t at = 0; at < known; ++at) {
    if (!shared[at]) into.fields[at].absent = true;
  }
  into.objects_seen = true;
  into.fields_stale = true;
}

std::string invalid_utf8_message(std::size_t offset) { return "not valid UTF-8 at byte " + std::to_string(offset); }

}  // namespace

SummaryNode::~SummaryNode() {
  std::vector<std::unique_ptr<SummaryNode>> pending;
  take_children(*this, pending);
  while (!pending.empty()) {
    std::unique_ptr<SummaryNode> node = std::move(pending.back());
    pending.pop_back();
    take_children(*node, pending);
  }
}

std::size_t find_field(SummaryNode& node, std::string_view key, std::size_t hint) {
  std::vector<SummaryField>& fields = node.fields;
  if (hint < fields.size() && fields[hint].key == key) return hint;
  if (fields.size() <= kFieldScanLimit) {
    for (std::size_t at = 0; at < fields.size(); ++at) {
      if (fields[at].key == key) return at;
    }
    return fields.size();
  }
  if (node.indexed > fields.size() || node.indexed == 0) {
    node.key_index.reset(fields.size());
    node.indexed = 0;
  }
  for (; node.indexed < fields.size(); ++node.indexed) {
    node.key_index.insert_new(hash_bytes(fields[node.indexed].key), static_cast<std::uint32_t>(node.indexed));
  }
  const std::uint32_t at =
      node.key_index.find(hash_bytes(key), [&](std::uint32_t i) { return fields[i].key == key; });
  return at == PositionIndex::kAbsent ? fields.size() : at;
}

void reindex_fields(SummaryNode& node) {
  node.indexed = 0;
  node.present_everywhere.clear();
  for (std::size_t at = 0; at < node.fields.size(); ++at) {
    if (!node.fields[at].absent) node.present_everywhere.push_back(static_cast<std::uint32_t>(at));
  }
  node.fields_stale = false;
}

bool ShapeSummary::TopGather::add_number(const TaggedNumber& value) {
  const auto position = static_cast<std::uint32_t>(numbers.size());
  if (!number_index.insert_unique(value.hash(), position, [&](std::uint32_t i) { return numbers[i] == value; })) {
    return false;
  }
  numbers.push_back(value);
  return true;
}

bool ShapeSummary::TopGather::is_new_string(std::string_view value) {
  const auto position = static_cast<std::uint32_t>(strings.size());
  return string_index.insert_unique(hash_bytes(value), position,
                                    [&](std::uint32_t i) { return strings[i] == value; });
}

void ShapeSummary::TopGather::reindex() {
  number_index.reset(numbers.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) number_index.insert_new(numbers[i].hash(), static_cast<std::uint32_t>(i));
  string_index.reset(strings.size());
  for (std::size_t i = 0; i < strings.size(); ++i) string_index.insert_new(hash_bytes(strings[i]), static_cast<std::uint32_t>(i));
}

ShapeSummary::ShapeSummary(bool keep_examples)
    : keep_examples_(keep_examples), root_(std::make_unique<SummaryNode>()), top_(std::make_unique<TopGather>()) {}

ShapeSummary::~ShapeSummary() = default;
ShapeSummary::ShapeSummary(ShapeSummary&&) noexcept = default;
ShapeSummary& ShapeSummary::operator=(ShapeSummary&&) noexcept = default;

std::optional<DocumentError> ShapeSummary::add_text(Context& context, std::string_view text, ReadMode mode,
                                                   diagnostics::ReadAttempt* gave) {
  if (gave != nullptr) *gave = {};
  if (std::size_t bad = scan::find_invalid_utf8(text); bad != scan::kValidUtf8) {
    return DocumentError{DocumentError::Kind::InvalidUtf8, invalid_utf8_message(bad), bad};
  }
  // An empty text reads as an empty object, unless only JSON5 is accepted.
  if (text.empty() && mode == ReadMode::Lenient) text = "{}";
  Json5ReadError reader_error{};
  // The text itself was checked above; the texts repair makes are not.
  auto read = [&](std::string_view candidate, Text* owned) {
    const bool checked = owned == nullptr && candidate.data() == text.data();
    switch (SummaryBuilder::fold_text(context, *this, candidate, &reader_error, checked)) {
      case FoldOutcome::Folded:
        return true;
      case FoldOutcome::DoesNotRead:
        return false;
      case FoldOutcome::NeedsTree:
        break;
    }
    JsonDocument document(context);
    if (!read_document(context, candidate, document)) return false;
    SummaryBuilder::fold_tree(context, *this, document.root);
    return true;
  };
  const auto interrupted = [] { return DocumentError{DocumentError::Kind::Interrupted, "interrupted"}; };
  if (mode == ReadMode::Strict) {
    if (read(text, nullptr)) return std::nullopt;
    if (context.interrupted()) return interrupted();
    return DocumentError{DocumentError::Kind::Unreadable, std::move(reader_error.message), reader_error.offset};
  }
  std::optional<RepairError> error = read_or_repair(context, text, read, gave);
  if (!error) return std::nullopt;
  if (error->kind == RepairError::Kind::Interrupted) return interrupted();
  return DocumentError{DocumentError::Kind::Unreadable, "Failed to parse or repair JSON: " + error->display_text(),
                       error->offset};
}

void ShapeSummary::add_value(Context& context, const JsonValue& document) {
  SummaryBuilder::fold_tree(context, *this, document);
}

void ShapeSummary::merge(const ShapeSummary& later) {
  if (later.documents_ == 0) return;
  if (&later == this) {
    // The merge appends to the lists it reads: it reads a copy.
    ShapeSummary copy(keep_examples_);
    copy.merge(later);
    return merge(copy);
  }
  merge_node(*root_, *later.root_, strings_);
  if (keep_examples_) {
    for (const TaggedNumber& number : later.top_->numbers) top_->add_number(number);
    for (std::string_view text : later.top_->strings) {
      if (top_->is_new_string(text)) top_->strings.push_back(strings_.copy_string(text));
    }
  }
  documents_ += later.documents_;
}

Schema ShapeSummary::item_schema() const {
  if (documents_ == 0) return Schema();
  const KindTag first = root_->first;
  if (first == kIntTag || first == kFloatTag || first == kStrTag) {
    if (keep_examples_) return gathered_scalars(first, *top_);
    return first == kIntTag ? Schema(IntSchema{}) : first == kFloatTag ? Schema(FloatSchema{}) : Schema(StrSchema{});
  }
  // A boolean item keeps no example, even alone.
  if (first == kBoolTag) return Schema(BoolSchema{});
  return finalize<false>(*root_);
}

Schema ShapeSummary::only_document_schema() const { return finalize<false>(*root_); }

Schema ShapeSummary::take_only_document_schema() {
  Schema schema = finalize<true>(*root_);
  root_ = std::make_unique<SummaryNode>();
  documents_ = 0;
  return schema;
}

Schema ShapeSummary::documents_schema() const { return Schema::array(item_schema(), documents_); }

}  // namespace plomet
