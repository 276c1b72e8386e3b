// Each value reaches the node of its position in the summary. What it may
// change there depends on the arrays around it: the items of an array fold
// among themselves first, under the kind of the first item to reach a node,
// and that fold as a whole meets the fold of the array around it, and so on
// out to the summary, which records every kind that reaches it. A node keeps
// a stamp per enclosing array telling which array's fold it holds, of what
// kind, and whether that fold joined the one outside it; a value that starts
// a fold passes outward, a value that meets a fold of another kind stops
// there, and an integer fold that meets a float becomes a float fold and
// passes that on.
//
// With many documents, every change to the summary that a document makes is
// written to a journal until the document is complete, so that a document
// that turns out not to read (or to need its tree) is taken back exactly.
#include "shape/summary_builder.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/container_stack.h"
#include "read/json5_event_reader.h"
#include "shape/event_values.h"
#include "shape/example_gatherer.h"
#include "shape/summary_node.h"

namespace plomet {
namespace {


// What reaching a node did.
enum class Arrival : std::uint8_t {
  // Stopped at a fold of another kind: changes nothing, nor does anything
  // inside the value.
  Ignored,
  // Joined a fold of its kind: a container's members count.
  Joined,
  // The first value at the node: its examples are kept.
  Fresh,
};

// Where the items of an array after the first go.
enum class Later : std::uint8_t { Chain, Gather, Skip };

struct Slot {
  SummaryNode* node = nullptr;  // null: skipped
  Later mode = Later::Skip;
  bool first_item = false;  // the first item of the innermost array
};

struct Frame {
  SummaryNode* node = nullptr;  // null: skipped
  std::uint64_t count = 0;      // arrays: items begun
  std::uint64_t serial = 0;     // objects: this object's serial
  std::size_t hint = 0;         // objects: where the next key is looked for first
  Later later = Later::Skip;    // arrays
  bool is_object = false;
  bool objects_before = false;  // objects: an earlier object reached the node
  bool cleaned = false;         // a kept string inside was cleaned of control characters
};

// One change a document made, and what undoes it.
struct JournalEntry {
  enum class Change : std::uint8_t {
    FirstSet, Kinds, Seen, MaxItems, ItemCreated, FieldAppended, FieldAbsent, ObjectsSeen
  };
  Change change;
  SummaryNode* node;
  std::uint64_t before;
};

// What a fold serves, beyond the outline.
enum class FoldFor : std::uint8_t {
  // A summary of many documents: every change is journalled so that a
  // document that fails is taken back, every kind seen is noted for the JSON
  // Schema, and every kept string is copied.
  Summary,
  // The outline of one document: a candidate that fails is dropped whole,
  // and strings stay views into the text unless they are transient.
  Outline,
};

template <FoldFor kFor>
class Folder {
 public:
  Folder(Context& context, SummaryNode& root, ShapeSummary::TopGather& top, JsonArena& strings,
         std::uint64_t& serial, bool keep_examples)
      : context_(context), root_(root), serial_(serial), top_(top), strings_(strings), keep_examples_(keep_examples) {}

  // Reader events.
  void begin_array() { begin(kArrayTag); }
  void begin_object() { begin(kObjectTag); }
  void end_array() { end(); }
  void end_object() { end(); }

  bool wants_key_text() const { return frames_.back().node != nullptr; }

  // Only examples need a string's text: the first value at a node, or a
  // gathered item.
  bool wants_string_text() const {
    if (!keep_examples_) return false;
    if (frames_.empty()) return true;
    const Frame& frame = frames_.back();
    if (frame.node == nullptr) return false;
    if (frame.is_object) return pending_.node != nullptr && pending_.node->first == kNoKind;
    if (frame.count == 0) return frame.node->item->first == kNoKind;
    return frame.later == Later::Gather;
  }

  bool key(std::string_view key, bool transient) {
    Frame& frame = frames_.back();
    if (frame.node == nullptr) {
      pending_ = {};
      return true;
    }
    SummaryNode& node = *frame.node;
    // Objects at one position mostly list their keys in the same order, so
    // the key after the last one found is tried first, inline.
    const std::size_t hint = frame.hint;
    const bool at_hint = hint < node.fields.size() && event_values::same_key(node.fields[hint].key, key);
    const std::size_t at = at_hint ? hint : find_field(node, key, node.fields.size());
    frame.hint = at + 1;
    if (at < node.fields.size()) {
      SummaryField& field = node.fields[at];
      // The first value was folded in already and cannot be taken back.
      if (field.visit == frame.serial) return stop();
      field.visit = frame.serial;
      pending_ = {field.value.get(), Later::Chain, false};
      return true;
    }
    note(JournalEntry::Change::FieldAppended, node, node.fields.size());
    SummaryField& field = node.fields.emplace_back();
    field.key = keep(key, transient);
    field.value = std::make_unique<SummaryNode>();
    field.visit = frame.serial;
    field.absent = frame.objects_before;
    if (!field.absent) node.present_everywhere.push_back(static_cast<std::uint32_t>(at));
    pending_ = {field.value.get(), Later::Chain, false};
    return true;
  }

  void null_value() { scalar(kNullTag); }

  void bool_value(bool value) {
    const Slot slot = take_slot();
    if (!reaches_fold(slot, kBoolTag)) return;
    const Arrival arrival = arrive(*slot.node, kBoolTag);
    if (slot.first_item) settle_first_item(kBoolTag, arrival);
    // An array's boolean item keeps no example.
    if (arrival == Arrival::Fresh && keep_examples_ && !slot.first_item) slot.node->bool_example = value;
    if (frames_.empty()) top_kind_ = kBoolTag;
  }

  void number_value(const NumberToken& number) {
    if (number.number_class == NumberToken::Class::NotANumber) return scalar(kNullTag);
    const bool is_integer = number.number_class == NumberToken::Class::Integer;
    if (is_integer) {
      integer_value(number.integer);
    } else {
      float_value(number);
    }
  }

  void integer_value(const JsonNumber& integer) {
    const Slot slot = take_slot();
    if (slot.node == nullptr) return;
    if (slot.mode == Later::Gather) {
      SummaryNode& node = *slot.node;
      pass_over(node, kIntTag);
      if (node.first == kIntTag) {
        int_examples_.add(node.ints, event_values::integer_of(integer), frames_.size(), hash_integer);
      } else if (node.first == kFloatTag) {
        float_examples_.add(node.floats, event_values::double_of(integer), frames_.size(), hash_double);
      }
      return;
    }
    if (!reaches_fold(slot, kIntTag)) return;
    const Arrival arrival = arrive(*slot.node, kIntTag);
    if (slot.first_item) settle_first_item(kIntTag, arrival);
    if (!keep_examples_) return;
    if (arrival == Arrival::Fresh) slot.node->ints.push_back(event_values::integer_of(integer));
    if (frames_.empty()) {
      top_kind_ = kIntTag;
      top_number_ = {false, event_values::integer_of(integer), 0};
    }
  }

  template <class FloatSource>
  void float_value(const FloatSource& source) {
    const Slot slot = take_slot();
    if (slot.node == nullptr) return;
    if (slot.mode == Later::Gather) {
      pass_over(*slot.node, kFloatTag);
      if (slot.node->first == kFloatTag) {
        float_examples_.add(slot.node->floats, value_of(source), frames_.size(), hash_double);
      }
      return;
    }
    if (!reaches_fold(slot, kFloatTag)) return;
    const Arrival arrival = arrive(*slot.node, kFloatTag);
    if (slot.first_item) settle_first_item(kFloatTag, arrival);
    if (!keep_examples_) return;
    if (arrival == Arrival::Fresh) slot.node->floats.push_back(value_of(source));
    if (frames_.empty()) {
      top_kind_ = kFloatTag;
      top_number_ = {true, 0, value_of(source)};
    }
  }

  void string_value(std::string_view text, bool transient, bool has_controls) {
    const Slot slot = take_slot();
    if (slot.node == nullptr) return;
    if (slot.mode == Later::Gather) {
      pass_over(*slot.node, kStrTag);
      if (slot.node->first == kStrTag) {
        // The list may hold the example until the array ends.
        const std::string_view value = keep(cleaned(text, has_controls), transient || has_controls);
        string_examples_.add(slot.node->strings, value, frames_.size(), hash_bytes);
      }
      return;
    }
    if (!reaches_fold(slot, kStrTag)) return;
    const Arrival arrival = arrive(*slot.node, kStrTag);
    if (slot.first_item) settle_first_item(kStrTag, arrival);
    if (!keep_examples_) return;
    const bool at_top = frames_.empty();
    if (arrival != Arrival::Fresh && !at_top) return;
    const std::string_view value = keep(cleaned(text, has_controls), transient || has_controls);
    if (arrival == Arrival::Fresh) slot.node->strings.push_back(value);
    if (at_top) {
      top_kind_ = kStrTag;
      top_string_ = value;
    }
  }

  // Completes a document that read: its scalar joins the distinct scalar
  // documents.
  void commit() {
    journal_.clear();
    if (kFor == FoldFor::Outline || !keep_examples_) return;
    if (top_kind_ == kIntTag || top_kind_ == kFloatTag) {
      top_.add_number(top_number_);
    } else if (top_kind_ == kStrTag && top_.is_new_string(top_string_)) {
      top_.strings.push_back(top_string_);
    }
  }

  // Takes back every change of the document being folded.
  void rollback() {
    int_examples_.abandon();
    float_examples_.abandon();
    string_examples_.abandon();
    for (auto entry = journal_.rbegin(); entry != journal_.rend(); ++entry) undo(*entry);
    journal_.clear();
  }

  bool stopped() const { return stopped_; }

 private:
  static double value_of(const NumberToken& token) { return float_token_value(token); }
  static double value_of(double value) { return value; }

  bool stop() {
    stopped_ = true;
    return false;
  }

  void note(JournalEntry::Change change, SummaryNode& node, std::uint64_t before) {
    if constexpr (kFor == FoldFor::Summary) journal_.push_back({change, &node, before});
  }

  void undo(const JournalEntry& entry) {
    SummaryNode& node = *entry.node;
    switch (entry.change) {
      case JournalEntry::Change::FirstSet:
        node.first = kNoKind;
        node.kinds = static_cast<std::uint8_t>(entry.before);
        node.bool_example.reset();
        node.ints.clear();
        node.floats.clear();
        node.strings.clear();
        break;
      case JournalEntry::Change::Kinds:
        node.kinds = static_cast<std::uint8_t>(entry.before);
        break;
      case JournalEntry::Change::Seen:
        node.seen = static_cast<std::uint8_t>(entry.before);
        node.loose = static_cast<std::uint8_t>(entry.before >> 8);
        break;
      case JournalEntry::Change::MaxItems:
        node.max_items = entry.before;
        break;
      case JournalEntry::Change::ItemCreated:
        node.item.reset();
        break;
      case JournalEntry::Change::FieldAppended:
        node.fields.resize(entry.before);
        node.fields_stale = true;
        break;
      case JournalEntry::Change::FieldAbsent:
        node.fields[entry.before].absent = false;
        node.fields_stale = true;
        break;
      case JournalEntry::Change::ObjectsSeen:
        node.objects_seen = false;
        break;
    }
  }

  std::string_view keep(std::string_view text, bool transient) {
    if (kFor == FoldFor::Outline && !transient) return text;
    return strings_.copy_string(text);
  }

  // The string as the clean-up leaves it: without control characters other
  // than LF. A change emits the clean-up's event, and marks the containers
  // around it for theirs.
  std::string_view cleaned(std::string_view text, bool has_controls) {
    if (!has_controls) return text;
    if (!frames_.empty()) frames_.back().cleaned = true;
    return event_values::cleaned_string(context_, text, cleaned_);
  }

  void scalar(KindTag kind) {
    const Slot slot = take_slot();
    if (!reaches_fold(slot, kind)) return;
    const Arrival arrival = arrive(*slot.node, kind);
    if (slot.first_item) settle_first_item(kind, arrival);
    if (frames_.empty()) top_kind_ = kind;
  }

  // Whether a value goes on to the folds at its node. A value of an array
  // that gathers examples, or of one whose later items change nothing, is
  // still seen at its node: the JSON Schema must admit it.
  bool reaches_fold(const Slot& slot, KindTag kind) {
    if (slot.node == nullptr) return false;
    if (slot.mode == Later::Chain) return true;
    pass_over(*slot.node, kind);
    return false;
  }

  // Notes a value that the folds do not take: its kind was seen here, and a
  // container's members are not known.
  void pass_over(SummaryNode& node, KindTag kind) { see(node, kind, is_container_tag(kind)); }

  // Notes a value's kind at its node, and when loose, that the members of
  // containers of that kind are not all known there.
  void see(SummaryNode& node, KindTag kind, bool loose_members) {
    if constexpr (kFor == FoldFor::Outline) return;
    const std::uint8_t bit = kind_bit(kind);
    const std::uint8_t loose = loose_members ? bit : 0;
    if ((node.seen & bit) == 0 || (node.loose & loose) != loose) [[unlikely]] add_seen(node, bit, loose);
  }

  [[gnu::noinline]] void add_seen(SummaryNode& node, std::uint8_t bit, std::uint8_t loose) {
    note(JournalEntry::Change::Seen, node, std::uint64_t{node.seen} | std::uint64_t{node.loose} << 8);
    node.seen |= bit;
    node.loose |= loose;
  }

  // Where the value that starts now goes.
  [[gnu::always_inline]] Slot take_slot() {
    if (frames_.empty()) return {&root_, Later::Chain, false};
    Frame& frame = frames_.back();
    if (frame.is_object) return pending_;
    const std::uint64_t index = frame.count++;
    if (frame.node == nullptr) return {};
    if (index == 0) return {frame.node->item.get(), Later::Chain, true};
    return {frame.node->item.get(), frame.later, false};
  }

  // The first item of an array decides where the others go: a container's
  // kind folds them, a first scalar at its node gathers examples from the
  // items of its kind, and anything else leaves them nothing to change.
  void settle_first_item(KindTag kind, Arrival arrival) {
    Frame& array = frames_.back();
    if (is_container_tag(kind)) {
      array.later = Later::Chain;
    } else if (arrival == Arrival::Fresh && keep_examples_ && (kind == kIntTag || kind == kFloatTag || kind == kStrTag)) {
      array.later = Later::Gather;
    } else {
      array.later = Later::Skip;
    }
  }

  [[gnu::always_inline]] Arrival arrive(SummaryNode& node, KindTag kind, bool seen = true) {
    ScopeStamp& inner = node.innermost;
    if (inner.scope == innermost_scope_) [[likely]] {
      // Mostly the value meets the fold of its own array, begun by an
      // earlier item of the same kind.
      if (inner.kind == kind) {
        if (inner.joined) return is_container_tag(kind) || kind == kIntTag ? Arrival::Joined : Arrival::Ignored;
        if (is_container_tag(kind)) pass_over(node, kind);
        return Arrival::Ignored;
      }
    } else if (outer_scope_ != 0 && node.outer_stamps.size() + 1 >= scopes_.size()) {
      // Next most often it is the first item of its array, and meets the
      // fold of the array around that one, of its own kind.
      const ScopeStamp& outer = node.outer_stamps[scopes_.size() - 2];
      if (outer.scope == outer_scope_ && outer.kind == kind) {
        const bool joined = outer.joined && (is_container_tag(kind) || kind == kIntTag);
        if (seen) see(node, kind, false);
        inner = {innermost_scope_, kind, joined};
        return joined ? Arrival::Joined : Arrival::Ignored;
      }
    }
    return arrive_outside_own_fold(node, kind, seen);
  }

  [[gnu::noinline]] Arrival arrive_outside_own_fold(SummaryNode& node, KindTag kind, bool seen) {
    if (scopes_.empty()) {
      see(node, kind, false);
      return record(node, kind);
    }
    return arrive_through_folds(node, kind, scopes_.size(), seen);
  }

  // The stamp of the array at level (from 1, outermost) around a node at
  // depth levels.
  static ScopeStamp& stamp(SummaryNode& node, std::size_t level, std::size_t depth) {
    return level == depth ? node.innermost : node.outer_stamps[level - 1];
  }

  // The null item that an empty array stands for is no value at its node
  // (seen is false): the JSON Schema need not admit a null there.
  Arrival arrive_through_folds(SummaryNode& node, KindTag kind, std::size_t depth, bool seen) {
    if (seen) see(node, kind, false);
    if (node.outer_stamps.size() + 1 < depth) node.outer_stamps.resize(depth - 1);
    std::size_t level = depth;
    while (level > 0 && stamp(node, level, depth).scope != scopes_[level - 1]) {
      stamp(node, level, depth) = {scopes_[level - 1], kind, false};
      --level;
    }
    const std::size_t started = level;
    const Arrival arrival = meet(node, kind, level, depth);
    for (std::size_t at = started + 1; at <= depth; ++at) stamp(node, at, depth).joined = arrival != Arrival::Ignored;
    if (arrival == Arrival::Ignored && is_container_tag(kind)) see(node, kind, true);
    return arrival;
  }

  // A value, or the fold it started, meets the fold of the array at level
  // (0: the summary itself).
  Arrival meet(SummaryNode& node, KindTag kind, std::size_t level, std::size_t depth) {
    while (level > 0) {
      ScopeStamp& met = stamp(node, level, depth);
      if (!met.joined) return Arrival::Ignored;
      if (met.kind == kind) return is_container_tag(kind) || kind == kIntTag ? Arrival::Joined : Arrival::Ignored;
      if (met.kind != kIntTag || kind != kFloatTag) return Arrival::Ignored;
      // An integer fold meeting a float becomes a float fold, which meets
      // the fold outside it as a float.
      met.kind = kFloatTag;
      --level;
    }
    return record(node, kind);
  }

  Arrival record(SummaryNode& node, KindTag kind) {
    if (node.first == kNoKind) {
      note(JournalEntry::Change::FirstSet, node, node.kinds);
      node.first = kind;
      node.kinds |= kind_bit(kind);
      return Arrival::Fresh;
    }
    if (!node.has(kind)) {
      note(JournalEntry::Change::Kinds, node, node.kinds);
      node.kinds |= kind_bit(kind);
    }
    return Arrival::Joined;
  }

  [[gnu::always_inline]] void begin(KindTag kind) {
    const Slot slot = take_slot();
    Frame frame;
    frame.is_object = kind == kObjectTag;
    if (reaches_fold(slot, kind)) {
      const Arrival arrival = arrive(*slot.node, kind);
      if (slot.first_item) settle_first_item(kind, arrival);
      if (arrival != Arrival::Ignored) open(*slot.node, frame);
    }
    if (frames_.empty()) top_kind_ = kind;
    frames_.push_back(frame);
  }

  void open(SummaryNode& node, Frame& frame) {
    frame.node = &node;
    if (frame.is_object) {
      if (node.fields_stale) reindex_fields(node);
      frame.serial = ++serial_;
      frame.objects_before = node.objects_seen;
      if (!node.objects_seen) {
        note(JournalEntry::Change::ObjectsSeen, node, 0);
        node.objects_seen = true;
      }
      return;
    }
    if (!node.item) {
      note(JournalEntry::Change::ItemCreated, node, 0);
      node.item = std::make_unique<SummaryNode>();
    }
    outer_scope_ = innermost_scope_;
    innermost_scope_ = ++serial_;
    scopes_.push_back(innermost_scope_);
  }

  [[gnu::always_inline]] void end() {
    if (keep_examples_) {
      int_examples_.finish_at(frames_.size());
      float_examples_.finish_at(frames_.size());
      string_examples_.finish_at(frames_.size());
    }
    Frame& frame = frames_.back();
    if (frame.node != nullptr) {
      if (frame.is_object) {
        finish_object(*frame.node, frame.serial);
      } else {
        finish_array(*frame.node, frame);
      }
    }
    const bool cleaned = frame.cleaned;
    frames_.pop_back();
    if (cleaned) {
      event_values::note_cleaned_value(context_);
      if (!frames_.empty()) frames_.back().cleaned = true;
    }
  }

  void finish_array(SummaryNode& node, const Frame& frame) {
    // An empty array's item is a null.
    if (frame.count == 0) arrive(*node.item, kNullTag, false);
    if (frame.count > node.max_items) {
      note(JournalEntry::Change::MaxItems, node, node.max_items);
      node.max_items = frame.count;
    }
    scopes_.pop_back();
    const std::size_t depth = scopes_.size();
    innermost_scope_ = depth > 0 ? scopes_[depth - 1] : 0;
    outer_scope_ = depth > 1 ? scopes_[depth - 2] : 0;
  }

  // The keys present in every earlier object that this one lacks become
  // absent, and leave the list for good.
  void finish_object(SummaryNode& node, std::uint64_t serial) {
    std::vector<std::uint32_t>& present = node.present_everywhere;
    std::size_t kept = 0;
    for (const std::uint32_t at : present) {
      SummaryField& field = node.fields[at];
      if (field.visit == serial) {
        present[kept++] = at;
      } else {
        note(JournalEntry::Change::FieldAbsent, node, at);
        field.absent = true;
      }
    }
    present.resize(kept);
  }

  Context& context_;
  SummaryNode& root_;
  std::uint64_t& serial_;
  ShapeSummary::TopGather& top_;
  JsonArena& strings_;
  const bool keep_examples_;

  GrowingStack<Frame> frames_;
  // The fold of each array open around the value being read.
  GrowingStack<std::uint64_t> scopes_;
  std::uint64_t innermost_scope_ = 0;
  std::uint64_t outer_scope_ = 0;  // the scope of the array around the innermost one
  Slot pending_;
  bool stopped_ = false;
  std::string cleaned_;
  std::vector<JournalEntry> journal_;
  ExampleGatherer<std::int64_t> int_examples_;
  ExampleGatherer<double> float_examples_;
  ExampleGatherer<std::string_view> string_examples_;

  // The document's root, when it is a scalar.
  KindTag top_kind_ = kNoKind;
  TaggedNumber top_number_;
  std::string_view top_string_;
};

// Feeds a document tree to a folder as the reader would, with an explicit
// stack so that depth costs no native stack.
void walk_tree(const JsonValue& document, Folder<FoldFor::Summary>& folder) {
  struct Open {
    const JsonValue* container;
    std::size_t next;
  };
  std::vector<Open> open;
  auto visit = [&](const JsonValue& value) {
    switch (value.kind()) {
      case JsonValue::Kind::Null: folder.null_value(); break;
      case JsonValue::Kind::Bool: folder.bool_value(value.as_bool()); break;
      case JsonValue::Kind::Number: {
        const JsonNumber& number = value.as_number();
        if (number.kind == JsonNumber::Kind::F64) {
          folder.float_value(number.f64_value);
        } else if (number.kind == JsonNumber::Kind::U64 && number.u64_value > std::uint64_t{INT64_MAX}) {
          folder.float_value(static_cast<double>(number.u64_value));
        } else {
          folder.integer_value(number);
        }
        break;
      }
      case JsonValue::Kind::String: folder.string_value(value.as_string(), true, false); break;
      case JsonValue::Kind::Array:
        folder.begin_array();
        open.push_back({&value, 0});
        break;
      case JsonValue::Kind::Object:
        folder.begin_object();
        open.push_back({&value, 0});
        break;
    }
  };
  visit(document);
  while (!open.empty()) {
    Open& top = open.back();
    const JsonValue& container = *top.container;
    if (container.is(JsonValue::Kind::Array)) {
      if (top.next == container.items().size()) {
        open.pop_back();
        folder.end_array();
        continue;
      }
      visit(container.items()[top.next++]);
    } else {
      const ObjectMembers members = container.members();
      if (top.next == members.size()) {
        open.pop_back();
        folder.end_object();
        continue;
      }
      const JsonMember& member = members.begin()[top.next++];
      // Keys of a tree are unique, so the fold never stops.
      (void)folder.key(member.key, true);
      visit(member.value);
    }
  }
}

// Folds the document of text as one more document of summary; a fold that
// fails is taken back (for an Outline fold, the caller drops the summary).
template <FoldFor kFor>
FoldOutcome fold_document_text(Context& context, SummaryNode& root, ShapeSummary::TopGather& top, JsonArena& strings,
                               std::uint64_t& serial, bool keep_examples, std::uint64_t& documents,
                               std::string_view text, Json5ReadError* failure, bool valid_utf8) {
  Folder<kFor> folder(context, root, top, strings, serial, keep_examples);
  Json5EventReader reader =
      valid_utf8 ? Json5EventReader(context, text, folder, true) : Json5EventReader(context, text, folder);
  const auto outcome = reader.read();
  if (outcome == decltype(reader)::Outcome::Read) {
    folder.commit();
    ++documents;
    return FoldOutcome::Folded;
  }
  folder.rollback();
  if (outcome == decltype(reader)::Outcome::Stopped && folder.stopped()) return FoldOutcome::NeedsTree;
  if (failure != nullptr) *failure = reader.failure();
  return FoldOutcome::DoesNotRead;
}

}  // namespace

FoldOutcome SummaryBuilder::fold_text(Context& context, ShapeSummary& summary, std::string_view text,
                                      Json5ReadError* failure, bool valid_utf8) {
  return fold_document_text<FoldFor::Summary>(context, *summary.root_, *summary.top_, summary.strings_,
                                              summary.fold_serial_, summary.keep_examples_, summary.documents_, text,
                                              failure, valid_utf8);
}

FoldOutcome SummaryBuilder::fold_outline(Context& context, ShapeSummary& summary, std::string_view text) {
  return fold_document_text<FoldFor::Outline>(context, *summary.root_, *summary.top_, summary.strings_,
                                              summary.fold_serial_, summary.keep_examples_, summary.documents_, text,
                                              nullptr, false);
}

struct SummaryBuilder::ResumableOutline::Fold {
  using Reader = Json5EventReader<Folder<FoldFor::Outline>>;

  Fold(Context& work, ShapeSummary& into)
      : context(work),
        summary(into),
        folder(work, *into.root_, *into.top_, into.strings_, into.fold_serial_, into.keep_examples_) {}

  FoldOutcome outcome_of(Reader::Outcome outcome) {
    if (outcome == Reader::Outcome::Read) {
      folder.commit();
      ++summary.documents_;
      return FoldOutcome::Folded;
    }
    if (outcome == Reader::Outcome::Stopped && folder.stopped()) return FoldOutcome::NeedsTree;
    return FoldOutcome::DoesNotRead;
  }

  Context& context;
  ShapeSummary& summary;
  Folder<FoldFor::Outline> folder;
  std::optional<Reader> reader;
  // The text read first, and whether it is valid UTF-8.
  std::string_view text;
  bool valid_utf8 = false;
  // Whether the fold holds events of a candidate after the text it read
  // first, whose bytes the summary may point into.
  bool folded_candidate = false;
};

SummaryBuilder::ResumableOutline::ResumableOutline(Context& context, ShapeSummary& summary)
    : fold_(std::make_unique<Fold>(context, summary)) {}

SummaryBuilder::ResumableOutline::~ResumableOutline() = default;

FoldOutcome SummaryBuilder::ResumableOutline::fold(std::string_view text, bool valid_utf8,
                                                   ReadCheckpoints* checkpoints) {
  fold_->text = text;
  fold_->valid_utf8 = valid_utf8;
  fold_->reader.emplace(fold_->context, text, fold_->folder, fold_->valid_utf8);
  fold_->reader->note_checkpoints_in(checkpoints);
  return fold_->outcome_of(fold_->reader->read());
}

bool SummaryBuilder::ResumableOutline::may_go_on_in(std::string_view candidate, std::size_t common_prefix) const {
  return !fold_->folded_candidate && !fold_->folder.stopped() &&
         Fold::Reader::may_go_on_from(fold_->reader->stopped_at(), candidate, common_prefix);
}

FoldOutcome SummaryBuilder::ResumableOutline::go_on_in(std::string_view candidate, bool valid_utf8) {
  Fold& fold = *fold_;
  const std::size_t from = fold.reader->stopped_at().position;
  fold.reader->note_checkpoints_in(nullptr);
  const FoldOutcome outcome = fold.outcome_of(fold.reader->read_on(candidate, valid_utf8));
  if (outcome != FoldOutcome::DoesNotRead) return outcome;
  // The candidate is the caller's for this call only: a fold that took none
  // of its events stands in the text again.
  fold.folded_candidate = fold.reader->stopped_at().position != from;
  if (!fold.folded_candidate) fold.reader->return_to(fold.text, fold.valid_utf8);
  return outcome;
}

void SummaryBuilder::fold_tree(Context& context, ShapeSummary& summary, const JsonValue& document) {
  Folder<FoldFor::Summary> folder(context, *summary.root_, *summary.top_, summary.strings_, summary.fold_serial_,
                                  summary.keep_examples_);
  walk_tree(document, folder);
  folder.commit();
  ++summary.documents_;
}

}  // namespace plomet
