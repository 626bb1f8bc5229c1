#include "math/tri2.h"

#include <cmath>

#include "math/angles.h"
#include "math/poly_roots.h"
#include "math/vecmat.h"

namespace {

// No linear terms: rotated by phi onto the principal axes of the quadratic form, the equation
// is E1*cos^2(t - phi) + E2*sin^2(t - phi) + C0 = 0.
int tri2_without_linear_terms(double AC2, double AS2, double ACS, double C0, double out[4],
                              MessageLog* log) {
  const double Dd = AC2 - AS2;
  // Dd = 0 (then ACS is not): the quotient is infinite and phi = +-PI/4.
  const double phi = 0.5 * std::atan(2 * ACS / Dd);
  const double cphi = std::cos(phi), sphi = std::sin(phi);
  const double E1 = AC2 * cphi * cphi + 2 * ACS * cphi * sphi + AS2 * sphi * sphi;
  const double E2 = AC2 * sphi * sphi - 2 * ACS * cphi * sphi + AS2 * cphi * cphi;
  if (std::fabs(E1 - E2) < 1e-8) {
    log_printf(log, "\nTRI2() BC1=BS1=0, 不定　no solution");
    return 0;
  }
  const double X = (-C0 - E2) / (E1 - E2);  // cos^2(t - phi)
  if (X < 0) {
    log_printf(log, "\nTRI2() BC1=BS1=0 sqrt( X=%8.5f<0 ) no solution", X);
    return 0;
  }
  if (X > 1) {
    log_printf(log, "\nTRI2() BC1=BS1=0 cos2()>1 no solution");
    return 0;
  }
  const double psi = std::atan2(std::sqrt(1 - X), std::sqrt(X));
  out[0] = phi + psi;
  out[1] = phi + psi - PI;
  out[2] = phi - psi;
  out[3] = phi - psi + PI;
  return 4;
}

// The root x = cos(t) of the squared equation has w = ACS*x + BS1 = 0, so the equation factors;
// its angles replace whatever was found before.
int tri2_factored(double ACS, double BC1, double BS1, double Dd, double S, double out[4]) {
  int count = 0;
  if (std::fabs(ACS) <= 1e-8) {
    // sin(t) drops out: Dd*x^2 + 2*BC1*x + S = 0, each root giving +-t.
    const double half[2] = {BC1 / Dd, S / Dd};
    double x[2];
    if (quadratic(half, x) == 0) return 0;
    for (int k = 0; k < 2; k++) {
      if (std::fabs(x[k]) > 1) continue;
      const double sine = std::sqrt(1 - x[k] * x[k]);
      out[count++] = std::atan2(sine, x[k]);
      out[count++] = std::atan2(-sine, x[k]);
    }
    return count;
  }
  // (ACS*cos(t) + BS1) * (p*cos(t) + 2*sin(t) + q) = 0.
  const double p = Dd / ACS;
  const double q = (2 * BC1 - BS1 * p) / ACS;
  count = TRI1(p, 2, q, out);
  const double x0 = -BS1 / ACS;
  if (std::fabs(x0) <= 1) {
    const double sine = std::sqrt(1 - x0 * x0);
    out[count++] = std::atan2(sine, x0);
    out[count++] = std::atan2(-sine, x0);
  }
  return count;
}

double quartic_residual(const double k[4], double x) {
  return (((x + k[0]) * x + k[1]) * x + k[2]) * x + k[3];
}

// Whether x is a root of the quartic to 1e-8 relative to the size of its terms at x: the
// absolute test alone passes any x when the coefficients are all tiny.
bool quartic_relative_root(const double k[4], double x) {
  const double a = std::fabs(x);
  const double scale =
      (((a + std::fabs(k[0])) * a + std::fabs(k[1])) * a + std::fabs(k[2])) * a + std::fabs(k[3]);
  return std::fabs(quartic_residual(k, x)) <= 1e-8 * scale;
}

// The sine y = +-sqrt(1 - x^2) whose sign solves the unsquared equation
// (2*BC1 + Dd*x)*x + S + 2*y*w = 0 better; false when neither solves it to 1e-7 of its terms.
bool circle_sine(double BC1, double Dd, double S, double w, double x, double& y) {
  const double r = std::sqrt(std::fmax(0.0, 1 - x * x));
  const double base = (2 * BC1 + Dd * x) * x + S;
  const double plus = std::fabs(base + 2 * r * w), minus = std::fabs(base - 2 * r * w);
  const double scale =
      std::fabs(Dd) * x * x + 2 * std::fabs(BC1 * x) + std::fabs(S) + 2 * std::fabs(w);
  y = plus <= minus ? r : -r;
  return std::fmin(plus, minus) <= 1e-7 * scale;
}

// General case: the equation squared is a quartic in x = cos(t); the sine of each real root is
// recomputed from the unsquared equation, which rules out the roots the squaring added.
int tri2_general(double ACS, double BC1, double BS1, double Dd, double S, double Q, double out[4]) {
  const double k[4] = {4 * (BC1 * Dd + 2 * ACS * BS1) / Q,
                       2 * (Dd * S + 2 * (BC1 * BC1 + BS1 * BS1 - ACS * ACS)) / Q,
                       4 * (BC1 * S - 2 * ACS * BS1) / Q, (S * S - 4 * BS1 * BS1) / Q};
  double roots[4];
  const int real = quartic(k, roots);
  double kept[4];
  int kept_count = 0;
  for (int i = 0; i < real; i++) {
    const double x = roots[i];
    if (std::fabs(x) <= 1 && std::fabs(quartic_residual(k, x)) <= 1e-8) kept[kept_count++] = x;
  }
  int count = 0;
  for (int i = 0; i < kept_count; i++) {
    const double x = kept[i];
    const double w = ACS * x + BS1;
    if (std::fabs(w) <= 1e-8) return tri2_factored(ACS, BC1, BS1, Dd, S, out);
    double y = -((2 * BC1 + Dd * x) * x + S) / (2 * w);
    // (x, y) off the unit circle: x is no root of the squared equation, only within the
    // quartic's absolute thresholds, which tiny coefficients all pass; or w is so small that
    // the quotient lost its digits. Then the point of the circle on the side that solves the
    // unsquared equation, if one does.
    if (std::fabs(x * x + y * y - 1) > 1e-6 && !circle_sine(BC1, Dd, S, w, x, y)) continue;
    if (std::fabs(y) < 1) out[count++] = std::atan2(y, x);
  }
  // A factor ACS*cos(t) + BS1 of the equation makes its root x0 a double root of the quartic,
  // and without sin(t) the whole quartic is a square; the quartic often returns such roots as
  // complex pairs with a tiny imaginary part. Take the factored solution they would have led to.
  if (std::fabs(ACS) > 1e-8) {
    const double x0 = -BS1 / ACS;
    if (std::fabs(x0) <= 1 && std::fabs(quartic_residual(k, x0)) <= 1e-8 &&
        quartic_relative_root(k, x0))
      return tri2_factored(ACS, BC1, BS1, Dd, S, out);
  } else if (count == 0 && std::fabs(BS1) <= 1e-8) {
    return tri2_factored(ACS, BC1, BS1, Dd, S, out);
  }
  return count;
}

// Appends the two angles whose cosine is x (|x| <= 1), the one with positive sine first.
void append_cos_roots(double x, double roots[], int& n) {
  const double s = std::sqrt(1 - x * x);
  roots[n++] = std::atan2(s, x);
  roots[n++] = std::atan2(-s, x);
}
// Appends the two angles whose sine is x (|x| <= 1), the one with positive cosine first.
void append_sin_roots(double x, double roots[], int& n) {
  const double c = std::sqrt(1 - x * x);
  roots[n++] = std::atan2(x, c);
  roots[n++] = std::atan2(x, -c);
}

}  // namespace

int TRI1(double a, double b, double c, double out[2]) {
  out[0] = out[1] = 0;
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return 0;
  const double r = std::sqrt(a * a + b * b);
  // The squares overflowed: the same equation scaled down by an exact power of two.
  if (std::isinf(r)) {
    int exponent;
    std::frexp(std::fmax(std::fabs(a), std::fabs(b)), &exponent);
    return TRI1(std::ldexp(a, -exponent), std::ldexp(b, -exponent), std::ldexp(c, -exponent), out);
  }
  // No direction to solve for, even when c is 0 too.
  if (r < 1e-8) return 0;
  if (std::fabs(c) > r) return 0;
  // r*cos(t - phi) = -c.
  const double phi = std::atan2(b, a);
  const double alpha = std::acos(-c / r);
  out[0] = wrap_once(phi + alpha);
  out[1] = wrap_once(phi - alpha);
  return 2;
}

int TRI2(double AC2, double AS2, double ACS, double BC1, double BS1, double C0, double out[4],
         MessageLog* log) {
  const double inputs[6] = {AC2, AS2, ACS, BC1, BS1, C0};
  for (double value : inputs)
    if (!std::isfinite(value)) return 0;
  // The thresholds below are absolute, meant for coefficients near 1: an equation whose
  // coefficients are all small (a contact far along an arm nearly along the edge) is first
  // scaled up by a power of two, which leaves its roots as they are, so that the largest lies in
  // [0.5, 1).
  double largest = 0;
  for (double value : inputs) largest = std::fmax(largest, std::fabs(value));
  if (largest > 0 && largest < 0.5) {
    int exponent;
    std::frexp(largest, &exponent);
    AC2 = std::ldexp(AC2, -exponent);
    AS2 = std::ldexp(AS2, -exponent);
    ACS = std::ldexp(ACS, -exponent);
    BC1 = std::ldexp(BC1, -exponent);
    BS1 = std::ldexp(BS1, -exponent);
    C0 = std::ldexp(C0, -exponent);
  }
  const double S = C0 + AS2;
  const double Dd = AC2 - AS2;
  const double Q = Dd * Dd + 4 * ACS * ACS;
  // Coefficients so large that these combinations overflow: no usable equation.
  if (!std::isfinite(S) || !std::isfinite(Q)) return 0;
  // cos^2 and sin^2 weigh the same and there is no cross term: a linear equation.
  if (std::fabs(Q) <= 1e-8) return TRI1(2 * BC1, 2 * BS1, S, out);
  if (std::fabs(BC1) + std::fabs(BS1) < 1e-8)
    return tri2_without_linear_terms(AC2, AS2, ACS, C0, out, log);
  return tri2_general(ACS, BC1, BS1, Dd, S, Q, out);
}

int TRI2C(double AC2, double AS2, double BC1, double C0, double roots[4]) {
  const double d = AC2 - AS2;
  if (std::fabs(d) < 1e-6) {
    // cos^2 and sin^2 weigh alike: the equation is linear in cos t.
    if (std::fabs(BC1) < 1e-6) return 0;
    const double c = -(AC2 + C0) / (2 * BC1);
    // Written so that a NaN cosine fails too.
    if (!(std::fabs(c) <= 1)) return 0;
    roots[0] = std::acos(c);
    roots[1] = -std::acos(c);
    return 2;
  }
  const double coef[2] = {BC1 / d, (C0 + AS2) / d};
  double x[2];
  if (quadratic(coef, x) == 0) return 0;
  int n = 0;
  for (double xk : x)
    if (std::fabs(xk) <= 1) append_cos_roots(xk, roots, n);
  return n;
}

int TRI2S(double AC2, double AS2, double BS1, double C0, double roots[4]) {
  const double d = AC2 - AS2;
  if (std::fabs(d) < 1e-6) {
    // cos^2 and sin^2 weigh alike: the equation is linear in sin t.
    if (std::fabs(BS1) < 1e-6) return 0;
    const double s = -(AS2 + C0) / (2 * BS1);
    if (!(std::fabs(s) <= 1)) return 0;
    const double a = std::asin(s);
    double b = 3.1415926536 - a;
    if (b > 3.14159265359) b -= 6.28318530778;
    roots[0] = a;
    roots[1] = b;
    return 2;
  }
  const double coef[2] = {BS1 / (AS2 - AC2), (C0 + AC2) / (AS2 - AC2)};
  double x[2];
  if (quadratic(coef, x) == 0) return 0;
  int n = 0;
  for (double xk : x)
    if (std::fabs(xk) <= 1) append_sin_roots(xk, roots, n);
  return n;
}
