#include "repair/loose_reader.h"

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/container_stack.h"
#include "core/internal_fault.h"
#include "document/container_parts.h"
#include "text/json_string_text.h"
#include "text/number_text.h"
#include "text/text_scan.h"

namespace plomet {
namespace {

RepairError nesting_too_deep() {
  return RepairError::unrepairable("nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
}

// The loose integer: an optional sign, one or more digits and nothing else,
// within the signed 64-bit range.
std::optional<std::int64_t> signed_integer(std::string_view text) {
  const number_text::SignedText signed_text = number_text::split_sign(text);
  if (!number_text::is_digit_run(signed_text.magnitude)) return std::nullopt;
  // from_chars takes a minus sign but no plus sign.
  const std::string_view digits = signed_text.sign == '+' ? signed_text.magnitude : text;
  std::int64_t value = 0;
  const std::from_chars_result read = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (read.ec != std::errc() || read.ptr != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// Reads values from loose tokens without recursion: open arrays and objects
// are frames on an explicit stack, and their items and members wait on
// shared stacks until the container closes. Deep nesting thus costs heap,
// not call stack, and the whole read allocates only as the stacks grow.
class LooseReader {
 public:
  LooseReader(LooseTokenStream& tokens, JsonArena& arena) : tokens_(tokens), arena_(arena) {}

  LooseReadResult read();

 private:
  struct Frame {
    bool is_object = false;
    std::size_t first = 0;  // the mark of its parts
    std::string_view key;   // of the member whose value is being read
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
    return frames_->push({is_object, parts_.mark(is_object), {}});
  }
  JsonValue close();
  LooseReadResult read_scalar();
  MemberStep start_member();
  // Appends the texts of the tokens from the front while they have text,
  // joined with single spaces, skipping space and comments. Returns how many.
  std::size_t collect_texts(std::size_t* last_start);

  LooseTokenStream& tokens_;
  JsonArena& arena_;
  // On the heap: full, the frames take 32 KiB, more than the smallest thread
  // stacks that callers run on leave.
  std::unique_ptr<ContainerStack<Frame, kMaxNestingDepth>> frames_ =
      std::make_unique<ContainerStack<Frame, kMaxNestingDepth>>();
  ContainerParts parts_;
  std::string scratch_;
};

LooseReadResult LooseReader::read() {
  enum class Step { Value, ArrayItem, ObjectMember, Deliver };
  Step step = Step::Value;
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
        if (frames_->empty()) return value;
        if (frames_->top().is_object) {
          parts_.add_member(frames_->top().key, value);
          step = Step::ObjectMember;
        } else {
          parts_.add_item(value);
          step = Step::ArrayItem;
        }
        break;
    }
  }
}

JsonValue LooseReader::close() {
  const Frame frame = frames_->top();
  frames_->pop();
  return parts_.close(frame.is_object, frame.first, arena_);
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
    frames_->top().key = arena_.copy_string(key);
    return MemberStep::ValueFollows;
  }
  JsonValue value;
  if (parts >= 2) {
    // {"a" "b"}: the last part is the value, exactly as written.
    value = JsonValue::string(arena_.copy_string(key.substr(last_part_start)));
    key = key.substr(0, last_part_start - 1);
  }
  parts_.add_member(arena_.copy_string(key), value);
  return MemberStep::MemberDone;
}

}  // namespace

LooseReadResult parse_loose_value(LooseTokenStream& tokens, JsonArena& arena) {
  return LooseReader(tokens, arena).read();
}

LooseReadResult classify_loose_scalar(std::string_view text, JsonArena& arena) {
  if (text == "true") return JsonValue::boolean(true);
  if (text == "false") return JsonValue::boolean(false);
  if (text == "null") return JsonValue::null();
  if (std::optional<std::int64_t> integer = signed_integer(text)) {
    return JsonValue::number(JsonNumber::integer(*integer));
  }
  const std::string_view magnitude = number_text::split_sign(text).magnitude;
  if (number_text::is_loose_non_finite_word(magnitude)) return Unexpected(RepairError::invalid_number(text));
  if (number_text::decimal_float_leading_power(magnitude)) {
    const number_text::DecimalRead read = number_text::read_signed_decimal(text);
    switch (read.status) {
      case number_text::DecimalRead::Status::Value:
        return JsonValue::number(JsonNumber::f64(read.value));
      case number_text::DecimalRead::Status::TooLarge:
        return Unexpected(RepairError::invalid_number(text));
      case number_text::DecimalRead::Status::NotDecimal:
        break;
    }
    throw InternalFault("a text of the decimal float form did not read as a double");
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
    const char next = text[pos + 1];
    char replacement = control_escape(static_cast<unsigned char>(next));
    if (next == '\\' || next == '"' || next == '\'') replacement = next;
    if (replacement == 0) {
      // Not an escape pair: the backslash stays, and what follows is read
      // as usual (it cannot be a backslash).
      out.push_back(c);
      continue;
    }
    out.push_back(replacement);
    ++pos;
  }
}

}  // namespace plomet
