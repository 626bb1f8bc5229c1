#include "math/poly_roots.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <string>

#include "root_sets.h"
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
  // The closed form's seven-digit sqrt(3)/2 = 0.8660254 leaves the pair a residual near 1e-8;
  // the certification polishes it to the exact sqrt(3) (issue 11).
  const double cube_eight[3] = {0, 0, -8};
  ASSERT_EQ(cubic(cube_eight, roots), 1);
  EXPECT_NEAR(roots[0], 2, 1e-14);
  EXPECT_NEAR(roots[1], -1, 1e-14);
  EXPECT_NEAR(roots[2], std::sqrt(3.0), 1e-14);
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
  // The pair comes from the cubic, polished past its seven-digit sqrt(3)/2.
  expect_layout_solves(zero_constant, 4, roots, 2, 1e-14);

  EXPECT_EQ(cube_root(-27), -3);
  EXPECT_EQ(cube_root(0), 0);
  EXPECT_NEAR(cube_root(2), std::cbrt(2.0), 1e-15);
  EXPECT_NEAR(cube_root(-1e-30), -1e-10, 1e-25);
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
    // The closed form's seven-digit sqrt(3) constants limited the pair to about 1e-7; the
    // certification polishes it.
    EXPECT_NEAR(roots[1], re, 1e-12) << "trial " << trial;
    EXPECT_NEAR(roots[2], im, 1e-12) << "trial " << trial;
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

// ---- Issue 11: no real root lost, every root to near machine precision ----

// Reference arithmetic of the checks below, independent of the solver's double and long double
// steps: 113-bit __float128 where the compiler has it, else long double.
#ifdef __SIZEOF_FLOAT128__
using Wide = __float128;
#else
using Wide = long double;
#endif

Wide wide_abs(Wide x) {
  return x < 0 ? -x : x;
}

// p(x) and p'(x) of the monic polynomial with coefficients coef (leading 1 left out), in Wide.
Wide wide_value(const double coef[], int degree, Wide x, Wide& slope) {
  Wide value = 1;
  slope = 0;
  for (int k = 0; k < degree; k++) {
    slope = slope * x + value;
    value = value * x + coef[k];
  }
  return value;
}

// The root of the polynomial (with its double coefficients as given) near start, by Newton
// steps in Wide.
Wide exact_root(const double coef[], int degree, Wide start) {
  Wide x = start;
  for (int step = 0; step < 200; step++) {
    Wide slope;
    const Wide value = wide_value(coef, degree, x, slope);
    if (slope == 0) break;
    const Wide next = x - value / slope;
    if (next == x) break;
    x = next;
  }
  return x;
}

// Number of distinct real roots by a Sturm sequence in Wide: sign changes of the leading
// coefficients at -infinity minus those at +infinity.
int sturm_count(const double coef[], int degree) {
  Wide seq[5][5];  // seq[i][k] multiplies x^(deg[i] - k)
  int deg[5];
  seq[0][0] = 1;
  for (int k = 0; k < degree; k++) seq[0][k + 1] = coef[k];
  deg[0] = degree;
  for (int k = 0; k < degree; k++) seq[1][k] = seq[0][k] * (degree - k);
  deg[1] = degree - 1;
  int m = 2;
  while (deg[m - 1] > 0) {
    // Minus the remainder of seq[m-2] by seq[m-1].
    Wide r[5];
    const int dr = deg[m - 2], dd = deg[m - 1];
    for (int k = 0; k <= dr; k++) r[k] = seq[m - 2][k];
    Wide size = 0;
    for (int k = 0; k <= dr; k++) size = std::max(size, wide_abs(r[k]));
    for (int shift = 0; shift <= dr - dd; shift++) {
      const Wide f = r[shift] / seq[m - 1][0];
      for (int k = 0; k <= dd; k++) r[shift + k] -= f * seq[m - 1][k];
    }
    int lead = dr - dd + 1;
    while (lead <= dr && wide_abs(r[lead]) <= 1e-25 * size) lead++;
    if (lead > dr) break;  // a common factor: multiple roots, counted once
    for (int k = lead; k <= dr; k++) seq[m][k - lead] = -r[k];
    deg[m] = dr - lead;
    m++;
  }
  auto changes = [&](bool minusInfinity) {
    int count = 0, previous = 0;
    for (int i = 0; i < m; i++) {
      int sign = seq[i][0] > 0 ? 1 : -1;
      if (minusInfinity && deg[i] % 2 == 1) sign = -sign;
      if (previous != 0 && sign != previous) count++;
      previous = sign;
    }
    return count;
  };
  return changes(true) - changes(false);
}

// |p(z)| over sum |coefficient| * |z|^power for z = re + i*im, in Wide: the root's relative
// backward error.
double relative_residual(const double coef[], int degree, double re, double im) {
  Wide vr = 1, vi = 0, scale = 1;
  const Wide modulus = std::hypot(re, im);
  for (int k = 0; k < degree; k++) {
    const Wide nr = vr * re - vi * im + coef[k], ni = vr * im + vi * re;
    vr = nr;
    vi = ni;
    scale = scale * modulus + wide_abs(coef[k]);
  }
  const Wide size = std::sqrt(static_cast<double>(vr * vr + vi * vi));
  return static_cast<double>(scale > 0 ? size / scale : size);
}

// Ascending order of the first n entries (n <= 4).
template <typename T>
void sort_first(T values[], int n) {
  for (int i = 1; i < n; i++)
    for (int j = i; j > 0 && values[j] < values[j - 1]; j--) std::swap(values[j], values[j - 1]);
}

// A monic polynomial of degree nReal + 2*nPairs from its real roots and complex pairs
// (re, im), its coefficients rounded to double once from Wide.
void monic_from_mixed(const double reals[], int nReal, const double pairs[][2], int nPairs,
                      double coef[]) {
  Wide full[5] = {1, 0, 0, 0, 0};
  int degree = 0;
  for (int i = 0; i < nReal; i++, degree++)
    for (int k = degree + 1; k >= 1; k--) full[k] -= reals[i] * full[k - 1];
  for (int j = 0; j < nPairs; j++, degree += 2) {
    const Wide b = -2 * static_cast<Wide>(pairs[j][0]);
    const Wide c =
        static_cast<Wide>(pairs[j][0]) * pairs[j][0] + static_cast<Wide>(pairs[j][1]) * pairs[j][1];
    for (int k = degree + 2; k >= 1; k--)
      full[k] += b * full[k - 1] + (k >= 2 ? c * full[k - 2] : 0);
  }
  for (int k = 0; k < degree; k++) coef[k] = static_cast<double>(full[k + 1]);
}

// Checks a solver's result against the polynomial's own roots: as many real ones as it has
// (known from generating roots known, and by the Sturm count), each within 1e-12 relative of a
// distinct exact root, and every complex pair in the upper half plane with a relative residual
// below 1e-13. Returns the largest relative error of the real roots.
double expect_exact_roots(const double coef[], int degree, const double known[], int nKnown,
                          const double roots[], int count, const std::string& where) {
  EXPECT_EQ(sturm_count(coef, degree), nKnown) << where << ": the family's count";
  EXPECT_EQ(count, nKnown) << where;
  if (count != nKnown) return INFINITY;
  Wide exact[4];
  for (int k = 0; k < nKnown; k++) exact[k] = exact_root(coef, degree, known[k]);
  double found[4];
  std::copy(roots, roots + count, found);
  sort_first(exact, nKnown);
  sort_first(found, count);
  double worst = 0;
  for (int k = 0; k < count; k++) {
    const double error = static_cast<double>(wide_abs(found[k] - exact[k]) / wide_abs(exact[k]));
    EXPECT_LE(error, 1e-12) << where << ": real root " << found[k];
    worst = std::max(worst, error);
  }
  for (int k = count; k + 1 < degree; k += 2) {
    EXPECT_GT(roots[k + 1], 0) << where << ": pair at " << k;
    EXPECT_LE(relative_residual(coef, degree, roots[k], roots[k + 1]), 1e-13)
        << where << ": pair at " << k;
  }
  return worst;
}

// Random quartics of the families where the closed form went wrong: two real roots with a
// complex pair next to them (its real roots came back as a second pair in about a third of
// these), two real roots and a pair spread over [-1, 1], two pairs, and four real roots
// clustered or spread (the sets of random_roots).
enum class Family { kPairNearReals, kMixed, kTwoPairs, kClustered, kFourReal };

int family_quartic(std::mt19937& rng, Family family, double coef[4], double reals[4]) {
  std::uniform_real_distribution<double> unit(-1, 1), positive(0, 1);
  double pairs[2][2];
  int nReal = 0, nPairs = 0;
  switch (family) {
    case Family::kPairNearReals: {
      const double centre = (0.1 + 0.8 * positive(rng)) * (unit(rng) < 0 ? -1 : 1);
      const double gap = std::pow(10.0, -2 - positive(rng));
      reals[0] = centre - gap / 2;
      reals[1] = centre + gap / 2;
      pairs[0][0] = centre + 0.05 * unit(rng);
      pairs[0][1] = std::pow(10.0, -2 + 1.3 * positive(rng));
      nReal = 2;
      nPairs = 1;
      break;
    }
    case Family::kMixed:
      do {
        reals[0] = unit(rng);
        reals[1] = unit(rng);
      } while (std::fabs(reals[0] - reals[1]) < 0.05 || std::fabs(reals[0]) < 0.01 ||
               std::fabs(reals[1]) < 0.01);
      pairs[0][0] = unit(rng);
      pairs[0][1] = 0.05 + 0.95 * positive(rng);
      nReal = 2;
      nPairs = 1;
      break;
    case Family::kTwoPairs:
      for (auto& pair : pairs) {
        pair[0] = unit(rng);
        pair[1] = 0.05 + 0.95 * positive(rng);
      }
      nPairs = 2;
      break;
    case Family::kClustered:
    case Family::kFourReal:
      random_roots(rng, family == Family::kClustered ? RootSet::kClustered : RootSet::kSpread,
                   reals);
      nReal = 4;
      break;
  }
  monic_from_mixed(reals, nReal, pairs, nPairs, coef);
  return nReal;
}

// The issue's minimal input: the closed form returned two complex pairs with residuals near
// 1e-2; the polynomial changes sign near 0.90158 and 0.92111.
TEST(QuarticCertified, IssueInputKeepsBothRealRoots) {
  const double coef[4] = {-3.6127910018045606, 4.931934316937961, -3.0152522180955437,
                          0.6964860970948851};
  double roots[4];
  const int n = quartic(coef, roots);
  const double known[2] = {0.90158, 0.92111};
  expect_exact_roots(coef, 4, known, 2, roots, n, "issue input");
}

TEST(QuarticCertified, RandomFamiliesLoseNoRoot) {
  const Family families[5] = {Family::kPairNearReals, Family::kMixed, Family::kTwoPairs,
                              Family::kClustered, Family::kFourReal};
  const char* names[5] = {"pair near two reals", "mixed", "two pairs", "clustered", "four real"};
  for (int f = 0; f < 5; f++) {
    std::mt19937 rng(1100 + f);
    double worst = 0;
    for (int trial = 0; trial < 3000; trial++) {
      double coef[4], reals[4], roots[4];
      const int nReal = family_quartic(rng, families[f], coef, reals);
      const int count = quartic(coef, roots);
      const std::string where = std::string(names[f]) + " trial " + std::to_string(trial);
      worst = std::max(worst, expect_exact_roots(coef, 4, reals, nReal, roots, count, where));
      if (HasFailure()) return;
    }
    std::printf("%-20s largest relative error of the real roots %.2e\n", names[f], worst);
  }
}

// Cubics: three real roots spread or with two of them 1e-3 to 1e-2 apart, one real root with a
// pair close to it or far away. The closed form's pairs carried a seven-digit sqrt(3)/2.
TEST(CubicCertified, RandomFamiliesLoseNoRoot) {
  std::mt19937 rng(1200);
  std::uniform_real_distribution<double> unit(-1, 1), positive(0, 1);
  for (int trial = 0; trial < 4000; trial++) {
    const int kind = trial % 4;
    double reals[3], pair[1][2], coef[3], roots[3];
    int nReal = 3;
    if (kind == 0) {
      do {
        for (double& r : reals) r = unit(rng);
      } while (std::fabs(reals[0] - reals[1]) < 0.05 || std::fabs(reals[1] - reals[2]) < 0.05 ||
               std::fabs(reals[0] - reals[2]) < 0.05);
    } else if (kind == 1) {
      reals[0] = (0.1 + 0.8 * positive(rng)) * (unit(rng) < 0 ? -1 : 1);
      reals[1] = reals[0] + std::pow(10.0, -3 + positive(rng));
      reals[2] = reals[0] > 0 ? reals[0] - 0.5 - 0.4 * positive(rng) : reals[0] + 0.5;
    } else {
      reals[0] = (0.05 + 0.9 * positive(rng)) * (unit(rng) < 0 ? -1 : 1);
      pair[0][0] = kind == 2 ? reals[0] + 0.05 * unit(rng) : unit(rng);
      pair[0][1] = kind == 2 ? std::pow(10.0, -2 + positive(rng)) : 0.05 + positive(rng);
      nReal = 1;
    }
    monic_from_mixed(reals, nReal, pair, nReal == 1 ? 1 : 0, coef);
    const int count = cubic(coef, roots);
    expect_exact_roots(coef, 3, reals, nReal, roots, count,
                       "cubic kind " + std::to_string(kind) + " trial " + std::to_string(trial));
    if (HasFailure()) return;
  }
}

// Exact multiple roots and extreme scales: a real double root comes back real (the closed form
// gave it as a pair 4e-8 off the axis), roots near 1e-75 are found where the closed form took
// the constant term for 0, and the overflow contract holds.
TEST(QuarticCertified, MultipleRootsAndExtremeScales) {
  double roots[4];
  const double double_root[4] = {1, 1, 3, 2};  // (x + 1)^2 (x^2 - x + 2)
  ASSERT_EQ(quartic(double_root, roots), 2);
  EXPECT_NEAR(roots[0], -1, 1e-7);
  EXPECT_NEAR(roots[1], -1, 1e-7);
  EXPECT_NEAR(roots[2], 0.5, 1e-14);
  EXPECT_NEAR(roots[3], std::sqrt(7.0) / 2, 1e-14);
  const double quadruple[4] = {-4, 6, -4, 1};  // (x - 1)^4: as exact as its conditioning allows
  ASSERT_EQ(quartic(quadruple, roots), 4);
  for (double root : roots) EXPECT_NEAR(root, 1, 1e-4);
  const double tiny_square[4] = {0, 0, 0, -1e-300};  // x^4 = 1e-300
  ASSERT_EQ(quartic(tiny_square, roots), 2);
  EXPECT_NEAR(std::max(roots[0], roots[1]), 1e-75, 1e-87);
  EXPECT_NEAR(std::min(roots[0], roots[1]), -1e-75, 1e-87);
  EXPECT_NEAR(roots[3], 1e-75, 1e-87);
  const double tiny_cubic[3] = {0, 1e-20, 1e-30};  // one real root near -6.8e-11
  ASSERT_EQ(cubic(tiny_cubic, roots), 1);
  const double known[1] = {-6.8e-11};
  expect_exact_roots(tiny_cubic, 3, known, 1, roots, 1, "tiny cubic");
  const double overflow[4] = {2, 2, 7.6851546293900384e+292, 0};
  EXPECT_EQ(quartic(overflow, roots), 0);
}

// Random coefficients over several ranges of magnitude: never a NaN, the count always the Sturm
// count (distinct random roots), every real root within 1e-14 (relative) of a sign change of the
// polynomial in Wide and every pair with a residual at rounding level.
TEST(QuarticCertified, RandomCoefficientsAgreeWithSturm) {
  std::mt19937 rng(1300);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int trial = 0; trial < 40000; trial++) {
    const int range = trial % 4;
    double coef[4], roots[4];
    for (int k = 0; k < 4; k++) {
      const double magnitude = range == 0   ? 1
                               : range == 1 ? std::pow(10.0, 6 * unit(rng))
                               : range == 2 ? std::pow(10.0, 3 * (k + 1) * unit(rng))
                                            : std::round(4 * unit(rng));
      coef[k] = range == 3 ? magnitude : magnitude * unit(rng);
    }
    const int count = quartic(coef, roots);
    SCOPED_TRACE(testing::Message() << "trial " << trial << " coefficients " << coef[0] << " "
                                    << coef[1] << " " << coef[2] << " " << coef[3]);
    for (double root : roots) ASSERT_TRUE(std::isfinite(root));
    ASSERT_TRUE(count == 0 || count == 2 || count == 4);
    // Small integer coefficients may have multiple roots, which Sturm counts once.
    int distinct = 0;
    for (int i = 0; i < count; i++) {
      bool repeated = false;
      for (int j = 0; j < i; j++)
        repeated = repeated || std::fabs(roots[i] - roots[j]) <= 1e-6 * std::fabs(roots[i]);
      distinct += !repeated;
    }
    EXPECT_EQ(distinct, sturm_count(coef, 4));
    for (int i = 0; i < count; i++) {
      Wide slope;
      const Wide step = 1e-14 * wide_abs(roots[i]) + 1e-300;
      const Wide below = wide_value(coef, 4, roots[i] - step, slope);
      const Wide above = wide_value(coef, 4, roots[i] + step, slope);
      const bool signChange = (below <= 0) != (above <= 0);
      EXPECT_TRUE(signChange || relative_residual(coef, 4, roots[i], 0) <= 1e-20)
          << "real root " << roots[i];
    }
    for (int k = count; k < 4; k += 2)
      EXPECT_LE(relative_residual(coef, 4, roots[k], roots[k + 1]), 1e-13) << "pair at " << k;
    if (HasFailure()) return;
  }
}

}  // namespace
