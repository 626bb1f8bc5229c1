// Numbers as text, checked against the C library's printf in the C locale (the process's locale
// is "C" in the tests) and against reading the text back.
#include "math/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// Seeded values over many magnitudes, both signs and the edge cases: fixed text is printf's
// "%.*f" but for the sign of a value that rounds to zero, and 17 significant digits read back
// as the same double.
TEST(NumberText, FixedIsPrintfAndSeventeenDigitsRoundTrip) {
  std::mt19937 rng(4242);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-12, 12), decimals(0, 6);
  std::vector<double> values = {0.0, -0.0, 1e-9, -1e-9, 0.5, -0.5, 0.05, -0.049, 123.456};
  for (int k = 0; k < 2000; k++) values.push_back(mantissa(rng) * std::pow(10.0, exponent(rng)));
  for (double v : values) {
    SCOPED_TRACE(testing::Message() << "value " << v);
    const int d = decimals(rng);
    char expected[512];
    std::snprintf(expected, sizeof expected, "%.*f", d, v);
    std::string want = expected;
    if (want[0] == '-' && want.find_first_of("123456789") == std::string::npos) want.erase(0, 1);
    std::string fixed;
    append_fixed(fixed, v, d);
    EXPECT_EQ(fixed, want) << d << " decimals";

    std::string general;
    append_number(general, v, 17);
    EXPECT_EQ(std::strtod(general.c_str(), nullptr), v);
    if (v == 0) {
      EXPECT_EQ(general, "0");
    }
  }
}

}  // namespace
