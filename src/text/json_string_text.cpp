#include "text/json_string_text.h"

namespace plomet {
namespace {

// Bytes that a JSON string literal escapes: controls, the double quote and the
// backslash.
constexpr bool needs_escape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

}  // namespace

template <class Out>
void append_json_string_text(Out& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (!needs_escape(byte)) continue;
    out.append(text, run_start, i - run_start);
    run_start = i + 1;
    out.push_back('\\');
    switch (byte) {
      case '"': out.push_back('"'); break;
      case '\\': out.push_back('\\'); break;
      case '\b': out.push_back('b'); break;
      case '\t': out.push_back('t'); break;
      case '\n': out.push_back('n'); break;
      case '\f': out.push_back('f'); break;
      case '\r': out.push_back('r'); break;
      default: {
        const char code[] = {'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
        out.append(code, sizeof code);
      }
    }
  }
  out.append(text, run_start, text.size() - run_start);
  out.push_back('"');
}

template void append_json_string_text(std::string& out, std::string_view text);
template void append_json_string_text(Text& out, std::string_view text);

}  // namespace plomet
