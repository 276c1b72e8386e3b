// The fast path of decimal floats agrees with the correctly rounded general
// path on every text it takes, and leaves to it every text it cannot take
// exactly.
#include "text/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace plomet::number_text {
namespace {

std::optional<double> general_path(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Same double, bit for bit (so 0.0 and -0.0 differ).
void expect_same(const std::string& text, double fast) {
  const std::optional<double> general = general_path(text);
  ASSERT_TRUE(general.has_value()) << text;
  EXPECT_EQ(std::bit_cast<std::uint64_t>(fast), std::bit_cast<std::uint64_t>(*general)) << text;
}

TEST(ExactSmallDecimal, TakesOnlyWhatOneRoundingGives) {
  const struct {
    const char* text;
    bool taken;
  } cases[] = {
      {"0", true},
      {"0.0", true},
      {"12.345", true},
      {".5", true},
      {"5.", true},
      {"0.001", true},
      {"123456789012345", true},          // 15 digits
      {"1234567890123456", false},        // 16
      {"0.000000000000000000001", true},  // leading zeros do not count
      {"1.50000000000000000", false},     // trailing ones do
      {"1e22", true},
      {"1e23", false},
      {"1e-22", true},
      {"1e-23", false},
      {"4.35e-20", true},
      {"123e-30", false},
      {"1E+5", true},
      {"1e0005", true},
      {"1e00005", false},
      {"0e999", true},  // zero whatever the power
      {"", false},
      {".", false},
      {"1e", false},
      {"1e+", false},
      {"1.2.3", false},
      {"1x", false},
      {"-1", false},  // unsigned texts only
      {"0x10", false},
  };
  for (const auto& c : cases) {
    const std::optional<double> fast = exact_small_decimal(c.text);
    EXPECT_EQ(fast.has_value(), c.taken) << c.text;
    if (fast) expect_same(c.text, *fast);
  }
}

// Random literals around the edges: 1 to 17 digits, the point anywhere,
// powers of ten from -30 to 30.
TEST(ExactSmallDecimal, AgreesWithTheGeneralPathOnRandomLiterals) {
  std::mt19937_64 random(12345);
  std::size_t taken = 0;
  for (int i = 0; i < 200000; ++i) {
    const int length = 1 + static_cast<int>(random() % 17);
    std::string text;
    for (int d = 0; d < length; ++d) text.push_back(static_cast<char>('0' + random() % 10));
    if (random() % 2 == 0) text.insert(text.begin() + static_cast<std::ptrdiff_t>(random() % (text.size() + 1)), '.');
    if (random() % 2 == 0) {
      text.push_back('e');
      text.append(std::to_string(static_cast<int>(random() % 61) - 30));
    }
    const std::optional<double> fast = exact_small_decimal(text);
    if (!fast) continue;
    ++taken;
    expect_same(text, *fast);
  }
  EXPECT_GT(taken, 50000u);  // the fast path is exercised, not skipped
}

}  // namespace
}  // namespace plomet::number_text
