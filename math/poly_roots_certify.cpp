#include "math/poly_roots_certify.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "math/poly_roots.h"
#include "math/vecmat.h"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

// Residual a returned root may leave, relative to the polynomial's scale at the root: a few
// roundings of the root itself and of the evaluation.
constexpr double kResidualTol = 32 * kEps;

// Value of the polynomial evaluated in long double, relative to its scale, below which its sign
// is not certain: the rounding of the evaluation with a wide margin.
constexpr long double kSignBand = 64 * LDBL_EPSILON;

// Designed real roots closer than this (in the scaled variable, whose roots lie within 2) whose
// inclusion disks overlap are recomputed from the extrema: two roots that close might be one
// root found twice, which the discriminant's count would not reveal.
constexpr double kClosePair = 1e-6;

// Relative distance to the root below which a real root is kept without a step in long
// double (about 1.4e-14), and the length of a Newton step (in the scaled variable) short
// enough to take without checking that it lowers the residual.
constexpr double kRootAccuracy = 0x1p-46;
constexpr double kShortStep = 1e-9;

// The polynomial y^n + c[1]*y^(n-1) + ... + c[n] with x = 2^e * y, the power of two chosen so
// that every |c[k]| < 1; every root then has |y| < 2 (Fujiwara's bound). Scaling by a power of
// two is exact (short of underflow), so the roots are those of the given polynomial.
struct Scaled {
  int n;
  int e;
  double c[5];
  double up, down;  // 2^e and 2^-e when both are normal doubles, else 0
};

// The e with 2^(e-1) <= |v| < 2^e for finite v != 0, as std::frexp gives it, read from the bits.
int exponent_bound(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased != 0) return biased - 1022;
  int e;  // subnormal
  std::frexp(v, &e);
  return e;
}

// 2^e for -1022 <= e <= 1023, built from the bits.
double power_of_two(int e) {
  const std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void scale_polynomial(const double coef[], int n, Scaled& p) {
  bool any = false;
  int e = 0;
  for (int k = 1; k <= n; k++) {
    if (coef[k - 1] == 0) continue;
    const int bits = exponent_bound(coef[k - 1]);                      // |coef| < 2^bits
    const int need = bits >= 0 ? (bits + k - 1) / k : -((-bits) / k);  // ceil(bits / k)
    if (!any || need > e) e = need;
    any = true;
  }
  p.n = n;
  p.e = e;
  p.c[0] = 1;
  const bool moderate = e >= -1000 && e <= 1000;
  p.up = moderate ? power_of_two(e) : 0;
  p.down = moderate ? power_of_two(-e) : 0;
  if (e == 0) {
    for (int k = 1; k <= n; k++) p.c[k] = coef[k - 1];
  } else if (e >= -200 && e <= 200) {
    // Products by exact powers of two; a coefficient may still round where it underflows.
    const double t = p.down;
    double power = 1;
    for (int k = 1; k <= n; k++) {
      power *= t;
      p.c[k] = coef[k - 1] * power;
    }
  } else {
    for (int k = 1; k <= n; k++) p.c[k] = std::ldexp(coef[k - 1], -k * e);
  }
}

// |(a, b)| without the cost of std::hypot; the scaled values never come near overflow.
double magnitude(double a, double b) {
  return std::sqrt(a * a + b * b);
}

// Radius of a disk about a point that holds a root of p, from the value and slope there and
// bounds on their rounding: n |p| / |p'| (the sum p'/p = sum 1/(z - root) has a term of at least
// |p'/p| / n), infinite where the slope is lost in rounding.
double inclusion_radius(int n, double value, double valueNoise, double slope, double slopeNoise) {
  const double slopeLow = std::fabs(slope) - slopeNoise;
  return slopeLow > 0 ? n * (std::fabs(value) + valueNoise) / slopeLow : INFINITY;
}

// y * 2^e (up) or y * 2^-e (down): a product by the exact power of two where that is a normal
// double, else ldexp.
double scaled_up(const Scaled& p, double y) {
  return p.up != 0 ? y * p.up : std::ldexp(y, p.e);
}
double scaled_down(const Scaled& p, double y) {
  return p.down != 0 ? y * p.down : std::ldexp(y, -p.e);
}

// p(y) in long double, its slope, and the scale sum |c[k]| * |y|^(n-k).
long double value_ld(const Scaled& p, long double y, long double& slope, long double& scale) {
  long double value = 1, s = 1;
  const long double a = std::fabs(y);
  slope = 0;
  for (int k = 1; k <= p.n; k++) {
    slope = slope * y + value;
    value = value * y + p.c[k];
    s = s * a + std::fabs(p.c[k]);
  }
  scale = s;
  return value;
}

// p(y) in long double.
long double value_only_ld(const Scaled& p, long double y) {
  long double value = 1;
  for (int k = 1; k <= p.n; k++) value = value * y + p.c[k];
  return value;
}

// p(z) and p'(z) at z = (re, im) in double, and the scale at |z|.
struct ComplexValue {
  double vr, vi, dr, di, scale, slopeScale;
};

ComplexValue value_complex(const Scaled& p, double re, double im) {
  double vr = 1, vi = 0, dr = 0, di = 0, s = 1, s1 = 0;
  const double a = magnitude(re, im);
  for (int k = 1; k <= p.n; k++) {
    const double ndr = dr * re - di * im + vr, ndi = dr * im + di * re + vi;
    const double nvr = vr * re - vi * im + p.c[k], nvi = vr * im + vi * re;
    dr = ndr;
    di = ndi;
    vr = nvr;
    vi = nvi;
    s1 = s1 * a + s;
    s = s * a + std::fabs(p.c[k]);
  }
  return {vr, vi, dr, di, s, s1};
}

// Whether the pair z = (re, im > 0), where p has the value v, is finite and solves p to
// kResidualTol.
bool solves_at(const double z[2], const ComplexValue& v) {
  return z[1] > 0 && std::isfinite(z[0]) && std::isfinite(z[1]) &&
         magnitude(v.vr, v.vi) <= kResidualTol * v.scale;
}

bool pair_solves(const Scaled& p, const double z[2]) {
  return solves_at(z, value_complex(p, z[0], z[1]));
}

// Whether the pair z solves p (as pair_solves), and its inclusion radius (see
// inclusion_radius, with twice the rounding bound of the real evaluation for the complex
// products), from one evaluation.
bool check_pair(const Scaled& p, const double z[2], double& radius) {
  const ComplexValue v = value_complex(p, z[0], z[1]);
  const double rounding = 4 * p.n * kEps;
  radius = inclusion_radius(p.n, magnitude(v.vr, v.vi), rounding * v.scale, magnitude(v.dr, v.di),
                            rounding * v.slopeScale);
  return solves_at(z, v);
}

// Whether the inclusion disks of the real roots y[] (radius[]), of the pairs z[] (rho[]) and of
// their conjugates are pairwise disjoint, none of a pair's meeting the real axis. Then each
// holds exactly one root of p (n disks, each holding one), a root in a disk about a real point
// is real (its conjugate would be in the same disk) and one in a pair's disk is not: the count
// and every root are certified.
bool disks_disjoint(const double y[], const double radius[], int count, const double z[][2],
                    const double rho[], int pairs) {
  for (int i = 0; i < count; i++)
    for (int k = 0; k < i; k++)
      if (!(std::fabs(y[i] - y[k]) > radius[i] + radius[k])) return false;
  for (int j = 0; j < pairs; j++) {
    if (!(z[j][1] > rho[j])) return false;
    for (int i = 0; i < count; i++)
      if (!(magnitude(y[i] - z[j][0], z[j][1]) > radius[i] + rho[j])) return false;
    for (int k = 0; k < j; k++)
      if (!(magnitude(z[j][0] - z[k][0], z[j][1] - z[k][1]) > rho[j] + rho[k])) return false;
  }
  return true;
}

double pair_residual(const Scaled& p, const double z[2]) {
  const ComplexValue v = value_complex(p, z[0], z[1]);
  return v.scale > 0 ? magnitude(v.vr, v.vi) / v.scale : magnitude(v.vr, v.vi);
}

// p(y) in double, its slope, the scale at |y| and the slope's scale (the same sums for p').
double value_d(const Scaled& p, double y, double& slope, double& scale, double& slopeScale) {
  double value = 1, s = 1, s1 = 0;
  const double a = std::fabs(y);
  slope = 0;
  for (int k = 1; k <= p.n; k++) {
    slope = slope * y + value;
    s1 = s1 * a + s;
    value = value * y + p.c[k];
    s = s * a + std::fabs(p.c[k]);
  }
  scale = s;
  slopeScale = s1;
  return value;
}

// Newton steps in long double on each of the real roots y[0..count-1] whose distance to the
// root may exceed kRootAccuracy relative (by the first-order bound from the residual and the
// rounding of its evaluation), in place. A step is kept only when it leaves the root strictly
// between its neighbours among the others, and a long one only when it lowers |p|, so neither
// the count nor either order changes. Writes each root's inclusion radius. Returns whether every
// root then solves the polynomial to kResidualTol.
bool polish_reals(const Scaled& p, double y[], int count, double radius[]) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double rounding = 2 * p.n * kEps;  // of Horner's rule, relative to the scale
  bool solved = true;
  for (int i = 0; i < count; i++) {
    double slope, scale, slopeScale;
    double value = value_d(p, y[i], slope, scale, slopeScale);
    const bool exact =
        std::fabs(value) <= kResidualTol * scale &&
        std::fabs(value) + rounding * scale <= kRootAccuracy * std::fabs(y[i] * slope);
    if (!exact) {
      double below = -kInf, above = kInf;
      for (int j = 0; j < count; j++) {
        if (y[j] < y[i] && y[j] > below) below = y[j];
        if (y[j] > y[i] && y[j] < above) above = y[j];
      }
      // The value in long double, the slope in double: its rounding only scales the step.
      double x = y[i];
      long double valueLd = value_only_ld(p, x);
      for (int step = 0; step < 4 && valueLd != 0 && slope != 0; step++) {
        const double next = static_cast<double>(x - valueLd / slope);
        if (!(next > below && next < above) || next == x) break;
        // A short step from near a root needs no check; a long one must lower |p|.
        if (std::fabs(next - x) <= kShortStep) {
          x = next;
          break;
        }
        const long double nextValue = value_only_ld(p, next);
        if (!(std::fabs(nextValue) < std::fabs(valueLd))) break;
        x = next;
        valueLd = nextValue;
        value_d(p, x, slope, scale, slopeScale);
      }
      y[i] = x;
      value = value_d(p, x, slope, scale, slopeScale);
    }
    if (!(std::fabs(value) <= kResidualTol * scale)) solved = false;
    radius[i] = inclusion_radius(p.n, value, rounding * scale, slope, rounding * slopeScale);
  }
  return solved;
}

// The count the discriminant and the invariants' signs give for distinct roots, or -1 when a
// sign that decides it is within its rounding bound of 0 (near multiple roots).
int discriminant_count(const Scaled& p) {
  constexpr double kTiny = 1e-290;  // underflow of the products
  const double b = p.c[1], c = p.c[2], d = p.c[3];
  if (p.n == 3) {
    const double t[5] = {18 * b * c * d, -4 * b * b * b * d, b * b * c * c, -4 * c * c * c,
                         -27 * d * d};
    double sum = 0, bound = 0;
    for (double term : t) {
      sum += term;
      bound += std::fabs(term);
    }
    if (!(std::fabs(sum) > 32 * kEps * bound + kTiny)) return -1;
    return sum > 0 ? 3 : 1;
  }
  const double e = p.c[4];
  const double b2 = b * b, c2 = c * c, d2 = d * d, e2 = e * e;
  // clang-format off
  const double t[16] = {256 * e2 * e,       -192 * b * d * e2,       -128 * c2 * e2,
                        144 * c * d2 * e,   -27 * d2 * d2,           144 * b2 * c * e2,
                        -6 * b2 * d2 * e,   -80 * b * c2 * d * e,    18 * b * c * d2 * d,
                        16 * c2 * c2 * e,   -4 * c2 * c * d2,        -27 * b2 * b2 * e2,
                        18 * b2 * b * c * d * e,  -4 * b2 * b * d2 * d,  -4 * b2 * c2 * c * e,
                        b2 * c2 * d2};
  // clang-format on
  double disc = 0, bound = 0;
  for (double term : t) {
    disc += term;
    bound += std::fabs(term);
  }
  if (!(std::fabs(disc) > 32 * kEps * bound + kTiny)) return -1;
  if (disc < 0) return 2;
  // Four real roots or none: P = 8c - 3b^2 and D = 64e - 16c^2 + 16b^2 c - 16bd - 3b^4 both
  // negative for four.
  const double P = 8 * c - 3 * b2;
  const double Pbound = 4 * kEps * (8 * std::fabs(c) + 3 * b2) + kTiny;
  const double u[5] = {64 * e, -16 * c2, 16 * b2 * c, -16 * b * d, -3 * b2 * b2};
  double D = 0, Dbound = 0;
  for (double term : u) {
    D += term;
    Dbound += std::fabs(term);
  }
  Dbound = 16 * kEps * Dbound + kTiny;
  if (P > Pbound || D > Dbound) return 0;
  if (P < -Pbound && D < -Dbound) return 4;
  return -1;
}

// The extrema of p: its critical points in ascending order (up to 3), the values there in long
// double, and which of them are minima.
struct Extrema {
  int m;
  double at[3];
  long double value[3];
  bool minimum[3];
};

void find_extrema(const Scaled& p, Extrema& x) {
  double at[3];
  int m = 0;
  if (p.n == 4) {
    // p'/4 = y^3 + 3/4 c1 y^2 + 1/2 c2 y + 1/4 c3, all coefficients below 1: no overflow.
    const double slope[3] = {0.75 * p.c[1], 0.5 * p.c[2], 0.25 * p.c[3]};
    double r[3];
    m = cubic(slope, r);
    for (int k = 0; k < m; k++) at[k] = r[k];
  } else {
    // p'/3 = y^2 + 2*beta*y + gamma.
    const double beta = p.c[1] / 3, gamma = p.c[2] / 3;
    const double disc = beta * beta - gamma;
    if (disc >= 0) {
      const double big = -(beta + std::copysign(std::sqrt(disc), beta));
      at[0] = big;
      at[1] = big != 0 ? gamma / big : 0;
      m = 2;
    }
  }
  // Ascending, within the roots' bound.
  for (int i = 1; i < m; i++)
    for (int j = i; j > 0 && at[j] < at[j - 1]; j--) {
      const double swap = at[j];
      at[j] = at[j - 1];
      at[j - 1] = swap;
    }
  x.m = m;
  for (int k = 0; k < m; k++) {
    x.at[k] = std::fmin(2.0, std::fmax(-2.0, at[k]));
    long double slope, scale;
    x.value[k] = value_ld(p, x.at[k], slope, scale);
    // Quartic: minimum, or minimum, maximum, minimum. Cubic: maximum, minimum.
    x.minimum[k] = p.n == 4 ? k != 1 : k == 1;
    // A value within the rounding of 0 is taken as 0: a double root, real. (A pair that close
    // to the axis is a real double root of a polynomial within rounding of the given one.)
    if (std::fabs(x.value[k]) <= kSignBand * scale) x.value[k] = 0;
  }
}

// Sign of p at extremum k as the count uses it: a zero at a minimum counts as negative and at
// a maximum as positive, so that a double root counts twice.
int extremum_sign(const Extrema& x, int k) {
  const bool negative = x.value[k] < 0 || (x.value[k] == 0 && x.minimum[k]);
  return negative ? -1 : 1;
}

// Real roots, with multiplicity, from the sign changes between -infinity, the extrema and
// +infinity.
int count_from_extrema(const Scaled& p, const Extrema& x) {
  int previous = p.n % 2 == 0 ? 1 : -1;
  int changes = 0;
  for (int k = 0; k < x.m; k++) {
    const int sign = extremum_sign(x, k);
    if (sign != previous) changes++;
    previous = sign;
  }
  if (previous != 1) changes++;
  return changes;
}

// The root of p in [a, b], where p(a) and p(b) differ in sign or one is 0, by Newton steps in
// long double kept inside the shrinking bracket, bisection where Newton would leave it or
// converge slowly (Numerical Recipes' rtsafe); guess is the start when it lies inside.
double bracketed_root(const Scaled& p, long double a, long double fa, long double b, long double fb,
                      double guess) {
  if (fa == 0) return static_cast<double>(a);
  if (fb == 0) return static_cast<double>(b);
  long double lo = a, hi = b;  // p(lo) < 0 < p(hi)
  if (fa > 0) {
    lo = b;
    hi = a;
  }
  long double x = guess > std::fmin(a, b) && guess < std::fmax(a, b) ? guess : 0.5L * (a + b);
  long double dxOld = std::fabs(b - a), dx = dxOld;
  long double slope, scale;
  long double f = value_ld(p, x, slope, scale);
  for (int iteration = 0; iteration < 400 && f != 0; iteration++) {
    if (f < 0)
      lo = x;
    else
      hi = x;
    if (((x - hi) * slope - f) * ((x - lo) * slope - f) > 0 ||
        std::fabs(2 * f) > std::fabs(dxOld * slope)) {
      dxOld = dx;
      dx = 0.5L * (hi - lo);
      const long double before = x;
      x = lo + dx;
      if (x == lo || x == before) break;
    } else {
      dxOld = dx;
      dx = f / slope;
      const long double before = x;
      x -= dx;
      if (x == before) break;
    }
    if (std::fabs(dx) <= 2 * LDBL_EPSILON * std::fabs(x) + LDBL_MIN) break;
    f = value_ld(p, x, slope, scale);
  }
  return static_cast<double>(x);
}

// Half the curvature p''(y) / 2, in double.
double half_curvature(const Scaled& p, double y) {
  double value = 1, slope = 0, half = 0;
  for (int k = 1; k <= p.n; k++) {
    half = half * y + slope;
    slope = slope * y + value;
    value = value * y + p.c[k];
  }
  return half;
}

// Every real root of p with multiplicity, ascending, each with the interval between extrema
// (or the bound 2) that isolates it; a zero at an extremum is a double root there. A designed
// root inside an interval starts the search in it, else the root of the second-order
// expansion about the nearer extremum, else the middle.
int robust_real_roots(const Scaled& p, const Extrema& x, const double guesses[], int nGuesses,
                      double roots[4], double lo[4], double hi[4]) {
  double at[5];
  long double value[5];
  int sign[5];
  long double slope, scale;
  const int points = x.m + 2;
  at[0] = -2;
  value[0] = value_ld(p, -2.0L, slope, scale);
  sign[0] = p.n % 2 == 0 ? 1 : -1;
  for (int k = 0; k < x.m; k++) {
    at[k + 1] = x.at[k];
    value[k + 1] = x.value[k];
    sign[k + 1] = extremum_sign(x, k);
  }
  at[points - 1] = 2;
  value[points - 1] = value_ld(p, 2.0L, slope, scale);
  sign[points - 1] = 1;
  int count = 0;
  for (int k = 0; k + 1 < points && count < p.n; k++) {
    if (sign[k] == sign[k + 1]) continue;
    double guess = std::numeric_limits<double>::quiet_NaN(), reach = INFINITY;
    for (int e = k; e <= k + 1; e++) {
      if (e < 1 || e > x.m) continue;  // the ends -2 and 2 are no extrema
      const double h = half_curvature(p, at[e]);
      const double d = h != 0 ? std::sqrt(std::fabs(static_cast<double>(value[e]) / h)) : INFINITY;
      if (d < reach) {
        reach = d;
        guess = e == k ? at[e] + d : at[e] - d;
      }
    }
    for (int g = 0; g < nGuesses; g++)
      if (guesses[g] > at[k] && guesses[g] < at[k + 1]) guess = guesses[g];
    // A zero at an extremum (a double root) ends the search at once.
    roots[count] = bracketed_root(p, at[k], value[k], at[k + 1], value[k + 1], guess);
    lo[count] = at[k];
    hi[count] = at[k + 1];
    count++;
  }
  return count;
}

// Newton steps with Aberth's correction on the k roots z[] in the upper half plane: the other
// roots are their conjugates, the other z and the fixed real roots r[0..m-1]. A root stops at
// the rounding level of its residual, all stop when none moves by more than a few roundings or
// three rounds bring no smaller |p|; each root ends at its iterate of least |p|.
void polish_pairs(const Scaled& p, const double r[], int m, double z[][2], int k) {
  double best[2][2], bestResidual[2] = {INFINITY, INFINITY};
  bool done[2] = {false, false};
  int stalled = 0;
  for (int iteration = 0; iteration <= 60; iteration++) {
    bool moved = false, improved = false;
    for (int j = 0; j < k; j++) {
      if (done[j]) continue;
      const double re = z[j][0], im = z[j][1];
      const ComplexValue v = value_complex(p, re, im);
      const double size = magnitude(v.vr, v.vi);
      const double residual = v.scale > 0 ? size / v.scale : size;
      // Best by |p| itself, which falls steadily on the way to a root far from the start; its
      // ratio to the scale need not.
      if (im > 0 && size < bestResidual[j]) {
        bestResidual[j] = size;
        best[j][0] = re;
        best[j][1] = im;
        improved = true;
      }
      // At the rounding level of the evaluation, or out of rounds.
      if (residual <= 2 * p.n * kEps || iteration == 60) {
        done[j] = true;
        continue;
      }
      const double d2 = v.dr * v.dr + v.di * v.di;
      if (!(d2 > 0)) {
        z[j][1] = im + 1e-8 * (1 + std::fabs(re));  // off a critical point
        moved = true;
        continue;
      }
      // Newton's correction N = p / p'.
      const double nr = (v.vr * v.dr + v.vi * v.di) / d2, ni = (v.vi * v.dr - v.vr * v.di) / d2;
      // Sum of 1 / (z - w) over the other roots w.
      double sr = 0, si = 0;
      auto add = [&](double wr, double wi) {
        const double ar = re - wr, ai = im - wi, a2 = ar * ar + ai * ai;
        if (a2 > 0) {
          sr += ar / a2;
          si -= ai / a2;
        }
      };
      add(re, -im);
      for (int i = 0; i < m; i++) add(r[i], 0);
      for (int i = 0; i < k; i++) {
        if (i == j) continue;
        add(z[i][0], z[i][1]);
        add(z[i][0], -z[i][1]);
      }
      // w = N / (1 - N * sum).
      const double dr = 1 - (nr * sr - ni * si), di = -(nr * si + ni * sr);
      const double den = dr * dr + di * di;
      if (!(den > 0)) {
        done[j] = true;
        continue;
      }
      const double wr = (nr * dr + ni * di) / den, wi = (ni * dr - nr * di) / den;
      const double nextRe = re - wr, nextIm = std::fabs(im - wi);
      if (!std::isfinite(nextRe) || !std::isfinite(nextIm)) {
        done[j] = true;
        continue;
      }
      z[j][0] = nextRe;
      z[j][1] = nextIm > 0 ? nextIm : kEps * (1 + std::fabs(nextRe));
      if (magnitude(wr, wi) > 4 * kEps * magnitude(nextRe, nextIm)) moved = true;
    }
    stalled = improved ? 0 : stalled + 1;
    if (!moved || stalled >= 3) break;
  }
  for (int j = 0; j < k; j++) {
    // The last step's result was not measured yet.
    if (!done[j] && z[j][1] > 0) {
      const ComplexValue v = value_complex(p, z[j][0], z[j][1]);
      if (magnitude(v.vr, v.vi) < bestResidual[j]) continue;
    }
    if (bestResidual[j] < INFINITY) {
      z[j][0] = best[j][0];
      z[j][1] = best[j][1];
    }
  }
}

// The upper root of y^2 + e*y + f as a start (a small imaginary part where it is real).
void quadratic_start(double e, double f, double z[2]) {
  const double disc = f - 0.25 * e * e;
  z[0] = -0.5 * e;
  z[1] = disc > 0 ? std::sqrt(disc) : std::sqrt(-disc) + 1e-3 * std::fabs(e) + 1e-300;
}

// The upper root of the quartic's factor y^2 + e*y + f left by its known factor y^2 + g*y + h,
// e and f by the leading coefficients (right when the known roots are the small ones) or the
// trailing ones (right when they are the large ones), whichever solves p better.
void cofactor_start(const Scaled& p, double g, double h, double z[2]) {
  const double e = p.c[1] - g;
  quadratic_start(e, p.c[2] - h - g * e, z);
  if (h == 0) return;
  const double f = p.c[4] / h;
  double other[2];
  quadratic_start((p.c[3] - g * f) / h, f, other);
  if (std::isfinite(other[0]) && std::isfinite(other[1]) &&
      !(pair_residual(p, z) <= pair_residual(p, other))) {
    z[0] = other[0];
    z[1] = other[1];
  }
}

// The upper root of the cubic's factor y^2 + e*y + f left by its real root r: e and f by the
// leading coefficients where r is the smaller in size (|r|^3 <= |c3| = |r| f), by the trailing
// ones where it is the larger, so that neither loses digits.
void cubic_cofactor_start(const Scaled& p, double r, double z[2]) {
  if (r != 0 && std::fabs(r) * r * r > std::fabs(p.c[3])) {
    const double f = -p.c[3] / r;
    quadratic_start((p.c[2] - f) / r, f, z);
  } else {
    const double e = p.c[1] + r;
    quadratic_start(e, p.c[2] + r * e, z);
  }
}

// Starts for the k complex pairs when the closed form gave none that serve, or gave pairs that
// did not converge. Variant 0: for k = 1 the quadratic left after dividing out the real roots
// r[] (for the quartic by cofactor_start; for the cubic by the leading or the trailing
// coefficients, whichever solves p better); for k = 2 two points in the upper half plane on
// the circle of the roots' mean modulus about their centroid. Variant 1: for k = 1 a point on
// the circle of the pair's modulus about its centroid; for k = 2 the roots of y^2 + c1*y + c2
// and of c2*y^2 + c3*y + c4, which approximate pairs of very different size.
void pair_starts(const Scaled& p, const double r[], double z[][2], int k, int variant) {
  if (k == 1 && variant == 0 && p.n == 4) {
    cofactor_start(p, -(r[0] + r[1]), r[0] * r[1], z[0]);
    return;
  }
  if (k == 1 && variant == 0) {
    cubic_cofactor_start(p, r[0], z[0]);
    return;
  }
  if (k == 2 && variant == 1 && p.c[2] != 0) {
    quadratic_start(p.c[1], p.c[2], z[0]);
    quadratic_start(p.c[3] / p.c[2], p.c[4] / p.c[2], z[1]);
    return;
  }
  double centre = -p.c[1] / p.n, radius = std::sqrt(std::sqrt(std::fabs(p.c[4])));
  const double angles[2] = {0.7, 2.2};
  if (k == 1) {
    // The pair's modulus from the constant term over the real roots' product, its centroid
    // from the sum of the roots.
    double product = 1, sum = 0;
    for (int i = 0; i < p.n - 2; i++) {
      product *= r[i];
      sum += r[i];
    }
    const double constant = p.n % 2 == 0 ? p.c[p.n] : -p.c[p.n];
    radius = product != 0 ? std::sqrt(std::fabs(constant / product)) : 0;
    centre = 0.5 * (-p.c[1] - sum);
  }
  if (!(radius > 1e-300) || !std::isfinite(radius)) radius = 1e-3;
  for (int j = 0; j < k; j++) {
    z[j][0] = centre + radius * std::cos(angles[j]);
    z[j][1] = radius * std::sin(angles[j]);
  }
}

double worst_pair_residual(const Scaled& p, const double z[][2], int k) {
  double worst = 0;
  for (int j = 0; j < k; j++)
    worst = std::fmax(worst, z[j][1] > 0 ? pair_residual(p, z[j]) : INFINITY);
  return worst;
}

bool pairs_solve(const Scaled& p, const double z[][2], int k) {
  for (int j = 0; j < k; j++)
    if (!pair_solves(p, z[j])) return false;
  return true;
}

// Polishes the k pairs z from their starts; of two pairs of which only one then solves, the
// other is started again from dividing the first out (a start between two pairs of very
// different size converges slowly to the smaller).
void polish_from(const Scaled& p, const double r[], int m, double z[][2], int k) {
  polish_pairs(p, r, m, z, k);
  if (k != 2 || pair_solves(p, z[0]) == pair_solves(p, z[1])) return;
  const int known = pair_solves(p, z[0]) ? 0 : 1;
  const double* w = z[known];
  cofactor_start(p, -2 * w[0], w[0] * w[0] + w[1] * w[1], z[1 - known]);
  polish_pairs(p, r, m, z, k);
}

// The k pairs polished from the given starts; while they do not all solve the polynomial, the
// other starts are tried as well, and the best set is kept.
void solve_pairs(const Scaled& p, const double r[], int m, double z[][2], int k) {
  if (k == 0) return;
  polish_from(p, r, m, z, k);
  for (int variant = 0; variant < 2 && !pairs_solve(p, z, k); variant++) {
    double other[2][2];
    pair_starts(p, r, other, k, variant);
    polish_from(p, r, m, other, k);
    if (worst_pair_residual(p, other, k) < worst_pair_residual(p, z, k))
      for (int j = 0; j < k; j++) {
        z[j][0] = other[j][0];
        z[j][1] = other[j][1];
      }
  }
}

bool has_close_pair(const double y[], int count) {
  for (int i = 0; i < count; i++)
    for (int j = 0; j < i; j++)
      if (std::fabs(y[i] - y[j]) <= kClosePair) return true;
  return false;
}

// Matches the designed real roots to the recomputed ones, nearest first; a designed root
// qualifies for a recomputed one inside that root's isolating interval and within 1e-4, or
// within 1e-8 anywhere (near double roots). Writes the matched recomputed roots in the
// designed order, then the unmatched ones ascending, into out; returns their number.
int merge_reals(const double y[], int count, const double r[], const double lo[], const double hi[],
                int m, double out[4]) {
  int matchOf[4] = {-1, -1, -1, -1};
  bool used[4] = {false, false, false, false};
  for (;;) {
    int bi = -1, bj = -1;
    double bestGap = INFINITY;
    for (int i = 0; i < count; i++) {
      if (matchOf[i] >= 0) continue;
      for (int j = 0; j < m; j++) {
        if (used[j]) continue;
        const double gap = std::fabs(y[i] - r[j]);
        const bool inside = y[i] >= lo[j] && y[i] <= hi[j] && gap <= 1e-4;
        if ((inside || gap <= 1e-8) && gap < bestGap) {
          bestGap = gap;
          bi = i;
          bj = j;
        }
      }
    }
    if (bi < 0) break;
    matchOf[bi] = bj;
    used[bj] = true;
  }
  int n = 0;
  for (int i = 0; i < count; i++)
    if (matchOf[i] >= 0) out[n++] = r[matchOf[i]];
  for (int j = 0; j < m; j++)
    if (!used[j]) out[n++] = r[j];
  return n;
}

// Writes the scaled real roots and pairs back into roots in the layout of poly_roots.h.
void unscale(const Scaled& p, const double y[], int count, const double z[][2], int k,
             double roots[]) {
  for (int i = 0; i < count; i++) roots[i] = scaled_up(p, y[i]);
  for (int j = 0; j < k; j++) {
    roots[count + 2 * j] = scaled_up(p, z[j][0]);
    roots[count + 2 * j + 1] = scaled_up(p, z[j][1]);
  }
}

}  // namespace

int certify_roots(const double coef[], int degree, double roots[], int count) {
  const int n = degree;
  Scaled p;
  scale_polynomial(coef, n, p);
  double y[4], z[2][2];
  for (int i = 0; i < count; i++) y[i] = scaled_down(p, roots[i]);
  const int designedPairs = (n - count) / 2;
  for (int j = 0; j < designedPairs; j++) {
    z[j][0] = scaled_down(p, roots[count + 2 * j]);
    z[j][1] = scaled_down(p, roots[count + 2 * j + 1]);
  }

  // The cheap checks: residuals of every root, and the count certified by disjoint inclusion
  // disks about the roots; where disks overlap, by the discriminant, or by the extrema where the
  // discriminant is too close to 0, with no two real roots that may be one.
  double radius[4], rho[2];
  const bool realsSolve = polish_reals(p, y, count, radius);
  bool pairsSolve = true;
  for (int j = 0; j < designedPairs; j++) pairsSolve = check_pair(p, z[j], rho[j]) && pairsSolve;
  Extrema x;
  bool haveExtrema = false;
  bool countRight = disks_disjoint(y, radius, count, z, rho, designedPairs);
  if (!countRight && !has_close_pair(y, count)) {
    const int sure = discriminant_count(p);
    if (sure >= 0) {
      countRight = sure == count;
    } else {
      find_extrema(p, x);
      haveExtrema = true;
      countRight = count_from_extrema(p, x) == count;
    }
  }
  double out[4];
  if (countRight && realsSolve) {
    // Only inexact complex pairs: polish them, the real roots held. The cubic's pair (whose
    // closed form carries a seven-digit sqrt(3)/2) comes exact from dividing out its real root.
    if (!pairsSolve && n == 3) {
      double deflated[2];
      cubic_cofactor_start(p, y[0], deflated);
      if (pair_solves(p, deflated)) {
        z[0][0] = deflated[0];
        z[0][1] = deflated[1];
        pairsSolve = true;
      }
    }
    if (!pairsSolve) solve_pairs(p, y, count, z, designedPairs);
    unscale(p, y, count, z, designedPairs, out);
    if (!all_finite(out, n)) return count;
    for (int k = 0; k < n; k++) roots[k] = out[k];
    return count;
  }

  // Repair: every real root from the extrema, the designed ones that are right in their places.
  if (!haveExtrema) find_extrema(p, x);
  double r[4], lo[4], hi[4], reals[4];
  const int m = robust_real_roots(p, x, y, count, r, lo, hi);
  const int realCount = merge_reals(y, count, r, lo, hi, m, reals);
  const int pairs = (n - realCount) / 2;
  if (pairs == 2 && designedPairs == 1) {
    // The closed form's pair, and the other from dividing it out.
    cofactor_start(p, -2 * z[0][0], z[0][0] * z[0][0] + z[0][1] * z[0][1], z[1]);
  } else if (pairs != designedPairs) {
    // For one pair the quadratic left by the real roots; of the closed form's two pairs, one
    // stood for the real roots found now and may solve p as well as the other.
    pair_starts(p, reals, z, pairs, 0);
  }
  solve_pairs(p, reals, realCount, z, pairs);
  unscale(p, reals, realCount, z, pairs, out);
  // Nothing usable (no finite result): keep what the closed form gave.
  if ((n - realCount) % 2 != 0 || !all_finite(out, n)) return count;
  for (int k = 0; k < n; k++) roots[k] = out[k];
  return realCount;
}
