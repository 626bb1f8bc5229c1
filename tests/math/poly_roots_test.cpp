#include "math/poly_roots.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>

#include "support.h"

namespace {

// Value of the monic polynomial with coefficients coef (leading 1 left out) at a complex point.
std::complex<double> monic_at(const double coef[], int degree, std::complex<double> x) {
  std::complex<double> value = 1;
  for (int k = 0; k < degree; k++) value = value * x + coef[k];
  return value;
}

// Coefficients of the monic polynomial with the given real roots.
void monic_from_roots(const double roots[], int degree, double coef[]) {
  double full[5] = {1, 0, 0, 0, 0};  // full[k] multiplies x^(degree - k) once all are in
  for (int i = 0; i < degree; i++)
    for (int k = i + 1; k >= 1; k--) full[k] -= roots[i] * full[k - 1];
  for (int k = 0; k < degree; k++) coef[k] = full[k + 1];
}

// Every entry of a root array solves the polynomial: the real roots as they stand, every (re, im)
// pair behind them as re + i*im with im > 0.
void expect_layout_solves(const double coef[], int degree, const double roots[], int count,
                          double tolerance) {
  for (int k = 0; k < count; k++)
    EXPECT_LT(std::abs(monic_at(coef, degree, roots[k])), tolerance) << "real root " << k;
  for (int k = count; k + 1 < degree; k += 2) {
    const std::complex<double> z(roots[k], roots[k + 1]);
    EXPECT_GT(roots[k + 1], 0) << "imaginary part of the pair at " << k;
    EXPECT_LT(std::abs(monic_at(coef, degree, z)), tolerance) << "pair at " << k;
  }
}

// The examples that pin the order of the roots and the layout of complex pairs: a different order
// changes which joint solution the callers pick.
TEST(PolyRoots, ExamplesPinOrderAndLayout) {
  double roots[4];
  const double double_zero[2] = {0, 0};
  EXPECT_EQ(quadratic(double_zero, roots), 2);
  EXPECT_EQ(roots[0], 0);
  EXPECT_EQ(roots[1], 0);
  const double tiny_constant[2] = {1.5, 1e-8};
  EXPECT_EQ(quadratic(tiny_constant, roots), 2);
  EXPECT_EQ(roots[0], -3);
  EXPECT_EQ(roots[1], 0);
  const double complex_pair[2] = {1, 2};  // x^2 + 2x + 2
  EXPECT_EQ(quadratic(complex_pair, roots), 0);
  EXPECT_EQ(roots[0], -1);
  EXPECT_EQ(roots[1], 1);
  const double five_one[2] = {-3, 5};  // x^2 - 6x + 5: larger magnitude first
  EXPECT_EQ(quadratic(five_one, roots), 2);
  EXPECT_EQ(roots[0], 5);
  EXPECT_EQ(roots[1], 1);

  // Exact integers up to rounding in the last bits.
  const double one_two_three[3] = {-6, 11, -6};
  ASSERT_EQ(cubic(one_two_three, roots), 3);
  EXPECT_NEAR(roots[0], 2, 1e-14);
  EXPECT_NEAR(roots[1], 1, 1e-14);
  EXPECT_NEAR(roots[2], 3, 1e-14);
  // The imaginary part carries the seven-digit sqrt(3)/2 = 0.8660254, not the exact value.
  const double cube_eight[3] = {0, 0, -8};
  ASSERT_EQ(cubic(cube_eight, roots), 1);
  EXPECT_NEAR(roots[0], 2, 1e-14);
  EXPECT_NEAR(roots[1], -1, 1e-14);
  EXPECT_NEAR(roots[2], 2 * 0.8660254, 1e-14);
  const double zero_first[3] = {-3, 2, 1e-9};  // x(x-1)(x-2) nearly
  ASSERT_EQ(cubic(zero_first, roots), 3);
  EXPECT_NEAR(roots[0], 0, 1e-8);
  EXPECT_NEAR(roots[1], 2, 1e-8);
  EXPECT_NEAR(roots[2], 1, 1e-8);

  // Factored as (x^2 + 3x + 2)(x^2 - 3x + 2), each quadratic's larger magnitude root first.
  const double plus_minus_one_two[4] = {0, -5, 0, 4};
  ASSERT_EQ(quartic(plus_minus_one_two, roots), 4);
  const double in_order[4] = {-2, -1, 2, 1};
  for (int k = 0; k < 4; k++) EXPECT_NEAR(roots[k], in_order[k], 1e-14) << "root " << k;
  const double no_real[4] = {0, 0, 0, 1};  // x^4 + 1: two pairs
  ASSERT_EQ(quartic(no_real, roots), 0);
  expect_layout_solves(no_real, 4, roots, 0, 1e-14);
  const double two_real[4] = {0, 0, 0, -1};  // (x^2 - 1)(x^2 + 1): (x0, x1, re, im)
  ASSERT_EQ(quartic(two_real, roots), 2);
  EXPECT_NEAR(std::max(roots[0], roots[1]), 1, 1e-14);
  EXPECT_NEAR(std::min(roots[0], roots[1]), -1, 1e-14);
  EXPECT_NEAR(roots[2], 0, 1e-14);
  EXPECT_NEAR(roots[3], 1, 1e-14);
  // x(x^3 - x^2 + 2x - 3): 0 first, then the cubic's real root and pair.
  const double zero_constant[4] = {-1, 2, -3, 0};
  ASSERT_EQ(quartic(zero_constant, roots), 2);
  EXPECT_EQ(roots[0], 0);
  // The pair comes from the cubic, whose seven-digit sqrt(3)/2 limits it to about 1e-7.
  expect_layout_solves(zero_constant, 4, roots, 2, 1e-6);

  EXPECT_EQ(cube_root(-27), -3);
  EXPECT_EQ(cube_root(0), 0);
  EXPECT_NEAR(cube_root(2), std::cbrt(2.0), 1e-15);
  EXPECT_NEAR(cube_root(-1e-30), -1e-10, 1e-25);
}

// Three kinds of root sets for the property tests.
enum class RootSet { kSpread, kClustered, kWidelyScaled };

// Four distinct real roots: spread over [-1, 1] at least 0.05 apart (the range of cos t in the
// trigonometric solver), clustered within 0.1 of a centre and at least 0.05 apart, or one root
// in each decade of magnitude from 0.01 to 100 with random signs.
void random_roots(std::mt19937& rng, RootSet set, double roots[4]) {
  std::uniform_real_distribution<double> unit(-1, 1);
  if (set == RootSet::kWidelyScaled) {
    for (int k = 0; k < 4; k++) {
      const double magnitude = std::pow(10.0, k - 1.5 + 0.5 * unit(rng));
      roots[k] = unit(rng) < 0 ? -magnitude : magnitude;
    }
    std::shuffle(roots, roots + 4, rng);
    return;
  }
  for (;;) {
    const double centre = 0.8 * unit(rng);
    for (int k = 0; k < 4; k++)
      roots[k] = set == RootSet::kSpread ? unit(rng) : centre + 0.1 * unit(rng);
    bool apart = true;
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < i; j++) apart = apart && std::fabs(roots[i] - roots[j]) >= 0.05;
    if (apart) return;
  }
}

// Largest relative error of the roots found against the known roots, matched one to one after
// sorting; infinity when not all four come back real.
double quartic_error(const double known[4]) {
  double coef[4], roots[4], sorted[4];
  monic_from_roots(known, 4, coef);
  if (quartic(coef, roots) != 4) return std::numeric_limits<double>::infinity();
  std::copy(known, known + 4, sorted);
  std::sort(sorted, sorted + 4);
  std::sort(roots, roots + 4);
  double worst = 0;
  for (int k = 0; k < 4; k++)
    worst = std::max(worst, std::fabs(roots[k] - sorted[k]) / std::fabs(sorted[k]));
  return worst;
}

// Quartics built from four known real roots: every root comes back real and accurate. The
// tolerance is a thousandfold the rounding of the coefficients amplified by the spacing of the
// roots (about 1e-12 for the clustered set); the closed form alone misses by up to 1e-2 here.
TEST(PolyRoots, QuarticFindsKnownRealRoots) {
  const RootSet sets[3] = {RootSet::kSpread, RootSet::kClustered, RootSet::kWidelyScaled};
  const char* names[3] = {"spread", "clustered", "widely scaled"};
  for (int s = 0; s < 3; s++) {
    std::mt19937 rng(100 + s);
    for (int trial = 0; trial < 2000; trial++) {
      double known[4];
      random_roots(rng, sets[s], known);
      const double error = quartic_error(known);
      ASSERT_LT(error, 1e-9) << names[s] << " trial " << trial << " roots " << known[0] << " "
                             << known[1] << " " << known[2] << " " << known[3];
    }
  }
  // The clustered set quoted as the worst case of the closed form.
  const double clustered[4] = {-0.925, -0.859, -0.788, -0.622};
  EXPECT_LT(quartic_error(clustered), 1e-12);
}

// Two roots closer than 1e-2 (a near double root, as two contact angles either side of 0 or pi
// give in cos t): the closed form returns them far apart from the truth or stalls Newton steps
// at the extremum between them, and the trigonometric solver's residual test then drops both.
TEST(PolyRoots, QuarticSeparatesNearDoubleRoots) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> unit(-1, 1);
  double worst = 0;
  for (int trial = 0; trial < 2000; trial++) {
    const double centre = 0.99 * unit(rng), gap = std::pow(10.0, -4 + 2 * (unit(rng) + 1) / 2);
    double known[4] = {centre - gap / 2, centre + gap / 2, unit(rng), unit(rng)};
    if (std::fabs(known[2] - known[3]) < 0.05 || std::fabs(known[2] - centre) < 0.05 ||
        std::fabs(known[3] - centre) < 0.05)
      continue;
    double coef[4], roots[4];
    monic_from_roots(known, 4, coef);
    ASSERT_EQ(quartic(coef, roots), 4) << "trial " << trial << " gap " << gap;
    for (int k = 0; k < 4; k++) {
      double slope = 0, value = 1;
      for (int i = 0; i < 4; i++) {
        slope = slope * roots[k] + value;
        value = value * roots[k] + coef[i];
      }
      // The trigonometric solver keeps roots whose residual is at most 1e-8.
      ASSERT_LT(std::fabs(value), 1e-12) << "trial " << trial << " gap " << gap;
    }
    worst = std::max(worst, quartic_error(known) * gap);
  }
  // Rounding of the coefficients moves a pair of spacing gap by about 1e-16 / gap.
  EXPECT_LT(worst, 1e-12);
}

// Cubics from three known real roots, and from one real root and a complex pair: the count, the
// real roots and the pair layout. Catches a lost root or a pair stored as (re, -im).
TEST(PolyRoots, CubicFindsKnownRoots) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int trial = 0; trial < 2000; trial++) {
    double known[3] = {unit(rng), unit(rng), unit(rng)};
    if (std::fabs(known[0] - known[1]) < 0.05 || std::fabs(known[1] - known[2]) < 0.05 ||
        std::fabs(known[0] - known[2]) < 0.05)
      continue;
    double coef[3], roots[3];
    monic_from_roots(known, 3, coef);
    ASSERT_EQ(cubic(coef, roots), 3) << "trial " << trial;
    std::sort(known, known + 3);
    std::sort(roots, roots + 3);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(roots[k], known[k], 1e-11) << "trial " << trial;

    // (x - x0)(x^2 - 2*re*x + re^2 + im^2) with im clearly away from 0.
    const double x0 = unit(rng), re = unit(rng), im = 0.1 + std::fabs(unit(rng));
    const double pair_coef[3] = {-(x0 + 2 * re), re * re + im * im + 2 * re * x0,
                                 -x0 * (re * re + im * im)};
    ASSERT_EQ(cubic(pair_coef, roots), 1) << "trial " << trial;
    EXPECT_NEAR(roots[0], x0, 1e-11) << "trial " << trial;
    // The seven-digit sqrt(3) constants of the closed form limit the pair to about 1e-7.
    EXPECT_NEAR(roots[1], re, 1e-6) << "trial " << trial;
    EXPECT_NEAR(roots[2], im, 1e-6) << "trial " << trial;
  }
}

// NaN or infinite coefficients: no roots and no NaN written, never a crash or a hang.
TEST(PolyRoots, NonFiniteCoefficientsGiveNoRoots) {
  const double bad[3] = {std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()};
  for (double value : bad) {
    for (int at = 0; at < 4; at++) {
      double coef[4] = {0.5, -1, 0.25, -0.1}, roots[4];
      coef[at] = value;
      EXPECT_EQ(quartic(coef, roots), 0) << "quartic, coefficient " << at;
      for (double root : roots) EXPECT_TRUE(std::isfinite(root));
      if (at < 3) {
        EXPECT_EQ(cubic(coef, roots), 0) << "cubic, coefficient " << at;
        for (int k = 0; k < 3; k++) EXPECT_TRUE(std::isfinite(roots[k]));
      }
      if (at < 2) {
        EXPECT_EQ(quadratic(coef, roots), 0) << "quadratic, coefficient " << at;
        for (int k = 0; k < 2; k++) EXPECT_TRUE(std::isfinite(roots[k]));
      }
    }
  }
  EXPECT_EQ(cube_root(std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(cube_root(std::numeric_limits<double>::quiet_NaN())));
}

// Finite coefficients near the top of the double range whose roots or intermediates overflow
// (inputs found by fuzzing): no roots and zeros stored, as for non-finite coefficients, instead
// of infinite roots, and never a count outside the documented ones.
TEST(PolyRoots, OverflowGivesNoRoots) {
  double roots[4];
  const double quadratic_coef[2] = {-1.7959101440151252e+308, 0};  // root 3.6e308
  EXPECT_EQ(quadratic(quadratic_coef, roots), 0);
  EXPECT_EQ(roots[0], 0);
  EXPECT_EQ(roots[1], 0);
  const double cubic_coef[3] = {8.360954047415066e+307, 5.7774597105570304e+295, 0};
  EXPECT_EQ(cubic(cubic_coef, roots), 0);
  for (int k = 0; k < 3; k++) EXPECT_EQ(roots[k], 0);
  // Root 0 and a cubic that overflows: the count was 1 before.
  const double quartic_coef[4] = {2, 2, 7.6851546293900384e+292, 0};
  EXPECT_EQ(quartic(quartic_coef, roots), 0);
  for (double root : roots) EXPECT_EQ(root, 0);
  // Large coefficients that do not overflow keep their roots.
  const double large[2] = {-1e150, 1e200};
  ASSERT_EQ(quadratic(large, roots), 2);
  EXPECT_NEAR(roots[0], 2e150, 1e135);
  EXPECT_NEAR(roots[1], 0.5e50, 1e35);
}

}  // namespace
