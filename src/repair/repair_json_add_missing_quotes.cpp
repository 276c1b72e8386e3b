// The missing-quote repair: the text is cut into loose tokens, a value is
// rebuilt from them, and that value is written out as compact JSON.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnostics.h"
#include "core/interrupt_poll.h"
#include "repair/loose_reader.h"
#include "read/read_json5.h"
#include "repair/repair_passes.h"
#include "repair/repair_support.h"
#include "text/text_scan.h"
#include "core/internal_fault.h"
#include "shape/leaf_text.h"

namespace plomet {
namespace {

using Kind = LooseToken::Kind;

RepairError nesting_too_deep() {
  return RepairError::unrepairable("nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t count_digits(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && is_digit(text[end])) ++end;
  return end - from;
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_word[i]) return false;
  }
  return true;
}

// An optional sign, one or more digits and nothing else, within the signed
// 64-bit range.
std::optional<std::int64_t> signed_integer(std::string_view text) {
  std::size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (text.size() == sign || count_digits(text, sign) != text.size() - sign) return std::nullopt;
  // from_chars takes a minus sign but no plus sign.
  std::string_view digits = text[0] == '+' ? text.substr(1) : text;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

enum class FloatForm { NotAFloat, Decimal, NonFiniteWord };

// The float grammar: an optional sign, then digits with an optional `.` and
// optional further digits, or a `.` and digits, then an optional exponent;
// or an optional sign and inf, infinity or nan in any letter case.
FloatForm float_form(std::string_view text) {
  std::size_t pos = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  std::string_view unsigned_part = text.substr(pos);
  for (std::string_view word : {"inf", "infinity", "nan"}) {
    if (equals_ignoring_ascii_case(unsigned_part, word)) return FloatForm::NonFiniteWord;
  }
  std::size_t integer_digits = count_digits(text, pos);
  pos += integer_digits;
  std::size_t fraction_digits = 0;
  if (pos < text.size() && text[pos] == '.') {
    fraction_digits = count_digits(text, pos + 1);
    pos += 1 + fraction_digits;
  }
  if (integer_digits == 0 && fraction_digits == 0) return FloatForm::NotAFloat;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    std::size_t exponent_digits = count_digits(text, pos);
    if (exponent_digits == 0) return FloatForm::NotAFloat;
    pos += exponent_digits;
  }
  return pos == text.size() ? FloatForm::Decimal : FloatForm::NotAFloat;
}

// Whether a text of the float grammar whose value lies outside the double
// range is too large rather than too small. Such values lie far from 1 on
// either side, so the sign of the decimal exponent of the leading nonzero
// digit decides.
bool overflows(std::string_view text) {
  std::size_t pos = text[0] == '+' || text[0] == '-' ? 1 : 0;
  std::size_t integer_end = pos + count_digits(text, pos);
  std::int64_t lead_exponent = 0;
  std::size_t first_nonzero = text.find_first_not_of('0', pos);
  if (first_nonzero < integer_end) {
    lead_exponent = static_cast<std::int64_t>(integer_end - first_nonzero) - 1;
  } else if (integer_end < text.size() && text[integer_end] == '.') {
    std::size_t fraction_start = integer_end + 1;
    std::size_t fraction_end = fraction_start + count_digits(text, fraction_start);
    std::size_t leading_zeros = std::min(text.find_first_not_of('0', fraction_start), fraction_end) - fraction_start;
    lead_exponent = -static_cast<std::int64_t>(leading_zeros) - 1;
  }
  std::size_t e = text.find_first_of("eE");
  std::int64_t exponent = 0;
  if (e != std::string_view::npos) {
    pos = e + 1;
    bool negative = text[pos] == '-';
    if (text[pos] == '+' || text[pos] == '-') ++pos;
    // Saturates far beyond any digit count a text can hold.
    constexpr std::int64_t kSaturated = std::int64_t{1} << 50;
    for (; pos < text.size() && exponent < kSaturated; ++pos) exponent = exponent * 10 + (text[pos] - '0');
    if (negative) exponent = -exponent;
  }
  return lead_exponent + exponent >= 0;
}

// Reads values from loose tokens without recursion: open arrays and objects
// are frames on an explicit stack, and their items and members wait on
// shared stacks until the container closes. Deep nesting thus costs heap,
// not call stack, and the whole read allocates only as the stacks grow.
class LooseReader {
 public:
  enum class Start { Value, Array, Object };

  LooseReader(LooseTokenStream& tokens, JsonArena& arena) : tokens_(tokens), arena_(arena) {}

  LooseReadResult read(Start start);

 private:
  struct Frame {
    bool is_object;
    std::size_t first;     // index of its first item or member on the shared stack
    std::string_view key;  // of the member whose value is being read
  };
  enum class MemberStep { ObjectClosed, ValueFollows, MemberDone };

  bool at(char punct) const { return !tokens_.empty() && tokens_.front().is_punct(punct); }
  void discard_filler() {
    while (!tokens_.empty() && tokens_.front().is_filler()) tokens_.pop();
  }
  // Discards space, comments and commas, and colons too when asked.
  void discard_separators(bool colons) {
    while (!tokens_.empty()) {
      const LooseToken& token = tokens_.front();
      if (!token.is_filler() && !token.is_punct(',') && !(colons && token.is_punct(':'))) break;
      tokens_.pop();
    }
  }

  bool open(bool is_object) {
    if (frames_.size() >= kMaxNestingDepth) return false;
    frames_.push_back({is_object, is_object ? members_.size() : items_.size(), {}});
    return true;
  }
  JsonValue close();
  LooseReadResult read_scalar();
  MemberStep start_member();
  // Appends the texts of the tokens from the front while they have text,
  // joined with single spaces, skipping space and comments. Returns how many.
  std::size_t collect_texts(std::size_t* last_start);

  LooseTokenStream& tokens_;
  JsonArena& arena_;
  std::vector<Frame> frames_;
  std::vector<JsonValue> items_;
  std::vector<JsonMember> members_;
  std::string scratch_;
};

LooseReadResult LooseReader::read(Start start) {
  enum class Step { Value, ArrayItem, ObjectMember, Deliver };
  Step step = Step::Value;
  if (start != Start::Value) {
    open(start == Start::Object);
    step = start == Start::Object ? Step::ObjectMember : Step::ArrayItem;
  }
  JsonValue value;
  for (;;) {
    switch (step) {
      case Step::Value:
        discard_separators(true);
        if (tokens_.empty()) {
          value = JsonValue::null();
          step = Step::Deliver;
        } else if (tokens_.front().has_text()) {
          LooseReadResult scalar = read_scalar();
          if (!scalar) return scalar;
          value = *scalar;
          step = Step::Deliver;
        } else {
          char punct = tokens_.front().punct;
          tokens_.pop();
          if (punct == '[' || punct == '{') {
            if (!open(punct == '{')) return Unexpected(nesting_too_deep());
            step = punct == '{' ? Step::ObjectMember : Step::ArrayItem;
          } else {
            // A closer where a value should be stands for an empty container.
            value = punct == ']' ? make_array({}, arena_) : make_object({}, arena_);
            step = Step::Deliver;
          }
        }
        break;
      case Step::ArrayItem:
        discard_separators(false);
        if (tokens_.empty() || at(']')) {
          if (!tokens_.empty()) tokens_.pop();
          value = close();
          step = Step::Deliver;
        } else {
          step = Step::Value;
        }
        break;
      case Step::ObjectMember:
        switch (start_member()) {
          case MemberStep::ObjectClosed:
            value = close();
            step = Step::Deliver;
            break;
          case MemberStep::ValueFollows:
            step = Step::Value;
            break;
          case MemberStep::MemberDone:
            break;
        }
        break;
      case Step::Deliver:
        if (frames_.empty()) return value;
        if (frames_.back().is_object) {
          members_.push_back({frames_.back().key, value});
          step = Step::ObjectMember;
        } else {
          items_.push_back(value);
          step = Step::ArrayItem;
        }
        break;
    }
  }
}

JsonValue LooseReader::close() {
  Frame frame = frames_.back();
  frames_.pop_back();
  if (frame.is_object) {
    JsonValue object = make_object(std::span(members_).subspan(frame.first), arena_);
    members_.resize(frame.first);
    return object;
  }
  JsonValue array = make_array(std::span(items_).subspan(frame.first), arena_);
  items_.resize(frame.first);
  return array;
}

std::size_t LooseReader::collect_texts(std::size_t* last_start) {
  std::size_t count = 0;
  while (!tokens_.empty()) {
    const LooseToken& token = tokens_.front();
    if (token.has_text()) {
      if (count++ > 0) scratch_.push_back(' ');
      if (last_start) *last_start = scratch_.size();
      scratch_.append(token.text);
    } else if (!token.is_filler()) {
      break;
    }
    tokens_.pop();
  }
  return count;
}

LooseReadResult LooseReader::read_scalar() {
  scratch_.clear();
  collect_texts(nullptr);
  return classify_loose_scalar(scan::trim_whitespace(scratch_), arena_);
}

// The steps of one member up to its value: discards separators, then either
// closes the object, or reads the key and the colon, after which the value is
// read (ValueFollows, with the key in the frame) or settled here (MemberDone).
LooseReader::MemberStep LooseReader::start_member() {
  if (tokens_.empty()) return MemberStep::ObjectClosed;
  discard_separators(true);
  // A `]` where a key belongs closes the object too, so every turn of the
  // object's loop takes at least one token.
  if (at('}') || at(']')) {
    tokens_.pop();
    return MemberStep::ObjectClosed;
  }

  scratch_.clear();
  std::size_t last_part_start = 0;
  std::size_t parts = collect_texts(&last_part_start);

  discard_separators(false);
  bool colon_seen = at(':');
  if (colon_seen) tokens_.pop();
  discard_filler();

  std::string_view key = scratch_;
  bool value_follows = colon_seen;
  if (!value_follows && !tokens_.empty()) {
    const LooseToken& token = tokens_.front();
    value_follows = token.has_text() || token.is_punct('[') || token.is_punct('{');
  }
  if (value_follows) {
    frames_.back().key = arena_.copy_string(key);
    return MemberStep::ValueFollows;
  }
  JsonValue value;
  if (parts >= 2) {
    // {"a" "b"}: the last part is the value, exactly as written.
    value = JsonValue::string(arena_.copy_string(key.substr(last_part_start)));
    key = key.substr(0, last_part_start - 1);
  }
  members_.push_back({arena_.copy_string(key), value});
  return MemberStep::MemberDone;
}

void append_decimal(std::string& out, auto integer) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, integer);
  out.append(digits, end);
}

// Writes without recursion, like the reader: a stack of the containers
// being written, each with the index of its next child.
void write_value(const JsonValue& root, std::string& out) {
  struct Open {
    const JsonValue* container;
    std::size_t next;
  };
  std::vector<Open> open;
  const JsonValue* value = &root;
  for (;;) {
    if (interrupt::poll(interrupt::kValueUnits)) return;
    if (value) {
      switch (value->kind()) {
        case JsonValue::Kind::Null:
          out.append("null");
          break;
        case JsonValue::Kind::Bool:
          out.append(value->as_bool() ? "true" : "false");
          break;
        case JsonValue::Kind::Number: {
          const JsonNumber& n = value->as_number();
          switch (n.kind) {
            case JsonNumber::Kind::U64: append_decimal(out, n.u64_value); break;
            case JsonNumber::Kind::I64: append_decimal(out, n.i64_value); break;
            case JsonNumber::Kind::F64: append_compact_float(out, n.f64_value); break;
          }
          break;
        }
        case JsonValue::Kind::String:
          append_json_string_text(out, value->as_string());
          break;
        case JsonValue::Kind::Array:
          out.push_back('[');
          open.push_back({value, 0});
          break;
        case JsonValue::Kind::Object:
          out.push_back('{');
          open.push_back({value, 0});
          break;
      }
      value = nullptr;
    }
    if (open.empty()) return;
    Open& top = open.back();
    bool is_object = top.container->is(JsonValue::Kind::Object);
    std::size_t size = is_object ? top.container->members().size() : top.container->items().size();
    if (top.next == size) {
      out.push_back(is_object ? '}' : ']');
      open.pop_back();
      continue;
    }
    if (top.next > 0) out.push_back(',');
    if (is_object) {
      const JsonMember& member = top.container->members().begin()[top.next];
      append_json_string_text(out, member.key);
      out.push_back(':');
      value = &member.value;
    } else {
      value = &top.container->items()[top.next];
    }
    ++top.next;
  }
}

}  // namespace

LooseReadResult parse_loose_value(LooseTokenStream& tokens, JsonArena& arena) {
  return LooseReader(tokens, arena).read(LooseReader::Start::Value);
}

LooseReadResult parse_loose_array(LooseTokenStream& tokens, JsonArena& arena) {
  return LooseReader(tokens, arena).read(LooseReader::Start::Array);
}

LooseReadResult parse_loose_object(LooseTokenStream& tokens, JsonArena& arena) {
  return LooseReader(tokens, arena).read(LooseReader::Start::Object);
}

LooseReadResult classify_loose_scalar(std::string_view text, JsonArena& arena) {
  if (text == "true") return JsonValue::boolean(true);
  if (text == "false") return JsonValue::boolean(false);
  if (text == "null") return JsonValue::null();
  if (std::optional<std::int64_t> integer = signed_integer(text)) {
    return JsonValue::number(JsonNumber::integer(*integer));
  }
  switch (float_form(text)) {
    case FloatForm::NonFiniteWord:
      return Unexpected(RepairError::invalid_number(text));
    case FloatForm::Decimal: {
      std::string_view digits = text[0] == '+' ? text.substr(1) : text;
      double value = 0;
      auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error == std::errc::result_out_of_range) {
        if (overflows(text)) return Unexpected(RepairError::invalid_number(text));
        value = text[0] == '-' ? -0.0 : 0.0;
      } else if (error != std::errc() || end != digits.data() + digits.size()) {
        throw InternalFault("a text of the float grammar did not read as a float");
      }
      return JsonValue::number(JsonNumber::f64(value));
    }
    case FloatForm::NotAFloat:
      break;
  }
  if (text.find('\\') == std::string_view::npos) return JsonValue::string(arena.copy_string(text));
  std::string unescaped;
  unescaped.reserve(text.size());
  append_unescaped_loose_text(unescaped, text);
  return JsonValue::string(arena.copy_string(unescaped));
}

void append_unescaped_loose_text(std::string& out, std::string_view text) {
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c != '\\' || pos + 1 == text.size()) {
      out.push_back(c);
      continue;
    }
    char replacement = 0;
    switch (text[pos + 1]) {
      case '\\': replacement = '\\'; break;
      case 'b': replacement = 0x08; break;
      case 'f': replacement = 0x0C; break;
      case 'n': replacement = 0x0A; break;
      case 'r': replacement = 0x0D; break;
      case 't': replacement = 0x09; break;
      case '"': replacement = '"'; break;
      case '\'': replacement = '\''; break;
      default:
        // Not an escape pair: the backslash stays, and what follows is read
        // as usual (it cannot be a backslash).
        out.push_back(c);
        continue;
    }
    out.push_back(replacement);
    ++pos;
  }
}

std::string unescape_loose_text(std::string_view text) {
  std::string out = repair::take_text_buffer(text.size());
  append_unescaped_loose_text(out, text);
  return out;
}

void append_compact_float(std::string& out, double value) {
  if (std::signbit(value)) out.push_back('-');
  value = std::fabs(value);
  if (value == 0) {
    out.append("0.0");
    return;
  }
  // Shortest round-trip digits as d.ddde±XX.
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
  std::size_t e = scientific.find('e');
  std::string_view mantissa = scientific.substr(0, e);
  int exponent = 0;
  std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1), end, exponent);

  if (exponent < -5 || exponent > 15) {
    out.append(mantissa).push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    append_decimal(out, exponent < 0 ? -exponent : exponent);
    return;
  }
  char digits[20];
  std::size_t count = 0;
  for (char c : mantissa) {
    if (c != '.') digits[count++] = c;
  }
  if (exponent < 0) {
    out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits, count);
    return;
  }
  std::size_t integer_digits = static_cast<std::size_t>(exponent) + 1;
  if (count > integer_digits) {
    out.append(digits, integer_digits).push_back('.');
    out.append(digits + integer_digits, count - integer_digits);
  } else {
    out.append(digits, count).append(integer_digits - count, '0').append(".0");
  }
}

void write_compact_json(const JsonValue& value, std::string& out) { write_value(value, out); }

PassResult repair_json_add_missing_quotes(std::string_view text) {
  LooseTokenStream tokens(text);
  JsonArena arena;
  LooseReadResult value = parse_loose_value(tokens, arena);
  if (!value) return Unexpected(std::move(value).error());
  std::string out = repair::take_text_buffer(text.size() + 16);
  write_compact_json(*value, out);
  if (tokens.quotes_added()) {
    PLOMET_REPAIR_EVENT("repair_json_add_missing_quotes", "added missing quotations where necessary");
  }
  return out;
}

}  // namespace plomet
