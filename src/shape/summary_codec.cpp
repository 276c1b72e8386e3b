// The byte form of a ShapeSummary. Little-endian, unsigned integers as
// LEB128 varints, signed ones zigzagged first, doubles as their 8 bytes:
//
//   "PLSH" version:u8 flags:u8 documents:varint node gather
//   node   = first:u8 kinds:u8 seen:u8 loose:u8 marks:u8 examples max_items:varint [item:node]
//            field-count:varint (key absent:u8 value:node)*
//   gather = count:varint (tag:u8 number)* count:varint string*
//
// A string is its byte count and its UTF-8 bytes. Only the examples of the
// node's first kind are written. The reader checks every invariant the
// summary relies on, so bytes from anywhere give a summary or an error.
#include <bit>
#include <cmath>
#include <cstring>

#include "core/container_stack.h"
#include "shape/shape_summary.h"
#include "shape/summary_node.h"
#include "text/text_scan.h"

namespace plomet {

namespace {

constexpr std::string_view kMagic = "PLSH";
constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kKeepsExamples = 1;

// Node marks.
constexpr std::uint8_t kObjectsSeen = 1;
constexpr std::uint8_t kHasItem = 2;
constexpr std::uint8_t kHasBoolExample = 4;
constexpr std::uint8_t kBoolExampleTrue = 8;
constexpr std::uint8_t kKnownMarks = kObjectsSeen | kHasItem | kHasBoolExample | kBoolExampleTrue;

// Positions nest one level per nesting level of a document, and the reader
// bounds that.
constexpr std::size_t kMaxNodeDepth = kMaxNestingDepth + 2;

constexpr std::uint8_t kAllKinds = 0x7F;
constexpr std::uint8_t kContainerKinds =
    kind_bit(kArrayTag) | kind_bit(kObjectTag);

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void byte(std::uint8_t value) { out_.push_back(static_cast<char>(value)); }
  void varint(std::uint64_t value) {
    while (value >= 0x80) {
      byte(static_cast<std::uint8_t>(value | 0x80));
      value >>= 7;
    }
    byte(static_cast<std::uint8_t>(value));
  }
  void integer(std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    varint((bits << 1) ^ (value < 0 ? ~std::uint64_t{0} : 0));
  }
  void real(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) byte(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
  void text(std::string_view value) {
    varint(value.size());
    out_.append(value);
  }

  void node(const SummaryNode& node) {
    byte(node.first);
    byte(node.kinds);
    byte(node.seen);
    byte(node.loose);
    std::uint8_t marks = 0;
    if (node.objects_seen) marks |= kObjectsSeen;
    if (node.item) marks |= kHasItem;
    if (node.bool_example) marks |= kHasBoolExample;
    if (node.bool_example.value_or(false)) marks |= kBoolExampleTrue;
    byte(marks);
    switch (node.first) {
      case kIntTag:
        varint(node.ints.size());
        for (std::int64_t value : node.ints) integer(value);
        break;
      case kFloatTag:
        varint(node.floats.size());
        for (double value : node.floats) real(value);
        break;
      case kStrTag:
        varint(node.strings.size());
        for (std::string_view value : node.strings) text(value);
        break;
      default:
        break;
    }
    varint(node.max_items);
    if (node.item) this->node(*node.item);
    varint(node.fields.size());
    for (const SummaryField& field : node.fields) {
      text(field.key);
      byte(field.absent ? 1 : 0);
      this->node(*field.value);
    }
  }

 private:
  std::string& out_;
};

class Reader {
 public:
  Reader(std::string_view bytes, JsonArena& strings) : bytes_(bytes), strings_(strings) {}

  const std::string& error() const { return error_; }
  bool at_end() const { return at_ == bytes_.size(); }

  bool fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }
  bool corrupted(std::string_view what) { return fail("shape bytes are corrupted: " + std::string(what)); }

  bool byte(std::uint8_t& value) {
    if (at_ == bytes_.size()) return fail("shape bytes are cut short");
    value = static_cast<std::uint8_t>(bytes_[at_++]);
    return true;
  }
  bool varint(std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      std::uint8_t b = 0;
      if (!byte(b)) return false;
      if (shift == 63 && b > 1) break;
      value |= std::uint64_t{b & 0x7Fu} << shift;
      if ((b & 0x80) == 0) return true;
    }
    return corrupted("a number is too long");
  }
  // A count of items of at least min_bytes each, checked against what is left.
  bool count(std::uint64_t& value, std::size_t min_bytes) {
    if (!varint(value)) return false;
    if (value > (bytes_.size() - at_) / min_bytes) return fail("shape bytes are cut short");
    return true;
  }
  bool integer(std::int64_t& value) {
    std::uint64_t bits = 0;
    if (!varint(bits)) return false;
    value = static_cast<std::int64_t>((bits >> 1) ^ (~(bits & 1) + 1));
    return true;
  }
  bool real(double& value) {
    if (bytes_.size() - at_ < 8) return fail("shape bytes are cut short");
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i) bits |= std::uint64_t{static_cast<std::uint8_t>(bytes_[at_ + i])} << (8 * i);
    at_ += 8;
    value = std::bit_cast<double>(bits);
    if (!std::isfinite(value)) return corrupted("a number example is not finite");
    return true;
  }
  bool text(std::string_view& value) {
    std::uint64_t size = 0;
    if (!count(size, 1)) return false;
    const std::string_view raw = bytes_.substr(at_, size);
    at_ += size;
    if (scan::find_invalid_utf8(raw) != scan::kValidUtf8) return corrupted("a text is not UTF-8");
    value = strings_.copy_string(raw);
    return true;
  }

  bool node(SummaryNode& node, std::size_t depth) {
    if (depth > kMaxNodeDepth) return corrupted("positions nest too deeply");
    std::uint8_t marks = 0;
    if (!byte(node.first) || !byte(node.kinds) || !byte(node.seen) || !byte(node.loose) || !byte(marks)) return false;
    if (node.kinds > kAllKinds || node.seen > kAllKinds || (marks & ~kKnownMarks) != 0) {
      return corrupted("unknown kinds or marks");
    }
    if ((node.loose & ~node.seen) != 0 || (node.loose & ~kContainerKinds) != 0) {
      return corrupted("loose members of a kind not seen");
    }
    if (node.first == kNoKind ? node.kinds != 0 || node.seen != 0 || marks != 0 : node.first > 6 || !node.has(node.first)) {
      return corrupted("a position's first kind does not match its kinds");
    }
    if ((marks & kHasBoolExample) != 0) {
      if (node.first != kBoolTag) return corrupted("a boolean example on another kind");
      node.bool_example = (marks & kBoolExampleTrue) != 0;
    }
    if (!examples(node)) return false;
    if (!varint(node.max_items)) return false;
    if ((marks & kHasItem) != 0) {
      if (!node.has(kArrayTag)) return corrupted("an item position without arrays");
      node.item = std::make_unique<SummaryNode>();
      if (!this->node(*node.item, depth + 1)) return false;
    }
    node.objects_seen = (marks & kObjectsSeen) != 0;
    if (node.objects_seen && !node.has(kObjectTag)) return corrupted("objects without their kind");
    return fields(node, depth);
  }

 private:
  bool examples(SummaryNode& node) {
    const KindTag first = node.first;
    if (first != kIntTag && first != kFloatTag &&
        first != kStrTag) {
      return true;
    }
    std::uint64_t n = 0;
    if (!count(n, 1)) return false;
    for (std::uint64_t i = 0; i < n; ++i) {
      if (first == kIntTag) {
        if (!integer(node.ints.emplace_back())) return false;
      } else if (first == kFloatTag) {
        if (!real(node.floats.emplace_back())) return false;
      } else if (!text(node.strings.emplace_back())) {
        return false;
      }
    }
    return true;
  }

  bool fields(SummaryNode& node, std::size_t depth) {
    std::uint64_t n = 0;
    if (!count(n, 5)) return false;
    if (n > 0 && !node.objects_seen) return corrupted("keys without objects");
    PositionIndex keys;
    keys.reset(n);
    for (std::uint64_t i = 0; i < n; ++i) {
      SummaryField& field = node.fields.emplace_back();
      std::uint8_t absent = 0;
      if (!text(field.key) || !byte(absent)) return false;
      if (absent > 1) return corrupted("unknown key mark");
      const auto position = static_cast<std::uint32_t>(i);
      if (!keys.insert_unique(hash_bytes(field.key), position,
                              [&](std::uint32_t at) { return node.fields[at].key == field.key; })) {
        return corrupted("a key appears twice in one position");
      }
      field.absent = absent == 1;
      field.value = std::make_unique<SummaryNode>();
      if (!this->node(*field.value, depth + 1)) return false;
    }
    node.fields_stale = true;
    return true;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
  JsonArena& strings_;
  std::string error_;
};

}  // namespace

class SummaryCodec {
 public:
  static std::string write(const ShapeSummary& summary) {
    std::string out(kMagic);
    Writer writer(out);
    writer.byte(kVersion);
    writer.byte(summary.keep_examples_ ? kKeepsExamples : 0);
    writer.varint(summary.documents_);
    writer.node(*summary.root_);
    const ShapeSummary::TopGather& top = *summary.top_;
    writer.varint(top.numbers.size());
    for (const TaggedNumber& number : top.numbers) {
      writer.byte(number.is_float ? 1 : 0);
      if (number.is_float) {
        writer.real(number.real);
      } else {
        writer.integer(number.integer);
      }
    }
    writer.varint(top.strings.size());
    for (std::string_view text : top.strings) writer.text(text);
    return out;
  }

  static Expected<ShapeSummary, std::string> read(std::string_view bytes) {
    if (!bytes.starts_with(kMagic)) return Unexpected(std::string("not the bytes of a plomet shape"));
    if (bytes.size() > kMagic.size() && static_cast<std::uint8_t>(bytes[kMagic.size()]) != kVersion) {
      return Unexpected("shape bytes of version " + std::to_string(static_cast<std::uint8_t>(bytes[kMagic.size()])) +
                        "; this plomet reads version " + std::to_string(kVersion));
    }
    ShapeSummary summary;
    Reader reader(bytes.substr(kMagic.size()), summary.strings_);
    std::uint8_t version = 0;
    std::uint8_t flags = 0;
    if (!reader.byte(version) || !reader.byte(flags)) return Unexpected(reader.error());
    if ((flags & ~kKeepsExamples) != 0) return Unexpected(std::string("shape bytes are corrupted: unknown flags"));
    summary.keep_examples_ = (flags & kKeepsExamples) != 0;
    if (!reader.varint(summary.documents_) || !reader.node(*summary.root_, 0) || !gather(reader, summary)) {
      return Unexpected(reader.error());
    }
    if ((summary.documents_ == 0) != (summary.root_->first == kNoKind)) {
      return Unexpected(std::string("shape bytes are corrupted: the document count does not match"));
    }
    if (!reader.at_end()) return Unexpected(std::string("shape bytes are corrupted: bytes after the end"));
    return summary;
  }

 private:
  static bool gather(Reader& reader, ShapeSummary& summary) {
    ShapeSummary::TopGather& top = *summary.top_;
    std::uint64_t n = 0;
    if (!reader.count(n, 2)) return false;
    for (std::uint64_t i = 0; i < n; ++i) {
      std::uint8_t tag = 0;
      TaggedNumber number;
      if (!reader.byte(tag)) return false;
      if (tag > 1) return reader.corrupted("unknown number tag");
      number.is_float = tag == 1;
      if (!(number.is_float ? reader.real(number.real) : reader.integer(number.integer))) return false;
      if (!top.add_number(number)) return reader.corrupted("a number document appears twice");
    }
    if (!reader.count(n, 1)) return false;
    for (std::uint64_t i = 0; i < n; ++i) {
      std::string_view text;
      if (!reader.text(text)) return false;
      if (!top.is_new_string(text)) return reader.corrupted("a string document appears twice");
      top.strings.push_back(text);
    }
    if (!summary.keep_examples_ && (!top.numbers.empty() || !top.strings.empty())) {
      return reader.corrupted("examples in a shape that keeps none");
    }
    return true;
  }
};

std::string ShapeSummary::to_bytes() const { return SummaryCodec::write(*this); }

Expected<ShapeSummary, std::string> ShapeSummary::from_bytes(std::string_view bytes) {
  return SummaryCodec::read(bytes);
}

}  // namespace plomet
