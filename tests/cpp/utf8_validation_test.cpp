#include "text/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "utf8_kernel_name.h"

namespace plomet::scan {
namespace {

using namespace std::string_view_literals;

std::string hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
    out += ' ';
  }
  return out;
}

// Text of exactly length bytes: copies of unit, then ASCII to fill up.
std::string filler(std::string_view unit, std::size_t length) {
  std::string out;
  while (out.size() + unit.size() <= length) out += unit;
  out.append(length - out.size(), 'a');
  return out;
}

struct Case {
  std::string bytes;
  std::size_t offset;  // of the first malformed byte in bytes alone
};

// Each case keeps its offset behind any valid text and before ASCII.
const Case kCases[] = {
    {"", kValidUtf8},
    {"\xC2\x80", kValidUtf8},                  // U+0080
    {"\xDF\xBF", kValidUtf8},                  // U+07FF
    {"\xE0\xA0\x80", kValidUtf8},              // U+0800
    {"\xED\x9F\xBF", kValidUtf8},              // U+D7FF
    {"\xEE\x80\x80", kValidUtf8},              // U+E000
    {"\xEF\xBF\xBD", kValidUtf8},              // U+FFFD
    {"\xEF\xBF\xBF", kValidUtf8},              // U+FFFF
    {"\xF0\x90\x80\x80", kValidUtf8},          // U+10000
    {"\xF4\x8F\xBF\xBF", kValidUtf8},          // U+10FFFF
    {"\x80", 0},                               // lone continuation bytes
    {"\xBF", 0},
    {"\xC2\x80\x80", 2},                       // one continuation too many
    {"\xE2\x82\xAC\xAC", 3},
    {"\xF0\x9F\x98\x80\x80", 4},
    {"\xC0\x80", 0},                           // overlong two-byte
    {"\xC1\xBF", 0},
    {"\xE0\x80\x80", 0},                       // overlong three-byte
    {"\xE0\x9F\xBF", 0},
    {"\xF0\x80\x80\x80", 0},                   // overlong four-byte
    {"\xF0\x8F\xBF\xBF", 0},
    {"\xED\xA0\x80", 0},                       // surrogates
    {"\xED\xBF\xBF", 0},
    {"\xF4\x90\x80\x80", 0},                   // past U+10FFFF
    {"\xF4\xBF\xBF\xBF", 0},
    {"\xF5\x80\x80\x80", 0},                   // bytes that never occur
    {"\xF7\xBF\xBF\xBF", 0},
    {"\xF8\x88\x80\x80\x80", 0},
    {"\xFE", 0},
    {"\xFF", 0},
    {"\xC2", 0},                               // cut short, at the end or before ASCII
    {"\xE2\x82", 0},
    {"\xF0\x9F\x98", 0},
    {"\xC2\xC2\x80", 0},                       // a lead byte where a continuation belongs
    {"\xE2\x82\xE2\x82\xAC", 0},
    {"\xF0\x9F\x98\xF0\x9F\x98\x80", 0},
    {"\xC3\xA9\xE0\x80\x80", 2},               // the fault after a valid character
    {"\xF0\x9F\x98\x80\xED\xA0\x80", 4},
};

// Runs a test for one validator, skipped where the processor lacks it.
class Utf8Validation : public ::testing::TestWithParam<Utf8Kernel> {
 protected:
  void SetUp() override {
    if (!cpu_runs(GetParam())) GTEST_SKIP() << "this processor does not run " << kernel_name(GetParam());
  }
  std::size_t find(std::string_view bytes) const { return find_invalid_utf8(bytes, GetParam()); }
};

// The vector validators, checked against the scalar search.
class Utf8VectorValidation : public Utf8Validation {};

TEST_P(Utf8Validation, FindsEachClassicFaultAtEveryAlignmentAndAcrossBlocks) {
  // Before the case: valid text of every length over two blocks of 64 bytes,
  // so the case starts at every offset of a block and straddles the
  // boundaries; after it: nothing, ASCII or a whole block of ASCII.
  const std::string_view prefix_units[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
  const std::string suffixes[] = {"", "a", "xyz", std::string(70, 'b')};
  for (const Case& c : kCases) {
    for (std::string_view unit : prefix_units) {
      for (std::size_t length = 0; length < 140; ++length) {
        const std::string prefix = filler(unit, length);
        for (const std::string& suffix : suffixes) {
          const std::string text = prefix + c.bytes + suffix;
          const std::size_t expected = c.offset == kValidUtf8 ? kValidUtf8 : length + c.offset;
          ASSERT_EQ(find(text), expected) << hex(text);
        }
      }
    }
  }
}

TEST_P(Utf8VectorValidation, AgreesWithTheScalarSearchOnEveryBytePairAcrossABlockBoundary) {
  // Bytes 63 and 64 take every pair of values; what follows completes or
  // breaks a sequence of three or four bytes.
  const std::string before = filler("\xE2\x82\xAC", 63);
  const std::string_view afters[] = {"", "a", "\x80", "\x80\x80", "\xBF\x80z"};
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      for (std::string_view after : afters) {
        std::string text = before;
        text += static_cast<char>(first);
        text += static_cast<char>(second);
        text += after;
        ASSERT_EQ(find(text), find_invalid_utf8_scalar(text, 0)) << hex(text);
      }
    }
  }
}

// Valid characters of each length, their edges among them, with some
// bytes replaced, inserted, dropped or cut off at the end.
std::string random_text(std::mt19937& rng) {
  static constexpr std::string_view kSharpBytes = "\x00\x7F\x80\xBF\xC0\xC1\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF"sv;
  static const char32_t kEdges[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
  auto below = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  std::string text;
  const std::size_t characters = below(4) == 0 ? below(200) : below(60);
  const std::size_t ascii_weight = below(4);  // from mostly non-ASCII to mostly ASCII
  for (std::size_t i = 0; i < characters; ++i) {
    char32_t c;
    switch (below(4) < ascii_weight ? 0 : 1 + below(4)) {
      case 0: c = static_cast<char32_t>(below(0x80)); break;
      case 1: c = static_cast<char32_t>(0x80 + below(0x780)); break;
      case 2: c = static_cast<char32_t>(0x800 + below(0xF800)); break;
      case 3: c = static_cast<char32_t>(0x10000 + below(0x100000)); break;
      default: c = kEdges[below(std::size(kEdges))]; break;
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 'x';
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      text += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
               static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      text += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
               static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  const std::size_t mutations = below(3) == 0 ? 0 : 1 + below(3);
  for (std::size_t m = 0; m < mutations && !text.empty(); ++m) {
    const std::size_t at = below(text.size());
    const char byte = below(2) == 0 ? kSharpBytes[below(kSharpBytes.size())] : static_cast<char>(below(256));
    switch (below(4)) {
      case 0: text[at] = byte; break;
      case 1: text.insert(at, 1, byte); break;
      case 2: text.erase(at, 1); break;
      default: text.resize(at); break;
    }
  }
  return text;
}

TEST_P(Utf8VectorValidation, AgreesWithTheScalarSearchOnRandomAndDamagedTexts) {
  std::mt19937 rng(20240611);
  std::size_t faulty = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string text = random_text(rng);
    const std::size_t expected = find_invalid_utf8_scalar(text, 0);
    faulty += expected != kValidUtf8;
    ASSERT_EQ(find(text), expected) << hex(text);
  }
  // Both outcomes come up often enough to matter.
  EXPECT_GT(faulty, 50000u);
  EXPECT_LT(faulty, 150000u);
}

std::string test_name(const ::testing::TestParamInfo<Utf8Kernel>& info) {
  return kernel_name(info.param);
}

INSTANTIATE_TEST_SUITE_P(EachValidator, Utf8Validation, ::testing::ValuesIn(kUtf8Kernels), test_name);
INSTANTIATE_TEST_SUITE_P(EachValidator, Utf8VectorValidation,
                         ::testing::Values(Utf8Kernel::kSse42, Utf8Kernel::kAvx2), test_name);

TEST(Utf8ValidationDispatch, RunsAValidatorThatAgreesWithTheScalarSearch) {
  EXPECT_TRUE(cpu_runs(Utf8Kernel::kScalar));
  const std::string text = filler("\xE2\x82\xAC", 200) + "\xED\xA0\x80" + filler("a", 100);
  EXPECT_EQ(find_invalid_utf8(text), 200u);
  EXPECT_EQ(find_invalid_utf8(filler("\xF0\x9F\x98\x80", 300)), kValidUtf8);
}

}  // namespace
}  // namespace plomet::scan
