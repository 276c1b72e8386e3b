// The fast path of the shortest digits of a double gives what the general
// conversion gives, on the values it takes and on every other.
#include "text/float_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace plomet {
namespace {

std::string described(const ShortestFloatDigits& digits) {
  return std::string(digits.digits, digits.count) + "e" + std::to_string(digits.exponent);
}

void expect_as_conversion(double value) {
  EXPECT_EQ(described(shortest_float_digits(value)), described(shortest_float_digits_by_conversion(value)))
      << std::bit_cast<std::uint64_t>(value);
}

TEST(ShortestFloatDigits, AgreeWithTheConversionAtTheEdges) {
  const double values[] = {1e-8,  9.99999999999999e-9, 1e-9, 0.1,    0.2,     0.3,   1.0 / 3, 2.0 / 3,
                           1,     9.99999999999999,    10,   123.456, 1e14,   1e15,  999999999999999.0,
                           999999999999999.9, 1e15 - 0.5, 5e-324, 1.7976931348623157e308, 0.30000000000000004,
                           4503599627370496.0, 9007199254740993.0, 1.5e-7, 2.5, 1e22, 1e23};
  for (double value : values) expect_as_conversion(value);
}

// Doubles read from random decimals of 1 to 17 digits across the range the
// fast path covers and beyond, and doubles of random bits.
TEST(ShortestFloatDigits, AgreeWithTheConversionOnRandomValues) {
  std::mt19937_64 random(2024);
  for (int i = 0; i < 300000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 17);
    std::string text;
    for (int d = 0; d < digits; ++d) text.push_back(static_cast<char>('1' + random() % 9));
    text.push_back('e');
    text.append(std::to_string(static_cast<int>(random() % 50) - 25));
    expect_as_conversion(std::stod(text));
  }
  for (int i = 0; i < 300000; ++i) {
    const double value = std::abs(std::bit_cast<double>(random()));
    if (std::isfinite(value) && value != 0) expect_as_conversion(value);
  }
}

}  // namespace
}  // namespace plomet
