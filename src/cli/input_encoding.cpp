#include "cli/input_encoding.h"

#include <cstdint>

#include "text/utf8.h"

namespace plomet::cli {

namespace {

std::uint32_t unit_at(std::string_view text, std::size_t at, std::size_t size, bool little_endian) {
  std::uint32_t unit = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(text[at + (little_endian ? size - 1 - i : i)]));
    unit = (unit << 8) | byte;
  }
  return unit;
}

std::string not_valid(Encoding encoding, std::size_t at) {
  return "not valid " + std::string(encoding_name(encoding)) + " at byte " + std::to_string(at);
}

}  // namespace

std::optional<ByteOrderMark> byte_order_mark(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) return ByteOrderMark{Encoding::Utf8, 3};
  if (text.starts_with(std::string_view("\xFF\xFE\0\0", 4))) return ByteOrderMark{Encoding::Utf32LittleEndian, 4};
  if (text.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return ByteOrderMark{Encoding::Utf32BigEndian, 4};
  if (text.starts_with("\xFF\xFE")) return ByteOrderMark{Encoding::Utf16LittleEndian, 2};
  if (text.starts_with("\xFE\xFF")) return ByteOrderMark{Encoding::Utf16BigEndian, 2};
  return std::nullopt;
}

std::string_view encoding_name(Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf8: return "UTF-8";
    case Encoding::Utf16LittleEndian: return "UTF-16LE";
    case Encoding::Utf16BigEndian: return "UTF-16BE";
    case Encoding::Utf32LittleEndian: return "UTF-32LE";
    case Encoding::Utf32BigEndian: return "UTF-32BE";
  }
  return "";
}

std::string_view encoding_family(Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf8: return "UTF-8";
    case Encoding::Utf16LittleEndian:
    case Encoding::Utf16BigEndian: return "UTF-16";
    case Encoding::Utf32LittleEndian:
    case Encoding::Utf32BigEndian: return "UTF-32";
  }
  return "";
}

Expected<std::string, std::string> transcode_to_utf8(std::string_view text, Encoding encoding) {
  const bool wide = encoding == Encoding::Utf32LittleEndian || encoding == Encoding::Utf32BigEndian;
  const bool little_endian = encoding == Encoding::Utf16LittleEndian || encoding == Encoding::Utf32LittleEndian;
  const std::size_t size = wide ? 4 : 2;
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); at += size) {
    if (text.size() - at < size) return Unexpected(not_valid(encoding, at));
    char32_t code_point = unit_at(text, at, size, little_endian);
    if (!wide && code_point >= 0xD800 && code_point <= 0xDBFF) {
      const std::size_t trail_at = at + size;
      const std::uint32_t trail = text.size() - trail_at >= size ? unit_at(text, trail_at, size, little_endian) : 0;
      if (trail < 0xDC00 || trail > 0xDFFF) return Unexpected(not_valid(encoding, at));
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (trail - 0xDC00);
      at = trail_at;
    } else if ((code_point >= 0xD800 && code_point <= 0xDFFF) || code_point > 0x10FFFF) {
      return Unexpected(not_valid(encoding, at));
    }
    scan::append_utf8(out, code_point);
  }
  return out;
}

}  // namespace plomet::cli
