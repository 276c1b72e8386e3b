// The JSON5 grammar, read in one pass over the text and delivered as events
// to a consumer: the tree builder of read_json5, and schema inference, which
// keeps no tree at all.
//
// A consumer provides:
//   void begin_array();  void end_array();
//   void begin_object(); void end_object();
//   bool key(std::string_view key, bool transient);   // false stops the read
//   void null_value();   void bool_value(bool value);
//   void number_value(const NumberToken& number);
//   void string_value(std::string_view text, bool transient, bool has_controls);
//   bool wants_key_text();     // whether the next key's text matters
//   bool wants_string_text();  // whether the next string value's text matters
// A string whose text is not wanted is checked but not decoded.
// A transient text lives only until the next event; any other is a view into
// the text being read. has_controls says whether the string holds a control
// character other than LF. A value that does not convert (a number out of
// range, a lone surrogate escape) is delivered as null and fails the read at
// its end, unless the grammar fails first: the grammar decides.
//
// Containers are read with an explicit stack instead of recursion, so stack
// use does not grow with nesting.
//
// A read that fails stops after the events of a prefix of the text, at a
// ReadPoint (stopped_at); read_on goes on from there in another text that
// agrees with the first on that prefix, with the consumer as the events left
// it. A read may note checkpoints (ReadCheckpoints), from which read_from
// starts a read of another text with a consumer that has had no events.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/container_stack.h"
#include "core/context.h"
#include "read/json5_number.h"
#include "read/json5_read_error.h"
#include "read/json5_read_point.h"
#include "text/json_string_text.h"
#include "text/number_text.h"
#include "text/simd_scan.h"
#include "text/text_scan.h"
#include "text/unicode_tables.h"
#include "text/utf8.h"

namespace plomet {

namespace json5 {

inline constexpr char32_t kLineSeparator = 0x2028;
inline constexpr char32_t kParagraphSeparator = 0x2029;

inline bool is_line_terminator(char32_t c) {
  return c == '\n' || c == '\r' || c == kLineSeparator || c == kParagraphSeparator;
}

// WHITESPACE above U+007F: U+00A0 and the rest of Zs, U+FEFF, U+2028, U+2029.
inline bool is_non_ascii_whitespace(char32_t c) {
  return c == 0xFEFF || c == kLineSeparator || c == kParagraphSeparator || unicode::is_space_separator(c);
}

inline bool is_identifier_start_char(char32_t c) { return c == '$' || c == '_' || unicode::is_letter(c); }

inline bool is_identifier_part_char(char32_t c) {
  return is_identifier_start_char(c) || unicode::is_identifier_extra(c) || unicode::is_diacritic(c) ||
         c == 0x200C || c == 0x200D;
}

inline bool is_hex_digit(char c) { return number_text::hex_digit_value(c) >= 0; }

// The value of exactly `count` hexadecimal digits at p, or -1.
inline std::int32_t read_hex_digits(const char* p, const char* end, int count) {
  if (end - p < count) return -1;
  std::int32_t value = 0;
  for (int i = 0; i < count; ++i) {
    const int digit = number_text::hex_digit_value(p[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

inline bool is_lead_surrogate(std::int32_t v) { return v >= 0xD800 && v <= 0xDBFF; }
inline bool is_trail_surrogate(std::int32_t v) { return v >= 0xDC00 && v <= 0xDFFF; }

inline char32_t combine_surrogates(std::int32_t lead, std::int32_t trail) {
  return static_cast<char32_t>(0x10000 + ((lead - 0xD800) << 10) + (trail - 0xDC00));
}

// Identifier classes of the ASCII characters, taken from the Unicode tables
// (the Diacritic property makes "^" and "`" identifier parts).
struct AsciiIdentifierClasses {
  std::array<bool, 128> start{};
  std::array<bool, 128> part{};
  AsciiIdentifierClasses() {
    for (char32_t c = 0; c < 128; ++c) {
      start[c] = is_identifier_start_char(c);
      part[c] = is_identifier_part_char(c);
    }
  }
};
inline const AsciiIdentifierClasses kAsciiIdentifier;

inline bool starts_with(const char* p, const char* end, std::string_view word) {
  return static_cast<std::size_t>(end - p) >= word.size() && std::memcmp(p, word.data(), word.size()) == 0;
}

inline const char* skip_digits(const char* p, const char* end) {
  while (p < end && number_text::is_digit(*p)) ++p;
  return p;
}

// Why a read stopped at byte offset `at`: what was expected there.
std::string grammar_failure_reason(std::string_view text, std::size_t at, const char* expected);

// Line and column (both from 1, columns in characters) of a byte offset.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset);

}  // namespace json5

template <class Consumer>
class Json5EventReader {
 public:
  // The context counts the reader's work for its interrupt check.
  Json5EventReader(Context& context, std::string_view text, Consumer& consumer)
      : Json5EventReader(context, text, consumer, scan::find_invalid_utf8(text) == scan::kValidUtf8) {}

  // For a caller that has checked the text's UTF-8 already.
  Json5EventReader(Context& context, std::string_view text, Consumer& consumer, bool valid_utf8)
      : context_(context),
        text_(text),
        p_(text.data()),
        end_(text.data() + text.size()),
        consumer_(consumer),
        next_checkpoint_(end_),
        valid_utf8_(valid_utf8) {}

  enum class Outcome : std::uint8_t { Read, GrammarFailure, ConversionFailure, Stopped };

  // Notes a checkpoint in checkpoints every checkpoints->spacing() bytes of
  // the reads that follow.
  void note_checkpoints_in(ReadCheckpoints* checkpoints) {
    checkpoints_ = checkpoints;
    next_checkpoint_ = checkpoints != nullptr ? p_ : end_;
  }

  Outcome read() { return read_on_from(ReadPoint::Phase::Value); }

  // After a read that failed and was not stopped: reads on in text, a text
  // that may_go_on_from(stopped_at(), ...) accepts, from where the failed
  // read stopped. valid_utf8 says whether text is valid UTF-8.
  Outcome read_on(std::string_view text, bool valid_utf8) {
    const ReadPoint from = stopped_at();
    // A value that failed to convert after the point is read again.
    if (conversion_.offset >= from.position) conversion_ = {};
    start_over_in(text, valid_utf8, from.position);
    return read_on_from(from.phase);
  }

  // After a read_on that delivered no event: makes text, the text read
  // before, the reader's text again, at the same point.
  void return_to(std::string_view text, bool valid_utf8) {
    start_over_in(text, valid_utf8, static_cast<std::size_t>(stood_ - text_.data()));
  }

  // Reads text, a text that agrees with the text of checkpoints on the bytes
  // before checkpoint, from there; the consumer has had no events. valid_utf8
  // says whether text is valid UTF-8.
  Outcome read_from(std::string_view text, bool valid_utf8, const ReadCheckpoints& checkpoints,
                    const ReadCheckpoints::Checkpoint& checkpoint) {
    start_over_in(text, valid_utf8, checkpoint.position);
    open_.clear();
    for (std::size_t level = 0; level < checkpoint.depth; ++level) (void)open_.push(checkpoints.kind_at(checkpoint, level));
    conversion_ = checkpoint.conversion;
    return read_on_from(ReadPoint::Phase::BeforeItem);
  }

  // Where a read that failed stopped: the point after its last event. The
  // byte before it tells the phase: an opener, a comma or a key's colon, or
  // else the last byte of a value or closer.
  ReadPoint stopped_at() const {
    const auto position = static_cast<std::size_t>(stood_ - text_.data());
    if (position == 0) return {ReadPoint::Phase::Value, 0, 0};
    switch (text_[position - 1]) {
      case '[':
      case '{':
      case ',':
        return {ReadPoint::Phase::BeforeItem, position, position};
      case ':':
        return {ReadPoint::Phase::Value, position, position};
      default:
        break;
    }
    // A number is preceded by a separator, a blank or a comment, none of
    // which can continue its run of letters, digits, signs and dots.
    std::size_t token_start = position - 1;
    while (token_start > 0 && is_number_token_byte(text_[token_start - 1])) --token_start;
    const char* number = text_.data() + token_start;
    bool plain_integer;
    bool plain_float;
    const bool after_number = starts_number(*number) && scan_number(number, end_, plain_integer, plain_float) == stood_;
    return {ReadPoint::Phase::AfterValue, position, after_number ? token_start : position - 1};
  }

  // Whether a read of text may go on from point, where a read of another
  // text stopped or noted a checkpoint: the texts agree on the common_prefix
  // bytes, which cover the bytes before the point, and a number that ended
  // at the point ends there in text too, so that it is the same token.
  static bool may_go_on_from(const ReadPoint& point, std::string_view text, std::size_t common_prefix) {
    if (common_prefix < point.position) return false;
    if (point.phase != ReadPoint::Phase::AfterValue || !starts_number(text[point.token_start])) return true;
    bool plain_integer;
    bool plain_float;
    return scan_number(text.data() + point.token_start, text.data() + text.size(), plain_integer, plain_float) ==
           text.data() + point.position;
  }

  // Why and where a read that did not give Read failed.
  Json5ReadError failure() const {
    if (conversion_.failed() && fail_at_ == nullptr) {
      return {Json5ReadError::Kind::Conversion, std::string(conversion_.message), conversion_.offset};
    }
    const auto at = static_cast<std::size_t>(fail_at_ - text_.data());
    return {Json5ReadError::Kind::Grammar, json5::grammar_failure_reason(text_, at, expected_), at};
  }

 private:
  // Records a grammar failure; always returns false.
  bool fail(const char* at, const char* expected) {
    fail_at_ = at;
    expected_ = expected;
    return false;
  }

  // Remembers the first conversion failure, of the value or escape that
  // starts at `at`; reading goes on.
  void conversion_failure(const char* at, std::string_view message) {
    if (conversion_.failed()) return;
    conversion_ = {message, static_cast<std::size_t>(at - text_.data())};
  }

  // Reads text from position on, as the reader of an earlier text.
  void start_over_in(std::string_view text, bool valid_utf8, std::size_t position) {
    text_ = text;
    p_ = text.data() + position;
    end_ = text.data() + text.size();
    stood_ = p_;
    valid_utf8_ = valid_utf8;
    fail_at_ = nullptr;
    expected_ = "";
    next_checkpoint_ = checkpoints_ != nullptr ? p_ : end_;
  }

  // Notes a checkpoint here, in the BeforeItem phase, when the reader notes
  // them, and schedules the next.
  [[gnu::noinline]] void note_checkpoint() {
    if (checkpoints_ == nullptr) {
      next_checkpoint_ = end_;
      return;
    }
    checkpoints_->add(position(), open_, open_.depth(), conversion_);
    // At least as many bytes on as this one copied containers.
    const std::size_t spacing = std::max(checkpoints_->spacing(), open_.depth());
    next_checkpoint_ = static_cast<std::size_t>(end_ - p_) > spacing ? p_ + spacing : end_;
  }

  std::size_t position() const { return static_cast<std::size_t>(p_ - text_.data()); }

  scan::DecodedChar decode_here(const char* p) const {
    return scan::decode_at(text_, static_cast<std::size_t>(p - text_.data()));
  }

  // Skips WHITESPACE and COMMENTs. Stops at an unterminated block comment,
  // whose "/" then fails whatever token is expected there.
  [[gnu::always_inline]] void skip_insignificant() {
    while (p_ < end_) {
      auto b = static_cast<unsigned char>(*p_);
      if (b > ' ' && b != '/' && b < 0x80) return;
      if (b == ' ' || b == '\n' || b == '\r' || b == '\t') {
        p_ = scan::skip_blank_run(p_ + 1, end_);
      } else {
        skip_insignificant_slow();
        return;
      }
    }
  }

  [[gnu::noinline]] void skip_insignificant_slow() {
    while (p_ < end_) {
      unsigned char b = static_cast<unsigned char>(*p_);
      if (b == ' ' || (b >= 0x09 && b <= 0x0D)) {
        ++p_;
      } else if (b == '/' && end_ - p_ >= 2 && p_[1] == '/') {
        skip_line_comment();
      } else if (b == '/' && end_ - p_ >= 2 && p_[1] == '*') {
        std::size_t close = text_.find("*/", static_cast<std::size_t>(p_ - text_.data()) + 2);
        if (close == std::string_view::npos) return;
        p_ = text_.data() + close + 2;
      } else if (b >= 0x80) {
        scan::DecodedChar d = decode_here(p_);
        if (!json5::is_non_ascii_whitespace(d.code_point)) return;
        p_ += d.length;
      } else {
        return;
      }
    }
  }

  // At "//": moves to the next line terminator or the end of the text.
  void skip_line_comment() {
    p_ += 2;
    while (p_ < end_) {
      char b = *p_;
      if (b == '\n' || b == '\r') return;
      if (b == '\xE2' && end_ - p_ >= 3 && scan::is_line_or_paragraph_separator(p_)) return;
      ++p_;
    }
  }

  // Opens a container; false when kMaxNestingDepth are open already.
  bool begin(bool is_object) {
    if (!open_.push(is_object)) return false;
    if (is_object) {
      consumer_.begin_object();
    } else {
      consumer_.begin_array();
    }
    return true;
  }

  void end() {
    const bool is_object = open_.top();
    open_.pop();
    if (is_object) {
      consumer_.end_object();
    } else {
      consumer_.end_array();
    }
  }

  Outcome read_on_from(ReadPoint::Phase phase) {
    stood_ = p_;
    if (!read_from_phase(phase)) return stopped_ ? Outcome::Stopped : Outcome::GrammarFailure;
    return conversion_.failed() ? Outcome::ConversionFailure : Outcome::Read;
  }

  bool read_from_phase(ReadPoint::Phase phase) {
    switch (phase) {
      case ReadPoint::Phase::Value:
        skip_insignificant();
        return read_text(true);
      case ReadPoint::Phase::BeforeItem:
        switch (item_or_closer()) {
          case Next::Item: return read_text(true);
          case Next::Closed: return read_text(false);
          case Next::Failed: return false;
        }
        break;
      case ReadPoint::Phase::AfterValue:
        break;
    }
    return read_text(false);
  }

  // What follows an opener or a comma in the innermost container.
  enum class Next : std::uint8_t { Item, Closed, Failed };

  [[gnu::always_inline]] Next item_or_closer() {
    const bool in_object = open_.top();
    skip_insignificant();
    if (p_ < end_ && *p_ == (in_object ? '}' : ']')) {
      ++p_;
      end();
      stood_ = p_;
      return Next::Closed;
    }
    if (in_object && !read_member_head()) return Next::Failed;
    return Next::Item;
  }

  // Reads on to the end of the text, from the start of a value (at_value)
  // or from after one.
  bool read_text(bool at_value) {
    for (;;) {
      if (at_value) {
        if (context_.poll(kValueUnits)) return fail(p_, "no interruption");
        if (p_ == end_) return fail(p_, "a value");
        const char c = *p_;
        if (c == '[' || c == '{') {
          if (!begin(c == '{')) return fail(p_, "no more than 1024 nested arrays and objects");
          ++p_;
          stood_ = p_;
          if (p_ >= next_checkpoint_) [[unlikely]] note_checkpoint();
          const Next next = item_or_closer();
          if (next == Next::Failed) return false;
          if (next == Next::Item) continue;
        } else {
          if (!read_scalar()) return false;
          stood_ = p_;
        }
      }
      at_value = true;
      // The value is complete: go past separators and the closing brackets
      // that complete further values.
      for (;;) {
        if (open_.empty()) {
          skip_insignificant();
          if (p_ != end_) return fail(p_, "end of text");
          return true;
        }
        const bool in_object = open_.top();
        const char closer = in_object ? '}' : ']';
        skip_insignificant();
        if (p_ < end_ && *p_ == ',') {
          ++p_;
          if (p_ >= next_checkpoint_) [[unlikely]] note_checkpoint();
          const Next next = item_or_closer();
          if (next == Next::Failed) return false;
          if (next == Next::Closed) continue;
          break;
        }
        if (p_ < end_ && *p_ == closer) {
          ++p_;
          end();
          stood_ = p_;
          continue;
        }
        return fail(p_, in_object ? "',' or '}'" : "',' or ']'");
      }
    }
  }

  // Reads `key`, ":" and the material up to the value.
  bool read_member_head() {
    if (p_ == end_) return fail(p_, "a key");
    std::string_view key;
    bool transient = false;
    bool read = (*p_ == '"' || *p_ == '\'') ? read_string(key, transient, consumer_.wants_key_text())
                                              : read_identifier(key, transient);
    if (!read) return false;
    skip_insignificant();
    if (p_ == end_ || *p_ != ':') return fail(p_, "':'");
    ++p_;
    const char* after_colon = p_;
    skip_insignificant();
    if (!consumer_.key(key, transient)) {
      stopped_ = true;
      return false;
    }
    stood_ = after_colon;
    return true;
  }

  bool read_word(std::string_view word) {
    if (!json5::starts_with(p_, end_, word)) return fail(p_, "a value");
    p_ += word.size();
    return true;
  }

  bool read_scalar() {
    switch (*p_) {
      case 'n':
        if (!read_word("null")) return false;
        consumer_.null_value();
        return true;
      case 't':
        if (!read_word("true")) return false;
        consumer_.bool_value(true);
        return true;
      case 'f':
        if (!read_word("false")) return false;
        consumer_.bool_value(false);
        return true;
      case '"':
      case '\'': {
        std::string_view text;
        bool transient = false;
        if (!read_string(text, transient, consumer_.wants_string_text())) return false;
        consumer_.string_value(text, transient, string_has_controls_);
        return true;
      }
      case '+':
      case '-':
      case '.':
      case 'I':
      case 'N':
        return read_number();
      default:
        if (*p_ >= '0' && *p_ <= '9') return read_number();
        return fail(p_, "a value");
    }
  }

  // The bytes a value that starts with b is read as a number from.
  static bool starts_number(char b) {
    return (b >= '0' && b <= '9') || b == '+' || b == '-' || b == '.' || b == 'I' || b == 'N';
  }

  // The bytes a number token is made of.
  static bool is_number_token_byte(char b) {
    return (b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') || b == '+' || b == '-' || b == '.';
  }

  // Where the `number` token at start ends, or null when none starts there,
  // and whether it is a plain decimal integer of up to 18 digits or a plain
  // float whose integer digits and exponent keep it below 1e308. A function
  // of the bytes from start on alone: it also tells where a number ends in
  // another text (may_go_on_from).
  [[gnu::always_inline]] static const char* scan_number(const char* start, const char* end, bool& plain_integer,
                                                        bool& plain_float) {
    const char* p = start;
    if (*p == '+' || *p == '-') ++p;
    const char* unsigned_start = p;
    plain_integer = false;
    plain_float = false;
    if (json5::starts_with(p, end, "Infinity")) return p + 8;
    if (json5::starts_with(p, end, "NaN")) return p + 3;
    if (end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && json5::is_hex_digit(p[2])) {
      p += 3;
      while (p < end && json5::is_hex_digit(*p)) ++p;
      return p;
    }
    if (p < end && *p == '0') {
      ++p;
    } else {
      p = json5::skip_digits(p, end);
    }
    const std::ptrdiff_t integer_digits = p - unsigned_start;
    bool integer_literal = true;
    bool short_exponent = true;
    if (p < end && *p == '.') {
      const char* fraction = ++p;
      p = json5::skip_digits(p, end);
      if (integer_digits == 0 && p == fraction) return nullptr;
      integer_literal = false;
    } else if (integer_digits == 0) {
      return nullptr;
    }
    std::ptrdiff_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
      const char* e = p + 1;
      const bool negative_exponent = e < end && *e == '-';
      if (e < end && (*e == '+' || *e == '-')) ++e;
      if (e < end && *e >= '0' && *e <= '9') {
        p = json5::skip_digits(e, end);
        integer_literal = false;
        if (p - e > 4) {
          short_exponent = false;
        } else {
          for (const char* d = e; d < p; ++d) exponent = exponent * 10 + (*d - '0');
          if (negative_exponent) exponent = -exponent;
        }
      }
    }
    // Below 10^(integer digits + exponent): no float of that size rounds
    // to infinity.
    plain_integer = integer_digits <= 18 && integer_literal;
    plain_float = !integer_literal && short_exponent && integer_digits + exponent <= 308;
    return p;
  }

  // Matches `number` and classifies its text. Plain integers are converted
  // here and plain floats classified without converting; every other token
  // goes through classify_json5_number.
  bool read_number() {
    const char* start = p_;
    const bool negative = *start == '-';
    bool plain_integer;
    bool plain_float;
    const char* p = scan_number(start, end_, plain_integer, plain_float);
    if (p == nullptr) return fail(start, "a number");
    p_ = p;
    NumberToken token;
    token.text = {start, static_cast<std::size_t>(p - start)};
    if (plain_integer) {
      std::uint64_t magnitude = 0;
      for (const char* d = start + (negative || *start == '+' ? 1 : 0); d < p; ++d) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(*d - '0');
      }
      token.number_class = NumberToken::Class::Integer;
      token.integer = negative && magnitude != 0 ? JsonNumber::i64(-static_cast<std::int64_t>(magnitude))
                                                 : JsonNumber::u64(magnitude);
    } else if (plain_float) {
      token.number_class = NumberToken::Class::Float;
    } else {
      auto classified = classify_json5_number(token.text);
      if (!classified) {
        conversion_failure(token.text.data(), classified.error());
        consumer_.null_value();
        return true;
      }
      token = *classified;
    }
    consumer_.number_value(token);
    return true;
  }

  // Reads a quoted string at its opening quote. A string without escapes
  // and line continuations is a view into the text; any other is decoded
  // into decoded_ and is transient. When the consumer does not want the
  // text, the string is only checked, and out is its raw body.
  bool read_string(std::string_view& out, bool& transient, bool wanted) {
    if (valid_utf8_) return wanted ? read_string_as<true, true>(out, transient) : read_string_as<false, true>(out, transient);
    return wanted ? read_string_as<true, false>(out, transient) : read_string_as<false, false>(out, transient);
  }

  template <bool kDecode, bool kValidUtf8>
  bool read_string_as(std::string_view& out, bool& transient) {
    const char quote = *p_;
    const char* open_quote = p_;
    const char* start = ++p_;
    const char* run = start;  // start of the bytes not yet copied to decoded_
    bool decoding = false;
    string_has_controls_ = false;
    for (;;) {
      p_ = kValidUtf8 ? scan::skip_plain_valid_string_bytes(p_, end_, quote)
                      : scan::skip_plain_string_bytes(p_, end_, quote);
      if (p_ == end_) return fail(open_quote, "a closing quote for the string");
      char b = *p_;
      if (b == quote) {
        finish_text(start, run, kDecode && decoding, out, transient);
        if (transient && !string_has_controls_) {
          string_has_controls_ = std::any_of(out.begin(), out.end(), scan::is_removed_control_byte);
        }
        ++p_;
        return true;
      }
      if (b == '\\') {
        if constexpr (kDecode) {
          if (!decoding) {
            decoded_.assign(start, p_);
            decoding = true;
          } else {
            decoded_.append(run, p_);
          }
        }
        if (!read_string_escape<kDecode>(quote)) return false;
        run = p_;
        continue;
      }
      if (b == '\n' || b == '\r') return fail(p_, "a closing quote before the line break");
      if (static_cast<unsigned char>(b) < 0x20) {
        string_has_controls_ = true;
        ++p_;
        continue;
      }
      if constexpr (kValidUtf8) {
        // At a raw U+2028 or U+2029.
        return fail(p_, "a closing quote before the line break");
      }
      // Non-ASCII characters, taken together while they last.
      do {
        const scan::DecodedChar d = decode_here(p_);
        if (scan::is_malformed(d)) return fail(p_, "valid UTF-8");
        if (json5::is_line_terminator(d.code_point)) return fail(p_, "a closing quote before the line break");
        p_ += d.length;
      } while (p_ < end_ && static_cast<unsigned char>(*p_) >= 0x80);
    }
  }

  // The text of a string or key that ends at p_: a view of the text from
  // start, or, when it was decoded, decoded_ with the undecoded run from run.
  void finish_text(const char* start, const char* run, bool decoded, std::string_view& out, bool& transient) {
    transient = decoded;
    if (!decoded) {
      out = {start, static_cast<std::size_t>(p_ - start)};
      return;
    }
    decoded_.append(run, p_);
    out = decoded_;
  }

  template <bool kDecode>
  void append(char c) {
    if constexpr (kDecode) decoded_ += c;
  }

  // Length of the line continuation at p (a backslash and a line terminator
  // sequence), or 0.
  std::size_t line_continuation_length(const char* p) const {
    if (end_ - p < 2 || p[0] != '\\') return 0;
    if (p[1] == '\n') return 2;
    if (p[1] == '\r') return (end_ - p >= 3 && p[2] == '\n') ? 3 : 2;
    if (end_ - p >= 4 && scan::is_line_or_paragraph_separator(p + 1)) return 4;
    return 0;
  }

  // At a backslash inside a string: reads an escape sequence or a line
  // continuation and appends what it stands for to decoded_.
  template <bool kDecode>
  bool read_string_escape(char quote) {
    const char* backslash = p_;
    if (std::size_t skip = line_continuation_length(p_)) {
      p_ += skip;
      return true;
    }
    if (end_ - p_ < 2) return fail(backslash, "an escape sequence");
    char c = p_[1];
    p_ += 2;
    if (const char control = control_escape(static_cast<unsigned char>(c))) {
      append<kDecode>(control);
      return true;
    }
    switch (c) {
      case 'v': append<kDecode>('\v'); return true;
      case '0': append<kDecode>('\0'); return true;
      case 'x': {
        std::int32_t v = json5::read_hex_digits(p_, end_, 2);
        if (v < 0) return fail(backslash, "two hexadecimal digits after \\x");
        p_ += 2;
        if constexpr (kDecode) scan::append_utf8(decoded_, static_cast<char32_t>(v));
        return true;
      }
      case 'u':
        return read_unicode_escape<kDecode>(backslash, quote);
      default:
        break;
    }
    if (c >= '1' && c <= '9') return fail(backslash, "an escape sequence");
    if (static_cast<unsigned char>(c) < 0x80) {
      append<kDecode>(c);  // a non-escape character stands for itself
      return true;
    }
    scan::DecodedChar d = decode_here(backslash + 1);
    if (scan::is_malformed(d)) return fail(backslash + 1, "valid UTF-8");
    if constexpr (kDecode) decoded_.append(backslash + 1, d.length);
    p_ = backslash + 1 + d.length;
    return true;
  }

  // After "\u" (p_ is past the "u"): reads the four digits, pairing a lead
  // surrogate with the escape that follows it. quote is the string's quote,
  // or 0 inside an identifier.
  template <bool kDecode>
  bool read_unicode_escape(const char* backslash, char quote) {
    std::int32_t v = json5::read_hex_digits(p_, end_, 4);
    if (v < 0) return fail(backslash, "four hexadecimal digits after \\u");
    p_ += 4;
    if (json5::is_trail_surrogate(v)) {
      conversion_failure(backslash, "unexpected unicode trail surrogate");
      return true;
    }
    if (!json5::is_lead_surrogate(v)) {
      if constexpr (kDecode) scan::append_utf8(decoded_, static_cast<char32_t>(v));
      return true;
    }
    const char* next = p_;
    if (quote != 0) {
      // Line continuations leave no part of their own.
      while (std::size_t skip = line_continuation_length(next)) next += skip;
    }
    std::int32_t trail = -1;
    if (end_ - next >= 2 && next[0] == '\\' && next[1] == 'u') trail = json5::read_hex_digits(next + 2, end_, 4);
    if (json5::is_trail_surrogate(trail)) {
      if constexpr (kDecode) scan::append_utf8(decoded_, json5::combine_surrogates(v, trail));
      p_ = next + 6;
      return true;
    }
    // The lead fails; the message depends on the part that follows. A next
    // part that breaks the grammar fails on its own when it is read.
    if (trail >= 0) {
      conversion_failure(backslash, "expecting unicode trail surrogate");
    } else if (!has_next_part(next, quote)) {
      conversion_failure(backslash, "missing unicode trail surrogate");
    } else {
      conversion_failure(backslash, next_part_is_hex(next) ? "expecting unicode trail surrogate" : "error parsing hex");
    }
    return true;
  }

  bool has_next_part(const char* next, char quote) const {
    if (next >= end_) return false;
    if (quote != 0) return *next != quote;
    if (*next == '\\') return true;
    return identifier_char_length(next, false) != 0;
  }

  // Whether the text of the part at next reads as hexadecimal: for an
  // escape the text after the backslash ("x41", "n", "0"), else the
  // character itself.
  bool next_part_is_hex(const char* next) const {
    if (*next != '\\') return json5::is_hex_digit(*next);
    if (end_ - next < 2) return false;
    if (next[1] == 'x') return json5::read_hex_digits(next + 2, end_, 2) >= 0;
    return json5::is_hex_digit(next[1]);
  }

  // Byte length of the identifier character (not an escape) at p, or 0.
  std::size_t identifier_char_length(const char* p, bool first) const {
    auto b = static_cast<unsigned char>(*p);
    if (b < 0x80) return (first ? json5::kAsciiIdentifier.start[b] : json5::kAsciiIdentifier.part[b]) ? 1 : 0;
    scan::DecodedChar d = decode_here(p);
    if (scan::is_malformed(d)) return 0;
    bool ok = first ? json5::is_identifier_start_char(d.code_point) : json5::is_identifier_part_char(d.code_point);
    return ok ? d.length : 0;
  }

  // Reads an unquoted key. One without escapes is a view into the text.
  bool read_identifier(std::string_view& out, bool& transient) {
    const char* start = p_;
    const char* run = start;
    bool decoding = false;
    bool first = true;
    while (p_ < end_) {
      if (*p_ == '\\') {
        if (end_ - p_ < 2 || p_[1] != 'u') return fail(p_, "\\u in a key");
        if (!decoding) {
          decoded_.assign(start, p_);
          decoding = true;
        } else {
          decoded_.append(run, p_);
        }
        const char* backslash = p_;
        p_ += 2;
        if (!read_unicode_escape<true>(backslash, 0)) return false;
        run = p_;
      } else if (std::size_t length = identifier_char_length(p_, first)) {
        p_ += length;
      } else {
        break;
      }
      first = false;
    }
    if (first) return fail(start, "a key");
    finish_text(start, run, decoding, out, transient);
    return true;
  }

  Context& context_;
  std::string_view text_;
  const char* p_;
  const char* end_;
  Consumer& consumer_;
  // For each open container, whether it is an object.
  ContainerStack<bool, kMaxNestingDepth> open_;
  std::string decoded_;
  const char* fail_at_ = nullptr;
  const char* expected_ = "";
  ConversionFailure conversion_;
  bool stopped_ = false;
  // Where the last event left the read (stopped_at).
  const char* stood_ = nullptr;
  // Where checkpoints go, if anywhere, and where the next is due.
  ReadCheckpoints* checkpoints_ = nullptr;
  const char* next_checkpoint_;
  // Whether the whole text is valid UTF-8, so that strings need not check
  // their characters one by one.
  bool valid_utf8_;
  // Whether the last string read holds a control character other than LF.
  bool string_has_controls_ = false;
};

}  // namespace plomet
