// The encoding a leading byte-order mark names, and the transcoding of
// UTF-16 and UTF-32 inputs that carry one into UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/expected.h"

namespace plomet::cli {

enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian, Utf32LittleEndian, Utf32BigEndian };

struct ByteOrderMark {
  Encoding encoding;
  std::size_t length;
};

// The byte-order mark text starts with, if any. FF FE 00 00 is read as
// UTF-32: as UTF-16 it would be a mark followed by U+0000.
std::optional<ByteOrderMark> byte_order_mark(std::string_view text);

// "UTF-16LE" and the like.
std::string_view encoding_name(Encoding encoding);

// The family of an encoding, as iconv names it: "UTF-16" or "UTF-32".
std::string_view encoding_family(Encoding encoding);

// The UTF-8 of text in a UTF-16 or UTF-32 encoding, without its mark; the
// error names the offset in text of the first unit that is not a character
// (a lone surrogate, a value past U+10FFFF, a cut unit at the end).
Expected<std::string, std::string> transcode_to_utf8(std::string_view text, Encoding encoding);

}  // namespace plomet::cli
