#include "text/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "utf8_kernel_name.h"

namespace plomet::scan {
namespace {

constexpr const char* kRefused = "<refused>";

// Encodes into a buffer of exactly the room the contract asks for, so that
// the sanitizer build catches a store past it; kRefused when the encoder
// refuses.
template <typename Unit>
std::string encoded(const std::vector<char32_t>& code_points, Utf8Kernel kernel) {
  const std::vector<Unit> units(code_points.begin(), code_points.end());
  const std::size_t room = units.size() * kMaxUtf8BytesPerUnit<Unit>;
  auto out = std::make_unique<char[]>(room);
  char* end = encode_utf8(units.data(), units.size(), out.get(), kernel);
  if (end == nullptr) return kRefused;
  return std::string(out.get(), end);
}

// The code points as a str of the narrowest storage stores them: whether
// each fits a Unit.
template <typename Unit>
bool fits(const std::vector<char32_t>& code_points) {
  for (char32_t c : code_points) {
    if (c > static_cast<char32_t>(static_cast<Unit>(-1))) return false;
  }
  return true;
}

std::vector<char32_t> ascii(std::size_t count) { return std::vector<char32_t>(count, U'a'); }

std::vector<char32_t> operator+(std::vector<char32_t> a, const std::vector<char32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  std::vector<char32_t> code_points;
  std::string utf8;  // kRefused when there is no UTF-8 form
};

const Case kCases[] = {
    {{}, ""},
    {{0x00, 0x7F}, std::string("\0\x7F", 2)},
    {{0x80, 0xE9, 0xFF}, "\xC2\x80\xC3\xA9\xC3\xBF"},
    {{0x100, 0x7FF}, "\xC4\x80\xDF\xBF"},
    {{0x800, 0x20AC, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF}, "\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xEF\xBF\xBF"},
    {{0x10000, 0x1F600, 0x10FFFF}, "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
    // Every length of sequence side by side, as a mixed block holds them.
    {{'a', 0xE9, 0x20AC, 'b', 0x1F600, 0x7FF, 0x800, 'c'},
     "a\xC3\xA9\xE2\x82\xAC" "b\xF0\x9F\x98\x80\xDF\xBF\xE0\xA0\x80" "c"},
    // Surrogates, alone or in what UTF-16 would read as a pair: each stored
    // code point stands alone.
    {{0xD800}, kRefused},
    {{0xDBFF}, kRefused},
    {{0xDC00}, kRefused},
    {{0xDFFF}, kRefused},
    {{0xD83D, 0xDE00}, kRefused},
    {{0xE9, 0xDFFF, 0xE9}, kRefused},
    // Past the last code point, some of them negative as signed lanes.
    {{0x110000}, kRefused},
    {{0x7FFFFFFF}, kRefused},
    {{0x80000000}, kRefused},
    {{0xFFFFFFFF}, kRefused},
    {{0x100E9}, "\xF0\x90\x83\xA9"},
};

// Runs a test for one kernel, skipped where the processor lacks it.
class EncodeUtf8 : public ::testing::TestWithParam<Utf8Kernel> {
 protected:
  void SetUp() override {
    if (!cpu_runs(GetParam())) GTEST_SKIP() << "this processor does not run " << kernel_name(GetParam());
  }

  // Checks the case in every storage width that holds its code points.
  void expect_encodes(const std::vector<char32_t>& code_points, const std::string& utf8) const {
    if (fits<std::uint8_t>(code_points)) {
      ASSERT_EQ(encoded<std::uint8_t>(code_points, GetParam()), utf8) << "1-byte units";
    }
    if (fits<std::uint16_t>(code_points)) {
      ASSERT_EQ(encoded<std::uint16_t>(code_points, GetParam()), utf8) << "2-byte units";
    }
    ASSERT_EQ(encoded<std::uint32_t>(code_points, GetParam()), utf8) << "4-byte units";
  }
};

TEST_P(EncodeUtf8, WritesEachCaseAtEveryOffsetOfTheBlocksAndBeforeTheTail) {
  // Before the case: ASCII of every length over two blocks of 32, so the case
  // starts at every offset and straddles the block boundaries; after it:
  // nothing, a little, or enough for the blocks to reach past it.
  const std::size_t afters[] = {0, 1, 9, 40, 70};
  for (const Case& c : kCases) {
    for (std::size_t before = 0; before < 72; ++before) {
      for (std::size_t after : afters) {
        const std::vector<char32_t> code_points = ascii(before) + c.code_points + ascii(after);
        const std::string utf8 =
            c.utf8 == kRefused ? kRefused : std::string(before, 'a') + c.utf8 + std::string(after, 'a');
        SCOPED_TRACE(testing::Message() << "before " << before << ", after " << after);
        expect_encodes(code_points, utf8);
      }
    }
  }
}

TEST_P(EncodeUtf8, WritesLongRunsOfEachLengthOfSequence) {
  const struct {
    char32_t code_point;
    std::string utf8;
  } runs[] = {{U'a', "a"}, {0xE9, "\xC3\xA9"}, {0x20AC, "\xE2\x82\xAC"}, {0x1F600, "\xF0\x9F\x98\x80"}};
  for (const auto& run : runs) {
    for (std::size_t length : {31u, 32u, 33u, 100u, 1000u}) {
      std::string utf8;
      for (std::size_t i = 0; i < length; ++i) utf8 += run.utf8;
      SCOPED_TRACE(testing::Message() << length << " of U+" << std::hex << static_cast<std::uint32_t>(run.code_point));
      expect_encodes(std::vector<char32_t>(length, run.code_point), utf8);
    }
  }
}

// Code points of each class, mostly ASCII or mostly not, with the edges of
// the classes and, now and then, a surrogate or a value past U+10FFFF.
std::vector<char32_t> random_code_points(std::mt19937& rng, char32_t largest) {
  static const char32_t kEdges[] = {0x7F, 0x80, 0xFF, 0x100, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x10FFFF};
  auto below = [&rng](std::uint64_t n) { return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(rng); };
  const std::size_t count = below(4) == 0 ? below(400) : below(80);
  const std::uint64_t ascii_weight = below(5);
  std::vector<char32_t> code_points;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c;
    switch (below(5) < ascii_weight ? 0 : 1 + below(5)) {
      case 0: c = static_cast<char32_t>(below(0x80)); break;
      case 1: c = static_cast<char32_t>(0x80 + below(0x780)); break;
      case 2: c = static_cast<char32_t>(0x800 + below(0xF800)); break;
      case 3: c = static_cast<char32_t>(0x10000 + below(0x100000)); break;
      case 4: c = kEdges[below(std::size(kEdges))]; break;
      default: c = below(50) == 0 ? static_cast<char32_t>(0xD800 + below(0x800)) : U'x'; break;
    }
    if (below(2000) == 0) c = static_cast<char32_t>(0x110000 + below(0xFFEF0000));
    code_points.push_back(c <= largest ? c : static_cast<char32_t>(c % (largest + 1)));
  }
  return code_points;
}

TEST_P(EncodeUtf8, AgreesWithTheScalarEncoderOnRandomCodePoints) {
  std::mt19937 rng(20240925);
  std::size_t refused = 0;
  for (int i = 0; i < 30000; ++i) {
    const std::vector<char32_t> wide = random_code_points(rng, 0xFFFFFFFF);
    const std::vector<char32_t> narrow = random_code_points(rng, 0xFFFF);
    const std::vector<char32_t> latin1 = random_code_points(rng, 0xFF);
    const std::string expected = encoded<std::uint32_t>(wide, Utf8Kernel::kScalar);
    refused += expected == kRefused;
    ASSERT_EQ(encoded<std::uint32_t>(wide, GetParam()), expected);
    ASSERT_EQ(encoded<std::uint16_t>(narrow, GetParam()), encoded<std::uint16_t>(narrow, Utf8Kernel::kScalar));
    ASSERT_EQ(encoded<std::uint8_t>(latin1, GetParam()), encoded<std::uint8_t>(latin1, Utf8Kernel::kScalar));
  }
  // Both outcomes come up often enough to matter.
  EXPECT_GT(refused, 3000u);
  EXPECT_LT(refused, 27000u);
}

std::string test_name(const ::testing::TestParamInfo<Utf8Kernel>& info) { return kernel_name(info.param); }

INSTANTIATE_TEST_SUITE_P(EachKernel, EncodeUtf8, ::testing::ValuesIn(kUtf8Kernels), test_name);

TEST(EncodeUtf8Dispatch, RunsAnEncoderThatAgreesWithTheScalarOne) {
  const std::vector<std::uint16_t> units(100, 0x20AC);
  std::string out(units.size() * kMaxUtf8BytesPerUnit<std::uint16_t>, '\0');
  char* end = encode_utf8(units.data(), units.size(), out.data());
  ASSERT_NE(end, nullptr);
  std::string expected;
  for (std::size_t i = 0; i < units.size(); ++i) expected += "\xE2\x82\xAC";
  EXPECT_EQ(std::string(out.data(), end), expected);
}

}  // namespace
}  // namespace plomet::scan
