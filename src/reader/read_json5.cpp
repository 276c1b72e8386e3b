// A hand-written JSON5 reader that checks the grammar and builds the value in
// one pass over the text.
//
// Containers are read with an explicit stack instead of recursion, so stack
// use does not grow with nesting. The items of all open containers are
// gathered on two scratch vectors shared across nesting levels; a finished
// container is copied into the arena in one piece.
//
// The grammar decides first: a conversion failure (a number out of range, a
// lone surrogate escape) is remembered and reading goes on, so a text that
// also breaks the grammar later reports the grammar failure.

#include "reader/read_json5.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "reader/interrupt_poll.h"
#include "reader/json5_number.h"
#include "reader/text_scan.h"
#include "unicode/unicode_tables.h"

namespace plomet {
namespace {

using scan::DecodedChar;

constexpr char32_t kLineSeparator = 0x2028;
constexpr char32_t kParagraphSeparator = 0x2029;

bool is_line_terminator(char32_t c) {
  return c == '\n' || c == '\r' || c == kLineSeparator || c == kParagraphSeparator;
}

// WHITESPACE above U+007F: U+00A0 and the rest of Zs, U+FEFF, U+2028, U+2029.
bool is_non_ascii_whitespace(char32_t c) {
  return c == 0xFEFF || c == kLineSeparator || c == kParagraphSeparator || unicode::is_space_separator(c);
}

bool is_identifier_start_char(char32_t c) { return c == '$' || c == '_' || unicode::is_letter(c); }

bool is_identifier_part_char(char32_t c) {
  return is_identifier_start_char(c) || unicode::is_identifier_extra(c) || unicode::is_diacritic(c) ||
         c == 0x200C || c == 0x200D;
}

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (static_cast<char>(c | 0x20) >= 'a' && static_cast<char>(c | 0x20) <= 'f');
}

int hex_value(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The value of exactly `count` hexadecimal digits at p, or -1.
std::int32_t read_hex_digits(const char* p, const char* end, int count) {
  if (end - p < count) return -1;
  std::int32_t value = 0;
  for (int i = 0; i < count; ++i) {
    if (!is_hex_digit(p[i])) return -1;
    value = value * 16 + hex_value(p[i]);
  }
  return value;
}

bool is_lead_surrogate(std::int32_t v) { return v >= 0xD800 && v <= 0xDBFF; }
bool is_trail_surrogate(std::int32_t v) { return v >= 0xDC00 && v <= 0xDFFF; }

char32_t combine_surrogates(std::int32_t lead, std::int32_t trail) {
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
const AsciiIdentifierClasses kAsciiIdentifier;

// Bytes that can stay in a string run: printable ASCII other than the quote
// and the backslash.
constexpr std::array<bool, 256> plain_string_bytes(char quote) {
  std::array<bool, 256> table{};
  for (int b = 0x20; b < 0x80; ++b) table[b] = b != quote && b != '\\';
  return table;
}
constexpr std::array<bool, 256> kPlainInDoubleQuotes = plain_string_bytes('"');
constexpr std::array<bool, 256> kPlainInSingleQuotes = plain_string_bytes('\'');

// Returns the first byte at or after p that is the quote, a backslash, a
// control character or not ASCII, or end.
const char* skip_plain_string_bytes(const char* p, const char* end, char quote) {
#if defined(__SSE2__)
  const __m128i quote_v = _mm_set1_epi8(quote);
  const __m128i backslash_v = _mm_set1_epi8('\\');
  const __m128i space_v = _mm_set1_epi8(' ');
  while (end - p >= 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed compare: non-ASCII bytes count as below the space too.
    __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote_v), _mm_cmpeq_epi8(chunk, backslash_v)),
                                   _mm_cmplt_epi8(chunk, space_v));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(special));
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  const std::array<bool, 256>& plain = quote == '"' ? kPlainInDoubleQuotes : kPlainInSingleQuotes;
  while (p < end && plain[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// Length of the well-formed UTF-8 sequence at p, whose lead byte is not
// ASCII, or 0 when it is malformed (overlong, surrogate, past U+10FFFF, cut).
std::size_t utf8_sequence_length(const char* p, const char* end) {
  auto byte = [&](std::ptrdiff_t i) { return static_cast<unsigned char>(p[i]); };
  auto is_continuation = [&](std::ptrdiff_t i) { return (byte(i) & 0xC0) == 0x80; };
  const std::ptrdiff_t available = end - p;
  unsigned char lead = byte(0);
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return available >= 2 && is_continuation(1) ? 2 : 0;
  if (lead < 0xF0) {
    if (available < 3 || !is_continuation(1) || !is_continuation(2)) return 0;
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0)) return 0;
    return 3;
  }
  if (lead > 0xF4 || available < 4 || !is_continuation(1) || !is_continuation(2) || !is_continuation(3)) return 0;
  if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90)) return 0;
  return 4;
}

bool is_raw_line_or_paragraph_separator(const char* p) {  // p has three bytes
  return p[0] == '\xE2' && p[1] == '\x80' && (p[2] == '\xA8' || p[2] == '\xA9');
}

bool starts_with(const char* p, const char* end, std::string_view word) {
  return static_cast<std::size_t>(end - p) >= word.size() && std::memcmp(p, word.data(), word.size()) == 0;
}

// Line and column (both from 1, columns in characters) of a byte offset.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t pos = 0; pos < offset && pos < text.size();) {
    DecodedChar d = scan::decode_at(text, pos);
    pos += d.length;
    if (d.code_point == '\r' && pos < text.size() && text[pos] == '\n') continue;  // CR LF ends one line
    if (is_line_terminator(d.code_point)) {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

class Json5Reader {
 public:
  Json5Reader(std::string_view text, JsonArena& arena)
      : text_(text), p_(text.data()), end_(text.data() + text.size()), arena_(arena) {}

  Expected<JsonValue, Json5ReadError> read() {
    JsonValue root;
    if (!read_text(root)) return Unexpected(Json5ReadError{grammar_failure_message()});
    if (!conversion_error_.empty()) return Unexpected(Json5ReadError{std::string(conversion_error_)});
    return root;
  }

  std::optional<JsonValue> try_read() {
    JsonValue root;
    if (!read_text(root) || !conversion_error_.empty()) return std::nullopt;
    return root;
  }

 private:
  struct OpenContainer {
    std::size_t first;  // index of its first item in items_ or members_
    std::size_t strings_with_controls_before;
    bool is_object;
  };

  // Records a grammar failure; always returns false.
  bool fail(const char* at, const char* expected) {
    fail_at_ = at;
    expected_ = expected;
    return false;
  }

  // Remembers the first conversion failure; reading goes on.
  void conversion_failure(std::string_view message) {
    if (conversion_error_.empty()) conversion_error_ = message;
  }

  std::string grammar_failure_message() const {
    auto [line, column] = line_and_column(text_, static_cast<std::size_t>(fail_at_ - text_.data()));
    // Skipping stops at an unterminated block comment, so a failure there
    // is that comment's.
    std::string message =
        starts_with(fail_at_, end_, "/*") ? std::string("unterminated block comment") : "expected " + std::string(expected_);
    message += " at line " + std::to_string(line) + ", column " + std::to_string(column);
    return message;
  }

  DecodedChar decode_here(const char* p) const {
    return scan::decode_at(text_, static_cast<std::size_t>(p - text_.data()));
  }

  // Skips WHITESPACE and COMMENTs. Stops at an unterminated block comment,
  // whose "/" then fails whatever token is expected there.
  void skip_insignificant() {
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

  void skip_insignificant_slow() {
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
        DecodedChar d = decode_here(p_);
        if (!is_non_ascii_whitespace(d.code_point)) return;
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
      if (b == '\xE2' && end_ - p_ >= 3 && is_raw_line_or_paragraph_separator(p_)) return;
      ++p_;
    }
  }

  bool read_text(JsonValue& root) {
    skip_insignificant();
    JsonValue value;
    for (;;) {
      // At the start of a value.
      if (interrupt::poll(interrupt::kValueUnits)) return fail(p_, "an uninterrupted read");
      if (p_ == end_) return fail(p_, "a value");
      char c = *p_;
      if (c == '[' || c == '{') {
        if (open_.size() == kMaxNestingDepth) return fail(p_, "no more than 1024 nested arrays and objects");
        bool is_object = c == '{';
        open_.push_back({is_object ? members_.size() : items_.size(), strings_with_controls_, is_object});
        ++p_;
        skip_insignificant();
        if (p_ < end_ && *p_ == (is_object ? '}' : ']')) {
          ++p_;
          value = close_container();
        } else {
          if (is_object && !read_member_head()) return false;
          continue;
        }
      } else if (!read_scalar(value)) {
        return false;
      }
      // The value is complete: place it, then go past separators and the
      // closing brackets that complete further values.
      for (;;) {
        if (open_.empty()) {
          skip_insignificant();
          if (p_ != end_) return fail(p_, "end of text");
          root = value;
          return true;
        }
        const OpenContainer& top = open_.back();
        if (top.is_object) {
          members_.back().value = value;
        } else {
          items_.push_back(value);
        }
        const char closer = top.is_object ? '}' : ']';
        skip_insignificant();
        if (p_ < end_ && *p_ == ',') {
          ++p_;
          skip_insignificant();
          if (p_ < end_ && *p_ == closer) {
            ++p_;
            value = close_container();
            continue;
          }
          if (top.is_object && !read_member_head()) return false;
          break;
        }
        if (p_ < end_ && *p_ == closer) {
          ++p_;
          value = close_container();
          continue;
        }
        return fail(p_, top.is_object ? "',' or '}'" : "',' or ']'");
      }
    }
  }

  JsonValue close_container() {
    OpenContainer top = open_.back();
    open_.pop_back();
    JsonValue container;
    if (top.is_object) {
      container = make_object(std::span(members_).subspan(top.first), arena_);
      members_.resize(top.first);
    } else {
      container = make_array(std::span(items_).subspan(top.first), arena_);
      items_.resize(top.first);
    }
    container.note_control_characters(strings_with_controls_ != top.strings_with_controls_before);
    return container;
  }

  // Reads `key`, ":" and the material up to the value.
  bool read_member_head() {
    if (p_ == end_) return fail(p_, "a key");
    std::string_view key;
    bool read = (*p_ == '"' || *p_ == '\'') ? read_string(key) : read_identifier(key);
    if (!read) return false;
    skip_insignificant();
    if (p_ == end_ || *p_ != ':') return fail(p_, "':'");
    ++p_;
    skip_insignificant();
    members_.push_back({key, JsonValue()});
    return true;
  }

  bool read_word(std::string_view word, JsonValue value, JsonValue& out) {
    if (!starts_with(p_, end_, word)) return fail(p_, "a value");
    p_ += word.size();
    out = value;
    return true;
  }

  bool read_scalar(JsonValue& out) {
    switch (*p_) {
      case 'n':
        return read_word("null", JsonValue::null(), out);
      case 't':
        return read_word("true", JsonValue::boolean(true), out);
      case 'f':
        return read_word("false", JsonValue::boolean(false), out);
      case '"':
      case '\'': {
        std::string_view text;
        if (!read_string(text)) return false;
        out = JsonValue::string(text);
        out.note_control_characters(string_has_controls_);
        strings_with_controls_ += string_has_controls_ ? 1 : 0;
        return true;
      }
      case '+':
      case '-':
      case '.':
      case 'I':
      case 'N':
        return read_number(out);
      default:
        if (*p_ >= '0' && *p_ <= '9') return read_number(out);
        return fail(p_, "a value");
    }
  }

  static const char* skip_digits(const char* p, const char* end) {
    while (p < end && *p >= '0' && *p <= '9') ++p;
    return p;
  }

  // Matches `number` and converts its text. Plain decimal integers of up to
  // 18 digits and floats that from_chars reads in range are converted here;
  // every other token goes through convert_json5_number.
  bool read_number(JsonValue& out) {
    const char* start = p_;
    const char* p = p_;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* unsigned_start = p;
    bool fast_integer = false;
    bool fast_float = false;
    if (starts_with(p, end_, "Infinity")) {
      p += 8;
    } else if (starts_with(p, end_, "NaN")) {
      p += 3;
    } else if (end_ - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && is_hex_digit(p[2])) {
      p += 3;
      while (p < end_ && is_hex_digit(*p)) ++p;
    } else {
      if (p < end_ && *p == '0') {
        ++p;
      } else {
        p = skip_digits(p, end_);
      }
      const bool has_integer_part = p != unsigned_start;
      fast_integer = p - unsigned_start <= 18;
      if (p < end_ && *p == '.') {
        const char* fraction = ++p;
        p = skip_digits(p, end_);
        if (!has_integer_part && p == fraction) return fail(start, "a number");
        fast_integer = false;
        fast_float = true;
      } else if (!has_integer_part) {
        return fail(start, "a number");
      }
      if (p < end_ && (*p == 'e' || *p == 'E')) {
        const char* e = p + 1;
        if (e < end_ && (*e == '+' || *e == '-')) ++e;
        if (e < end_ && *e >= '0' && *e <= '9') {
          p = skip_digits(e, end_);
          fast_integer = false;
          fast_float = true;
        }
      }
    }
    p_ = p;
    if (fast_integer) {
      std::uint64_t magnitude = 0;
      for (const char* d = unsigned_start; d < p; ++d) magnitude = magnitude * 10 + static_cast<std::uint64_t>(*d - '0');
      out = JsonValue::number(negative && magnitude != 0 ? JsonNumber::i64(-static_cast<std::int64_t>(magnitude))
                                                         : JsonNumber::u64(magnitude));
      return true;
    }
    if (fast_float) {
      double value = 0;
      auto [stop, ec] = std::from_chars(unsigned_start, p, value);
      if (ec == std::errc() && stop == p) {
        out = JsonValue::number(JsonNumber::f64(negative ? -value : value));
        return true;
      }
    }
    auto converted = convert_json5_number({start, static_cast<std::size_t>(p - start)});
    if (converted) {
      out = *converted;
    } else {
      conversion_failure(converted.error());
      out = JsonValue::null();
    }
    return true;
  }

  // Reads a quoted string at its opening quote. A string without escapes
  // and line continuations is a view into the text; any other is decoded
  // into the arena.
  bool read_string(std::string_view& out) {
    const char quote = *p_;
    const char* open_quote = p_;
    const char* start = ++p_;
    const char* run = start;  // start of the bytes not yet copied to decoded_
    bool decoding = false;
    string_has_controls_ = false;
    for (;;) {
      p_ = skip_plain_string_bytes(p_, end_, quote);
      if (p_ == end_) return fail(open_quote, "a closing quote for the string");
      char b = *p_;
      if (b == quote) {
        if (!decoding) {
          out = {start, static_cast<std::size_t>(p_ - start)};
        } else {
          decoded_.append(run, p_);
          out = arena_.copy_string(decoded_);
          if (!string_has_controls_) {
            string_has_controls_ = std::any_of(out.begin(), out.end(), scan::is_removed_control_byte);
          }
        }
        ++p_;
        return true;
      }
      if (b == '\\') {
        if (!decoding) {
          decoded_.assign(start, p_);
          decoding = true;
        } else {
          decoded_.append(run, p_);
        }
        if (!read_string_escape(quote)) return false;
        run = p_;
        continue;
      }
      if (b == '\n' || b == '\r') return fail(p_, "a closing quote before the line break");
      if (static_cast<unsigned char>(b) < 0x20) {
        string_has_controls_ = true;
        ++p_;
        continue;
      }
      // Non-ASCII characters, taken together while they last.
      do {
        std::size_t length = utf8_sequence_length(p_, end_);
        if (length == 0) return fail(p_, "valid UTF-8");
        if (length == 3 && is_raw_line_or_paragraph_separator(p_)) {
          return fail(p_, "a closing quote before the line break");
        }
        p_ += length;
      } while (p_ < end_ && static_cast<unsigned char>(*p_) >= 0x80);
    }
  }

  // Length of the line continuation at p (a backslash and a line terminator
  // sequence), or 0.
  std::size_t line_continuation_length(const char* p) const {
    if (end_ - p < 2 || p[0] != '\\') return 0;
    if (p[1] == '\n') return 2;
    if (p[1] == '\r') return (end_ - p >= 3 && p[2] == '\n') ? 3 : 2;
    if (end_ - p >= 4 && is_raw_line_or_paragraph_separator(p + 1)) return 4;
    return 0;
  }

  // At a backslash inside a string: reads an escape sequence or a line
  // continuation and appends what it stands for to decoded_.
  bool read_string_escape(char quote) {
    const char* backslash = p_;
    if (std::size_t skip = line_continuation_length(p_)) {
      p_ += skip;
      return true;
    }
    if (end_ - p_ < 2) return fail(backslash, "an escape sequence");
    char c = p_[1];
    p_ += 2;
    switch (c) {
      case 'b': decoded_ += '\b'; return true;
      case 'f': decoded_ += '\f'; return true;
      case 'n': decoded_ += '\n'; return true;
      case 'r': decoded_ += '\r'; return true;
      case 't': decoded_ += '\t'; return true;
      case 'v': decoded_ += '\v'; return true;
      case '0': decoded_ += '\0'; return true;
      case 'x': {
        std::int32_t v = read_hex_digits(p_, end_, 2);
        if (v < 0) return fail(backslash, "two hexadecimal digits after \\x");
        p_ += 2;
        scan::append_utf8(decoded_, static_cast<char32_t>(v));
        return true;
      }
      case 'u':
        return read_unicode_escape(backslash, quote);
      default:
        break;
    }
    if (c >= '1' && c <= '9') return fail(backslash, "an escape sequence");
    if (static_cast<unsigned char>(c) < 0x80) {
      decoded_ += c;  // a non-escape character stands for itself
      return true;
    }
    DecodedChar d = decode_here(backslash + 1);
    if (d.code_point == scan::kReplacementChar && d.length == 1) return fail(backslash + 1, "valid UTF-8");
    decoded_.append(backslash + 1, d.length);
    p_ = backslash + 1 + d.length;
    return true;
  }

  // After "\u" (p_ is past the "u"): reads the four digits, pairing a lead
  // surrogate with the escape that follows it. quote is the string's quote,
  // or 0 inside an identifier.
  bool read_unicode_escape(const char* backslash, char quote) {
    std::int32_t v = read_hex_digits(p_, end_, 4);
    if (v < 0) return fail(backslash, "four hexadecimal digits after \\u");
    p_ += 4;
    if (is_trail_surrogate(v)) {
      conversion_failure("unexpected unicode trail surrogate");
      return true;
    }
    if (!is_lead_surrogate(v)) {
      scan::append_utf8(decoded_, static_cast<char32_t>(v));
      return true;
    }
    const char* next = p_;
    if (quote != 0) {
      // Line continuations leave no part of their own.
      while (std::size_t skip = line_continuation_length(next)) next += skip;
    }
    std::int32_t trail = -1;
    if (end_ - next >= 2 && next[0] == '\\' && next[1] == 'u') trail = read_hex_digits(next + 2, end_, 4);
    if (is_trail_surrogate(trail)) {
      scan::append_utf8(decoded_, combine_surrogates(v, trail));
      p_ = next + 6;
      return true;
    }
    // The lead fails; the message depends on the part that follows. A next
    // part that breaks the grammar fails on its own when it is read.
    if (trail >= 0) {
      conversion_failure("expecting unicode trail surrogate");
    } else if (!has_next_part(next, quote)) {
      conversion_failure("missing unicode trail surrogate");
    } else {
      conversion_failure(next_part_is_hex(next) ? "expecting unicode trail surrogate" : "error parsing hex");
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
    if (*next != '\\') return is_hex_digit(*next);
    if (end_ - next < 2) return false;
    if (next[1] == 'x') return read_hex_digits(next + 2, end_, 2) >= 0;
    return is_hex_digit(next[1]);
  }

  // Byte length of the identifier character (not an escape) at p, or 0.
  std::size_t identifier_char_length(const char* p, bool first) const {
    auto b = static_cast<unsigned char>(*p);
    if (b < 0x80) return (first ? kAsciiIdentifier.start[b] : kAsciiIdentifier.part[b]) ? 1 : 0;
    DecodedChar d = decode_here(p);
    if (d.code_point == scan::kReplacementChar && d.length == 1) return 0;
    bool ok = first ? is_identifier_start_char(d.code_point) : is_identifier_part_char(d.code_point);
    return ok ? d.length : 0;
  }

  // Reads an unquoted key. One without escapes is a view into the text.
  bool read_identifier(std::string_view& out) {
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
        if (!read_unicode_escape(backslash, 0)) return false;
        run = p_;
      } else if (std::size_t length = identifier_char_length(p_, first)) {
        p_ += length;
      } else {
        break;
      }
      first = false;
    }
    if (first) return fail(start, "a key");
    if (!decoding) {
      out = {start, static_cast<std::size_t>(p_ - start)};
    } else {
      decoded_.append(run, p_);
      out = arena_.copy_string(decoded_);
    }
    return true;
  }

  std::string_view text_;
  const char* p_;
  const char* end_;
  JsonArena& arena_;
  std::vector<OpenContainer> open_;
  std::vector<JsonValue> items_;
  std::vector<JsonMember> members_;
  std::string decoded_;
  const char* fail_at_ = nullptr;
  const char* expected_ = "";
  std::string_view conversion_error_;
  // Whether the last string read holds a control character other than LF,
  // and how many string values so far did.
  bool string_has_controls_ = false;
  std::size_t strings_with_controls_ = 0;
};

}  // namespace

Expected<JsonValue, Json5ReadError> read_json5(std::string_view text, JsonArena& arena) {
  return Json5Reader(text, arena).read();
}

std::optional<JsonValue> try_read_json5(std::string_view text, JsonArena& arena) {
  return Json5Reader(text, arena).try_read();
}

}  // namespace plomet
