#include "math/fast_sincos.h"

#include <cmath>
#include <random>

#include "support.h"

namespace {

// Error of v against the extended-precision value, in units of the last place of a double there.
double ulps(double v, long double exact) {
  const double nearest = static_cast<double>(exact);
  const double ulp = std::fabs(std::nextafter(nearest, INFINITY) - nearest);
  return static_cast<double>(std::fabs(static_cast<long double>(v) - exact) / ulp);
}

// Within 2.5 ulps of long double's sine and cosine: at random angles over several scales, and next
// to the quarter turns, where the reduction cancels and the sine or cosine is tiny.
TEST(FastSincos, WithinTwoAndAHalfUlpsOfExtendedPrecision) {
  std::mt19937_64 rng(7);
  double worst = 0;
  auto check = [&](double x) {
    double s, c;
    fast_sincos(x, s, c);
    const long double xl = x;
    worst = std::fmax(worst, std::fmax(ulps(s, std::sin(xl)), ulps(c, std::cos(xl))));
  };
  for (double scale : {1e-8, 1.0, 4.0, 30.0, 1e3, 1e6}) {
    std::uniform_real_distribution<double> angle(-scale, scale);
    for (int n = 0; n < 20000; n++) check(angle(rng));
  }
  for (int k = -2000; k <= 2000; k++) {
    const double x = k * (PI / 2);
    check(x);
    check(std::nextafter(x, INFINITY));
    check(std::nextafter(x, -INFINITY));
  }
  EXPECT_LE(worst, 2.5);
}

// Beyond the polynomial's range, and for no number, the library's own values.
TEST(FastSincos, LargeAndNonFiniteAnglesTakeTheLibrary) {
  for (double x : {1e6 + 1, -3e9, 1e300, double(INFINITY), -double(INFINITY), double(NAN)}) {
    double s, c;
    fast_sincos(x, s, c);
    EXPECT_TRUE(s == std::sin(x) || (std::isnan(s) && std::isnan(std::sin(x)))) << x;
    EXPECT_TRUE(c == std::cos(x) || (std::isnan(c) && std::isnan(std::cos(x)))) << x;
  }
}

}  // namespace
