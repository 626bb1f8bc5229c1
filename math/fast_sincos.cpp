#include "math/fast_sincos.h"

#include <cmath>

namespace {

constexpr double kLargest = 1e6;  // |k| < 2^20 below it, so k times each part of pi/2 is exact
constexpr double kTwoOverPi = 6.36619772367581382433e-01;
constexpr double kShifter = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
// pi/2 as the sum of three parts, the first two with 33 significant bits.
constexpr double kHalfPi1 = 1.57079632673412561417e+00;
constexpr double kHalfPi2 = 6.07710050630396597660e-11;
constexpr double kHalfPi3 = 2.02226624879595063154e-21;
// Minimax coefficients of sin and cos on [-pi/4, pi/4] (fdlibm's kernels; error below 2^-58).
constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                 S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                 S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                 C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                 C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;

}  // namespace

void fast_sincos(double x, double& s, double& c) {
  if (!(std::fabs(x) <= kLargest)) {
    s = std::sin(x);
    c = std::cos(x);
    return;
  }
  // x = k pi/2 + r with |r| <= pi/4 (a hair more at the ties).
  const double k = (x * kTwoOverPi + kShifter) - kShifter;
  const double r = ((x - k * kHalfPi1) - k * kHalfPi2) - k * kHalfPi3;
  const double z = r * r;
  const double sinR = r + z * r * (S1 + z * (S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)))));
  const double hz = 0.5 * z, w = 1 - hz;
  const double cosR =
      w + (((1 - w) - hz) + z * z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6))))));
  switch (static_cast<long>(k) & 3) {
    case 0:
      s = sinR, c = cosR;
      break;
    case 1:
      s = cosR, c = -sinR;
      break;
    case 2:
      s = -sinR, c = -cosR;
      break;
    default:
      s = -cosR, c = sinR;
  }
}
