#include "math/brent.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

bool positive(double f) {
  return f > 0;
}

}  // namespace

BrentStatus brent_root(BrentFunction f, void* context, const BrentPoint& a, const BrentPoint& b,
                       double width, BrentPoint& root) {
  BrentPoint A = a, B = b, C = a;
  double d = B.x - A.x, e = d;
  for (int it = 0; it < kBrentRootIterations; it++) {
    if (positive(B.f) == positive(C.f)) {
      C = A;
      d = e = B.x - A.x;
    }
    if (std::fabs(C.f) < std::fabs(B.f)) {
      A = B;
      B = C;
      C = A;
    }
    const double tol = 2 * DBL_EPSILON * std::fabs(B.x) + 0.5 * width;
    const double m = 0.5 * (C.x - B.x);
    if (std::fabs(m) <= tol || B.f == 0) {
      root = B;
      return kBrentConverged;
    }
    if (std::fabs(e) >= tol && std::fabs(A.f) > std::fabs(B.f)) {
      // Secant (two points) or inverse quadratic interpolation (three).
      const double sr = B.f / A.f;
      double p, q;
      if (A.x == C.x) {
        p = 2 * m * sr;
        q = 1 - sr;
      } else {
        const double qa = A.f / C.f, r = B.f / C.f;
        p = sr * (2 * m * qa * (qa - r) - (B.x - A.x) * (r - 1));
        q = (qa - 1) * (r - 1) * (sr - 1);
      }
      if (p > 0)
        q = -q;
      else
        p = -p;
      // The interpolated step only when it stays inside and shrinks fast enough; else bisect.
      if (2 * p < std::min(3 * m * q - std::fabs(tol * q), std::fabs(e * q))) {
        e = d;
        d = p / q;
      } else {
        d = e = m;
      }
    } else {
      d = e = m;
    }
    A = B;
    const double x = B.x + (std::fabs(d) > tol ? d : (m > 0 ? tol : -tol));
    BrentPoint X;
    if (!f(context, x, B, C, X)) {
      // Not evaluated there: try the bracket's middle once before giving up.
      if (!f(context, B.x + m, B, C, X)) return kBrentNotEvaluated;
      d = e = m;
    }
    B = X;
  }
  root = B;
  return kBrentIterationsSpent;
}

BrentStatus brent_minimise(BrentFunction f, void* context, double lo, double hi, double x0,
                           double relTol, double absTol, BrentPoint& minimum) {
  constexpr double kGolden = 0.3819660112501051;  // (3 - sqrt 5) / 2
  const BrentPoint none = {0, 0, 0};
  BrentPoint X;
  if (!f(context, x0, none, none, X)) return kBrentNotEvaluated;
  // X the least value so far, W the second least, V the one before W.
  BrentPoint W = X, V = X;
  double d = 0, e = 0;
  for (int it = 0; it < kBrentMinimumIterations; it++) {
    const double x = X.x;
    const double xm = 0.5 * (lo + hi);
    const double tol1 = relTol * std::fabs(x) + absTol, tol2 = 2 * tol1;
    if (std::fabs(x - xm) <= tol2 - 0.5 * (hi - lo)) {
      minimum = X;
      return kBrentConverged;
    }
    bool golden = true;
    if (std::fabs(e) > tol1) {
      // The parabola through X, W and V, when its step is short enough and stays inside.
      const double r = (x - W.x) * (X.f - V.f);
      double q = (x - V.x) * (X.f - W.f);
      double p = (x - V.x) * q - (x - W.x) * r;
      q = 2 * (q - r);
      if (q > 0) p = -p;
      q = std::fabs(q);
      const double etemp = e;
      e = d;
      if (!(std::fabs(p) >= std::fabs(0.5 * q * etemp) || p <= q * (lo - x) || p >= q * (hi - x))) {
        d = p / q;
        const double u = x + d;
        if (u - lo < tol2 || hi - u < tol2) d = xm - x >= 0 ? tol1 : -tol1;
        golden = false;
      }
    }
    if (golden) {
      e = (x >= xm ? lo : hi) - x;
      d = kGolden * e;
    }
    const double u = std::fabs(d) >= tol1 ? x + d : x + (d >= 0 ? tol1 : -tol1);
    BrentPoint U;
    if (!f(context, u, none, none, U)) return kBrentNotEvaluated;
    if (U.f <= X.f) {
      if (u >= x)
        lo = x;
      else
        hi = x;
      V = W;
      W = X;
      X = U;
    } else {
      if (u < x)
        lo = u;
      else
        hi = u;
      if (U.f <= W.f || W.x == x) {
        V = W;
        W = U;
      } else if (U.f <= V.f || V.x == x || V.x == W.x) {
        V = U;
      }
    }
  }
  minimum = X;
  return kBrentIterationsSpent;
}
