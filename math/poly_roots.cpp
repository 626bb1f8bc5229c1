#include "math/poly_roots.h"

#include <cmath>
#include <limits>

#include "math/poly_roots_certify.h"
#include "math/vecmat.h"

namespace {

// Non-finite coefficients, or finite ones so large that the formulas overflowed: no roots, and
// no NaN or infinity left in the root array.
int no_roots(double roots[], int count) {
  for (int k = 0; k < count; k++) roots[k] = 0;
  return 0;
}

// Value of the monic polynomial x^n + coef[0]*x^(n-1) + ... + coef[n-1] at x (Horner), and
// its derivative in slope.
double monic_value(const double coef[], int degree, double x, double& slope) {
  double value = 1;
  slope = 0;
  for (int k = 0; k < degree; k++) {
    slope = slope * x + value;
    value = value * x + coef[k];
  }
  return value;
}

// Second-order Taylor coefficients of the monic polynomial at x: value, slope and half the
// curvature.
void monic_taylor(const double coef[], int degree, double x, double& value, double& slope,
                  double& halfCurvature) {
  value = 1;
  slope = 0;
  halfCurvature = 0;
  for (int k = 0; k < degree; k++) {
    halfCurvature = halfCurvature * x + slope;
    slope = slope * x + value;
    value = value * x + coef[k];
  }
}

// Two real roots that nearly coincide come out of the closed forms with errors near the square
// root of the rounding error, and Newton steps stall at the extremum between them. Re-solve such
// a pair from the second-order expansion about its midpoint; keep the result only when both
// roots then solve the polynomial better, and stay strictly between the pair's outer neighbours.
void separate_close_pairs(const double coef[], int degree, double roots[], int count) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (int i = 0; i < count; i++) {
    for (int j = 0; j < count; j++) {
      if (j == i || !(roots[i] <= roots[j])) continue;
      const double lo = roots[i], hi = roots[j];
      if (hi - lo > 1e-2 * (1 + std::fabs(lo))) continue;
      double below = -kInf, above = kInf;  // the nearest other roots outside the pair
      bool inside = false;
      for (int k = 0; k < count; k++) {
        if (k == i || k == j) continue;
        if (roots[k] < lo && roots[k] > below) below = roots[k];
        if (roots[k] > hi && roots[k] < above) above = roots[k];
        if (roots[k] >= lo && roots[k] <= hi) inside = true;
      }
      if (inside) continue;
      const double m = 0.5 * (lo + hi);
      double p0, p1, p2;
      monic_taylor(coef, degree, m, p0, p1, p2);
      const double disc = p1 * p1 - 4 * p2 * p0;
      if (p2 == 0 || !(disc > 0)) continue;
      // Roots of p2*d^2 + p1*d + p0 without cancellation.
      const double big = -0.5 * (p1 + std::copysign(std::sqrt(disc), p1));
      const double d1 = big / p2, d2 = big != 0 ? p0 / big : 0;
      const double newLo = m + std::fmin(d1, d2), newHi = m + std::fmax(d1, d2);
      if (!(newLo > below && newHi < above && newLo < newHi)) continue;
      double slope;
      const double oldLo = std::fabs(monic_value(coef, degree, lo, slope));
      const double oldHi = std::fabs(monic_value(coef, degree, hi, slope));
      if (std::fabs(monic_value(coef, degree, newLo, slope)) < oldLo &&
          std::fabs(monic_value(coef, degree, newHi, slope)) < oldHi) {
        roots[i] = newLo;
        roots[j] = newHi;
      }
    }
  }
}

// Newton steps on the monic polynomial for each of the first count entries of roots. A step is
// kept only when it lowers |p(x)| and leaves the root strictly between its neighbours among the
// other real roots, so neither the count, nor the order in the array, nor the order by value
// changes. Near a double root Newton converges only linearly, hence the generous step cap; a
// converged root stops at its first step that no longer helps.
void polish_real_roots(const double coef[], int degree, double roots[], int count) {
  constexpr int kMaxSteps = 40;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (int i = 0; i < count; i++) {
    double below = -kInf, above = kInf;
    for (int j = 0; j < count; j++) {
      if (roots[j] < roots[i] && roots[j] > below) below = roots[j];
      if (roots[j] > roots[i] && roots[j] < above) above = roots[j];
    }
    double x = roots[i], slope;
    double value = monic_value(coef, degree, x, slope);
    for (int step = 0; step < kMaxSteps && slope != 0; step++) {
      const double next = x - value / slope;
      if (!(next > below && next < above)) break;
      double next_slope;
      const double next_value = monic_value(coef, degree, next, next_slope);
      if (!(std::fabs(next_value) < std::fabs(value))) break;
      x = next;
      value = next_value;
      slope = next_slope;
    }
    roots[i] = x;
  }
}

// x^2 + 2*b*x + c = 0 without the check of the coefficients: the cubic and the quartic call it
// with whatever their formulas produced.
int quadratic_closed_form(const double coef[2], double roots[2]) {
  const double b = coef[0], c = coef[1];
  // Root 0 and the other from the sum of the roots.
  if (std::fabs(c) <= 1e-8) {
    roots[0] = -2 * b;
    roots[1] = 0.0;
    return 2;
  }
  const double D = b * b - c;
  if (D < 0) {
    roots[0] = -b;
    roots[1] = std::sqrt(-D);
    return 0;
  }
  // The larger root without cancellation, the smaller from the product of the roots.
  const double x1 = b > 0 ? -b - std::sqrt(D) : -b + std::sqrt(D);
  roots[0] = x1;
  roots[1] = c / x1;
  return 2;
}

// x^3 + a*x^2 + b*x + c by Cardano on the depressed cubic, with the roots polished through
// the product of the roots and, for a small root, by deflation.
int cubic_closed_form(const double coef[3], double roots[3]) {
  const double a = coef[0], b = coef[1], c = coef[2];
  // Root 0; the rest is a quadratic.
  if (std::fabs(c) <= 1e-8) {
    const double half[2] = {a / 2, b};
    double pair[2];
    const int n = quadratic_closed_form(half, pair);
    roots[0] = 0;
    roots[1] = pair[0];
    roots[2] = pair[1];
    return n + 1;
  }
  // Depressed cubic y^3 + 3q*y + 2r = 0 with x = y - p.
  const double p = a / 3, p2 = p * p, ap = std::fabs(p);
  double q = b / 3 - p2;
  const double r = ((2 * p2 - b) * p + c) / 2;
  if (std::fabs(q) * 710000 < p2) q = 0;
  double x0, x1, x2;  // with n = 1, x1 and x2 hold the pair (re, im)
  int n;
  if (p2 * ap > std::fabs(r) * 710000) {
    // r negligible against p^3: y^3 + 3q*y = 0.
    x0 = -p;
    const double t = 3 * q;
    if (t <= 0) {
      const double s = std::sqrt(-t);
      x1 = -s - p;
      x2 = s - p;
      n = 3;
    } else {
      x1 = -p;
      x2 = std::sqrt(t);
      n = 1;
    }
  } else {
    const double q2 = q * q;
    const double D = q2 * q / (r * r) + 1;
    if (std::fabs(D) < 0.000014) {
      // Double root.
      const double u = cube_root(r);
      x0 = u - p;
      x1 = u - p;
      x2 = -2 * u - p;
      n = 3;
    } else if (D > 0) {
      // One real root and a complex pair.
      const double u = cube_root((std::sqrt(D) + 1) * r);
      const double v = q / u;
      const double w = q < 0 ? v - u : -2 * r * u * u / ((u * u + q) * u * u + q2);
      x0 = w - p;
      x1 = -0.5 * w - p;
      x2 = std::fabs(v + u) * 0.8660254;
      n = 1;
    } else {
      // Three real roots, trigonometric form.
      const double theta = std::atan(std::sqrt(-D)) / 3;
      double s = std::sqrt(-q);
      if (r >= 0) s = -s;
      const double cs = s * std::cos(theta);
      const double sn = s * std::sin(theta) * 1.732051;
      x0 = 2 * cs - p;
      x1 = -cs - sn - p;
      x2 = -cs + sn - p;
      n = 3;
    }
  }
  // A root small against p has lost its digits: take it from the product of the roots, -c, or
  // deflate by the large root when the others are all small.
  bool deflate = false;
  if (n == 1) {
    const double m = x1 * x1 + x2 * x2;
    if (0.01 * x0 * x0 >= m)
      deflate = true;
    else if (x0 * x0 < m)
      x0 = -c / m;
  } else {
    const double tol = 0.05 * ap;
    if (std::fabs(x0) < tol) {
      if (std::fabs(x1) < tol) {
        x0 = x2;
        deflate = true;
      } else if (std::fabs(x2) < tol) {
        x0 = x1;
        deflate = true;
      } else {
        x0 = -c / (x1 * x2);
      }
    } else if (std::fabs(x1) < tol) {
      if (std::fabs(x2) < tol)
        deflate = true;
      else
        x1 = -c / (x0 * x2);
    } else if (std::fabs(x2) < tol) {
      x2 = -c / (x0 * x1);
    }
  }
  if (deflate) {
    const double h = c / x0 + b;
    const double g = x0 / (a * x0 + h);
    const double half[2] = {0.5 * h * g, c * g};
    double pair[2];
    n = quadratic_closed_form(half, pair) + 1;
    x1 = pair[0];
    x2 = pair[1];
  }
  roots[0] = x0;
  roots[1] = x1;
  roots[2] = x2;
  return n;
}

// The root y of the resolvent cubic y^3 - b*y^2 + B*y + C = 0 that factors the quartic; a root
// gives real factors only when y >= P = b - a^2/4.
double resolvent_root(double b, double B, double C, double P) {
  double ys[3];
  if (std::fabs(C) <= 1e-8) {
    // Root 0; the rest is a quadratic.
    const double half[2] = {-b / 2, B};
    double pair[2];
    if (quadratic_closed_form(half, pair) == 0) return 0;
    ys[0] = 0;
    ys[1] = pair[0];
    ys[2] = pair[1];
  } else {
    // Depressed form with y = z + pp: z^3 + 3q*z + 2r = 0.
    const double pp = b / 3, pp2 = pp * pp;
    double q = B / 3 - pp2;
    const double r = ((B - 2 * pp2) * pp + C) / 2;
    if (std::fabs(q) * 710000 < pp2) q = 0;
    if (pp2 * std::fabs(pp) > 710000 * std::fabs(r)) {
      // r negligible against pp^3.
      if (q >= 0) return pp;
      const double s = std::sqrt(-3 * q);
      ys[0] = pp;
      ys[1] = pp - s;
      ys[2] = pp + s;
    } else {
      double D = q * q * q / (r * r) + 1;
      if (std::fabs(D) < 0.0000014) D = 0;
      if (D > 0) {
        // One real root; when it is small, take it from the product of the roots.
        const double u = cube_root((std::sqrt(D) + 1) * r);
        const double v = q / u;
        const double w = q < 0 ? v - u : -2 * r * u * u / ((u * u + q) * u * u + q * q);
        double y = w + pp;
        const double re = -0.5 * w + pp;
        if (10 * std::fabs(y) < std::fabs(pp)) y = -C / (re * re + 0.75 * (v + u) * (v + u));
        // Nearly a double root: the real part of the pair gives the real factorisation.
        if (y < P && D < 0.0000224) y = re;
        return y;
      }
      const double theta = std::atan(std::sqrt(-D)) / 3;
      double s = std::sqrt(-q);
      if (r >= 0) s = -s;
      const double cs = s * std::cos(theta);
      const double sn = 1.732051 * s * std::sin(theta);
      ys[0] = pp + 2 * cs;
      ys[1] = pp - cs - sn;
      ys[2] = pp - cs + sn;
    }
  }
  // Three roots: the largest, or the smallest when it also factors and is larger in magnitude.
  double y = ys[0], ymin = ys[0];
  for (int k = 1; k < 3; k++) {
    if (ys[k] > y) y = ys[k];
    if (ys[k] < ymin) ymin = ys[k];
  }
  if (ymin >= P && std::fabs(y) < std::fabs(ymin)) y = ymin;
  return y;
}

// x^4 + a*x^3 + b*x^2 + c*x + d = (x^2 + e1*x + f1)(x^2 + e2*x + f2) by Ferrari's method,
// then the two quadratics.
int quartic_closed_form(const double coef[4], double roots[4]) {
  const double a = coef[0], b = coef[1], c = coef[2], d = coef[3];
  // Root 0; the rest is a cubic.
  if (std::fabs(d) <= 1e-8) {
    double rest[3];
    const int n = cubic(coef, rest);
    // The cubic overflowed: so does the quartic.
    if (n == 0) return no_roots(roots, 4);
    roots[0] = 0;
    for (int k = 0; k < 3; k++) roots[k + 1] = rest[k];
    return n + 1;
  }
  const double B = a * c - 4 * d;
  const double C = 4 * b * d - c * c - a * a * d;
  const double P = b - a * a / 4;
  const double y = resolvent_root(b, B, C, P);
  double e1, e2, f1, f2;
  if (y == 0) {
    if (d < 0) {
      f1 = std::sqrt(-d);
      f2 = -std::sqrt(-d);
    } else {
      f1 = f2 = 0;
    }
    if (b == 0) {
      e1 = a * c < 0 ? a : 0;
      e2 = a * c < 0 ? 0 : a;
    } else {
      double h = a / 2, t = h * h - b;
      if (t < 0) {
        e1 = e2 = h;
      } else {
        t = std::sqrt(t);
        if (h < 0) {
          h = h - t;
          e1 = c < 0 ? b / h : h;
          e2 = c < 0 ? h : b / h;
        } else {
          h = h + t;
          e1 = c >= 0 ? b / h : h;
          e2 = c >= 0 ? h : b / h;
        }
      }
    }
  } else {
    const double hy = y / 2;
    double t = hy * hy - d;
    if (10000 * t >= hy * hy) {
      f1 = y >= 0 ? hy + std::sqrt(t) : hy - std::sqrt(t);
      f2 = f1 != 0 ? d / f1 : y;
      e1 = (a * f1 - c) / (f1 - f2);
      e2 = (c - a * f2) / (f1 - f2);
    } else {
      // f1 and f2 nearly equal: take e1 and e2 from their sum and product instead.
      const double g = b - y, ha = a / 2;
      const double u = std::fmax(ha * ha - g, 0.0);
      e1 = ha >= 0 ? ha + std::sqrt(u) : ha - std::sqrt(u);
      e2 = e1 != 0 ? g / e1 : a;
      if (std::fabs(b) + std::fabs(y) + ha * ha <= 10000 * u) {
        f1 = (e1 * y - c) / (e1 - e2);
        f2 = (c - e2 * y) / (e1 - e2);
      } else {
        // Both nearly equal: pair the e values with the f values that fit the x term best.
        if (t < 0) t = 0;
        f1 = y >= 0 ? hy + std::sqrt(t) : hy - std::sqrt(t);
        f2 = f1 != 0 ? d / f1 : y;
        const double err1 = std::fabs(e1 * f2 + f1 * e2 - c);
        const double err2 = std::fabs(e2 * f2 + f1 * e1 - c);
        if (err2 <= err1) {
          const double swap = e1;
          e1 = e2;
          e2 = swap;
        }
      }
    }
  }
  const double first[2] = {e1 / 2, f1}, second[2] = {e2 / 2, f2};
  double pair[2];
  const int n1 = quadratic_closed_form(first, pair);
  // Real roots first: a complex pair of the first factor moves behind the second factor.
  const int at = n1 == 2 ? 0 : 2;
  roots[at] = pair[0];
  roots[at + 1] = pair[1];
  return n1 + quadratic_closed_form(second, roots + n1);
}

// The closed form's count real roots made accurate on the polynomial itself; no roots at all
// when an intermediate value overflowed.
int refine_real_roots(const double coef[], int degree, double roots[], int count) {
  separate_close_pairs(coef, degree, roots, count);
  polish_real_roots(coef, degree, roots, count);
  return all_finite(roots, degree) ? count : no_roots(roots, degree);
}

}  // namespace

double cube_root(double x) {
  if (x == 0) return 0;
  if (!std::isfinite(x)) return x;
  const double a = std::fabs(x);
  double t = std::pow(a, 1.0 / 3.0);
  t = (t + 3 * a / (2 * t * t + a / t)) / 2;
  return x < 0 ? -t : t;
}

int quadratic(const double coef[2], double roots[2]) {
  if (!all_finite(coef, 2)) return no_roots(roots, 2);
  const int n = quadratic_closed_form(coef, roots);
  return all_finite(roots, 2) ? n : no_roots(roots, 2);
}

int cubic(const double coef[3], double roots[3]) {
  if (!all_finite(coef, 3)) return no_roots(roots, 3);
  const int count = refine_real_roots(coef, 3, roots, cubic_closed_form(coef, roots));
  // 0: the closed form overflowed, and no roots is the documented answer.
  return count == 0 ? 0 : certify_roots(coef, 3, roots, count);
}

int quartic(const double coef[4], double roots[4]) {
  if (!all_finite(coef, 4)) return no_roots(roots, 4);
  const int count = refine_real_roots(coef, 4, roots, quartic_closed_form(coef, roots));
  // No roots and zeros stored: the closed form overflowed (a true complex pair has im > 0).
  bool overflowed = count == 0;
  for (int k = 0; k < 4; k++) overflowed = overflowed && roots[k] == 0;
  return overflowed ? 0 : certify_roots(coef, 4, roots, count);
}
