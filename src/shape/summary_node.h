// One position of a ShapeSummary: what every value that arrived there adds,
// kept per kind so that summaries merge exactly (shape/shape_summary.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "core/position_index.h"
#include "shape/schema.h"

namespace plomet {

using KindTag = std::uint8_t;
inline constexpr KindTag kNoKind = 0xFF;

inline constexpr KindTag tag_of(Schema::Kind kind) { return static_cast<KindTag>(kind); }
inline constexpr std::uint8_t kind_bit(KindTag tag) { return static_cast<std::uint8_t>(1u << tag); }
inline constexpr KindTag kNullTag = tag_of(Schema::Kind::Null);
inline constexpr KindTag kBoolTag = tag_of(Schema::Kind::Bool);
inline constexpr KindTag kIntTag = tag_of(Schema::Kind::Int);
inline constexpr KindTag kFloatTag = tag_of(Schema::Kind::Float);
inline constexpr KindTag kStrTag = tag_of(Schema::Kind::Str);
inline constexpr KindTag kArrayTag = tag_of(Schema::Kind::Array);
inline constexpr KindTag kObjectTag = tag_of(Schema::Kind::Object);

inline constexpr bool is_container_tag(KindTag tag) {
  return tag == tag_of(Schema::Kind::Array) || tag == tag_of(Schema::Kind::Object);
}

struct SummaryNode;

struct SummaryField {
  std::string_view key;
  std::unique_ptr<SummaryNode> value;
  // Some object at this position lacked the key: it renders as optional.
  bool absent = false;
  // Folding: the serial of the last object that had the key.
  std::uint64_t visit = 0;
};

// Folding: the state of one enclosing array's fold at a node. The items of
// an array fold among themselves first, under the kind of the first of them
// to reach the node, and only that fold meets what lies outside the array.
struct ScopeStamp {
  std::uint64_t scope = 0;  // the array's fold; 0 is no fold
  KindTag kind = kNoKind;   // the kind of that fold at this node
  // Whether the fold joined the one enclosing it, so that what later changes
  // it (a float promoting an integer, more members) reaches further out.
  bool joined = false;
};

struct SummaryNode {
  SummaryNode() = default;
  SummaryNode(const SummaryNode&) = delete;
  SummaryNode& operator=(const SummaryNode&) = delete;
  // Releases nested positions from a work list, so depth costs no stack.
  ~SummaryNode();

  // The kind of the first value; it decides the rendered kind.
  KindTag first = kNoKind;
  // Every kind that arrived; a float arriving after a first integer makes
  // the position a float without examples.
  std::uint8_t kinds = 0;
  // Every kind of value found here, folded or not, and the container kinds
  // some of whose values were not folded, so their members are not known:
  // what the JSON Schema must admit.
  std::uint8_t seen = 0;
  std::uint8_t loose = 0;
  // The first value's example, when a boolean.
  std::optional<bool> bool_example;
  // Objects: whether any reached the node.
  bool objects_seen = false;
  // Folding: the key index and the fields present everywhere no longer match
  // the fields; rebuilt before the next fold of an object here.
  bool fields_stale = false;
  // Folding: the stamp of the innermost enclosing array, kept beside the
  // kind since nearly every value reaching the node reads it.
  ScopeStamp innermost;

  // The first value's examples (only the list of its kind is used).
  LargeVector<std::int64_t> ints;
  LargeVector<double> floats;
  LargeVector<std::string_view> strings;

  // Arrays: the longest, and the position of their items.
  std::uint64_t max_items = 0;
  std::unique_ptr<SummaryNode> item;

  // Objects: keys in order of first appearance.
  std::vector<SummaryField> fields;
  // Folding: a key index over fields[0, indexed) for objects of many keys,
  // and the positions of the fields not yet absent.
  PositionIndex key_index;
  std::size_t indexed = 0;
  std::vector<std::uint32_t> present_everywhere;

  // Folding: the stamps of the arrays around the innermost one, outermost
  // first.
  std::vector<ScopeStamp> outer_stamps;

  bool has(KindTag tag) const { return (kinds & kind_bit(tag)) != 0; }

  // The kind the position is shown as: its first, except that an integer
  // position that met a float is a float one; with no examples, since only a
  // first float keeps any.
  KindTag shown_kind() const { return first == kIntTag && has(kFloatTag) ? kFloatTag : first; }
};

// The position of key among node's fields, or fields.size(); hint is tried
// first. Many fields are searched through the key index.
std::size_t find_field(SummaryNode& node, std::string_view key, std::size_t hint);

// Rebuilds what folding keeps beside the fields (key index, fields present
// everywhere) after fields were dropped or marked outside a fold.
void reindex_fields(SummaryNode& node);

}  // namespace plomet

#include "shape/shape_summary.h"

namespace plomet {

// A number document, as written: an integer or a float.
struct TaggedNumber {
  bool is_float = false;
  std::int64_t integer = 0;
  double real = 0;

  bool operator==(const TaggedNumber& other) const {
    return is_float == other.is_float && (is_float ? real == other.real : integer == other.integer);
  }
  std::uint64_t hash() const { return is_float ? ~hash_double(real) : hash_integer(integer); }
};

// The distinct number and string documents, each list in order of first
// appearance; rendering picks from them by the first document's kind.
struct ShapeSummary::TopGather {
  std::vector<TaggedNumber> numbers;
  PositionIndex number_index;
  LargeVector<std::string_view> strings;
  PositionIndex string_index;

  // Whether value is new; the caller appends a string it keeps.
  bool add_number(const TaggedNumber& value);
  bool is_new_string(std::string_view value);
  void reindex();
};

}  // namespace plomet
