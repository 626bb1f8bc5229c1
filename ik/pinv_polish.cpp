#include "ik/pinv_polish.h"

#include <cmath>
#include <limits>

#include "math/angles.h"

namespace pinv_parts {

namespace {

// Rz(th) v, given c = cos th and s = sin th.
Vec3 turned(double c, double s, const Vec3& v) {
  return {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
}

// The z axis crossed with v: d/dth Rz(th) v at th = 0.
Vec3 z_cross(const Vec3& v) {
  return {-v.y, v.x, 0};
}

// The target in the frame of joint I before its rotation.
Vec3 target_in_frame_I(const PinvGeometry& geo) {
  Vec3 d, w;
  vsub(geo.target, geo.P1, d);
  mtvmul(geo.M1, d, w);
  return w;
}

// The closure gap Rz(qI) (P2 + M2 Rz(qJ) (P3 + M3 Rz(qK) endPt)) - w and its derivatives by
// qI, qJ and qK (the columns of the Jacobian).
struct Closure {
  Vec3 gap, dI, dJ, dK;
};

// The same from the cosines and sines of qI, qJ, qK in trig[0..2].
void closure(const PinvGeometry& geo, const Vec3& w, const double trig[3][2], Closure& out) {
  const double cI = trig[0][0], sI = trig[0][1], cJ = trig[1][0], sJ = trig[1][1];
  const Vec3 a = turned(trig[2][0], trig[2][1], geo.endPt);
  Vec3 u, v, tmp;
  mvmul(geo.M3, a, tmp);
  vadd(geo.P3, tmp, u);
  mvmul(geo.M2, turned(cJ, sJ, u), tmp);
  vadd(geo.P2, tmp, v);
  vsub(turned(cI, sI, v), w, out.gap);
  out.dI = turned(cI, sI, z_cross(v));
  mvmul(geo.M2, turned(cJ, sJ, z_cross(u)), tmp);
  out.dJ = turned(cI, sI, tmp);
  Vec3 k3;
  mvmul(geo.M3, z_cross(a), k3);
  mvmul(geo.M2, turned(cJ, sJ, k3), tmp);
  out.dK = turned(cI, sI, tmp);
}

void closure(const PinvGeometry& geo, const Vec3& w, double qI, double qJ, double qK,
             Closure& out) {
  const double trig[3][2] = {
      {std::cos(qI), std::sin(qI)}, {std::cos(qJ), std::sin(qJ)}, {std::cos(qK), std::sin(qK)}};
  closure(geo, w, trig, out);
}

// Cosine and sine of th + delta from those of th: by the addition formulas, with the series of
// cos and sin for a short delta, which saves calling them for each Newton step.
void turn_by(const double cs[2], double delta, double out[2]) {
  double cd, sd;
  if (std::fabs(delta) < 1e-3) {
    const double d2 = delta * delta;
    cd = 1 - d2 / 2 * (1 - d2 / 12);
    sd = delta * (1 - d2 / 6 * (1 - d2 / 20));
  } else {
    cd = std::cos(delta);
    sd = std::sin(delta);
  }
  out[0] = cs[0] * cd - cs[1] * sd;
  out[1] = cs[1] * cd + cs[0] * sd;
}

// Solves [c0 c1 c2] x = r by Gaussian elimination with partial pivoting; false when the matrix
// is singular to working precision.
bool solve3(const Vec3& c0, const Vec3& c1, const Vec3& c2, const Vec3& r, double x[3]) {
  double a[3][4] = {{c0.x, c1.x, c2.x, r.x}, {c0.y, c1.y, c2.y, r.y}, {c0.z, c1.z, c2.z, r.z}};
  double size = 0;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) size = std::fmax(size, std::fabs(a[i][j]));
  if (!(size > 0)) return false;
  for (int col = 0; col < 3; col++) {
    int pivot = col;
    for (int row = col + 1; row < 3; row++)
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    if (!(std::fabs(a[pivot][col]) > 1e-14 * size)) return false;
    if (pivot != col)
      for (int j = 0; j < 4; j++) {
        const double swap = a[col][j];
        a[col][j] = a[pivot][j];
        a[pivot][j] = swap;
      }
    for (int row = col + 1; row < 3; row++) {
      const double f = a[row][col] / a[col][col];
      for (int j = col; j < 4; j++) a[row][j] -= f * a[col][j];
    }
  }
  for (int i = 2; i >= 0; i--) {
    double sum = a[i][3];
    for (int j = i + 1; j < 3; j++) sum -= a[i][j] * x[j];
    x[i] = sum / a[i][i];
  }
  return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
}

}  // namespace

bool pinv_needs_polish(const PinvEquations& eq, PinvCase route) {
  // kPinvAxis is chosen only for w.x = w.y = 0 exactly.
  if (route == kPinvAxis) return false;
  if (route == kPinvGeneralC || route == kPinvGeneralS || route == kPinvGeneral) return true;
  return !(pinv_case_measure(eq, route) <= 1e-12);
}

double pinv_polish(const PinvGeometry& geo, int I, int J, int K, double cand[]) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  // A Newton step this short comes from so near the solution that the next one is at rounding
  // level: taken without measuring the gap again.
  constexpr double kShortStep = 1e-10;
  if (!std::isfinite(cand[I]) || !std::isfinite(cand[J]) || !std::isfinite(cand[K])) return kInf;
  const Vec3 w = target_in_frame_I(geo);
  double q[3] = {cand[I], cand[J], cand[K]};
  double trig[3][2];
  for (int k = 0; k < 3; k++) {
    trig[k][0] = std::cos(q[k]);
    trig[k][1] = std::sin(q[k]);
  }
  Closure c;
  closure(geo, w, trig, c);
  double gap = vnorm(c.gap);
  for (int step = 0; step < 12 && gap > 0; step++) {
    double delta[3];
    const Vec3 minusGap = {-c.gap.x, -c.gap.y, -c.gap.z};
    if (!solve3(c.dI, c.dJ, c.dK, minusGap, delta)) break;
    const double longest =
        std::fmax(std::fabs(delta[0]), std::fmax(std::fabs(delta[1]), std::fabs(delta[2])));
    if (longest <= kShortStep) {
      for (int k = 0; k < 3; k++) q[k] += delta[k];
      break;
    }
    // The full step, or up to three halvings of a long one, must shrink the gap.
    bool shrank = false;
    for (int halving = 0; halving < 4 && !shrank; halving++) {
      if (halving > 0 && longest < 1e-6) break;
      const double f = std::ldexp(1.0, -halving);
      double nextTrig[3][2];
      for (int k = 0; k < 3; k++) turn_by(trig[k], f * delta[k], nextTrig[k]);
      Closure nc;
      closure(geo, w, nextTrig, nc);
      const double nextGap = vnorm(nc.gap);
      if (nextGap < gap) {
        for (int k = 0; k < 3; k++) {
          q[k] += f * delta[k];
          trig[k][0] = nextTrig[k][0];
          trig[k][1] = nextTrig[k][1];
        }
        c = nc;
        gap = nextGap;
        shrank = true;
      }
    }
    if (!shrank) break;
  }
  cand[I] = wrap_library_turn(q[0]);
  cand[J] = wrap_library_turn(q[1]);
  cand[K] = wrap_library_turn(q[2]);
  return gap;
}

int pinv_recover(const PinvGeometry& geo, const PinvEquations& eq, PinvCase route,
                 const PinvElimination& elim, int I, int J, int K, int n,
                 double cand[][kJointSlots]) {
  // A recovered solution must close the chain to rounding, far inside pinv4's 1e-6 guard, and
  // lie as far from every candidate as keep_distinct asks.
  constexpr double kClosed = 1e-10, kDistinct = 1e-4;
  if (route != kPinvGeneralC && route != kPinvGeneralS) return n;
  const bool cosine = route == kPinvGeneralC;
  // x^2 + 2*b*x + c = 0 in x = cos qK (or sin qK), as TRI2C and TRI2S set it up.
  const double d = cosine ? elim.AC2 - elim.AS2 : elim.AS2 - elim.AC2;
  if (!(std::fabs(d) >= 1e-6)) return n;
  const double b = (cosine ? elim.BC1 : elim.BS1) / d;
  const double c = (elim.C0 + (cosine ? elim.AS2 : elim.AC2)) / d;
  // Each candidate's x and the other function of its qK, whose sign tells the two angles of an
  // x apart (sin for the cosine form, cos for the sine form).
  double candX[4], candOther[4];
  for (int g = 0; g < n; g++) {
    const double cosK = std::cos(cand[g][K]), sinK = std::sin(cand[g][K]);
    candX[g] = cosine ? cosK : sinK;
    candOther[g] = cosine ? sinK : cosK;
  }
  // The roots in x: each candidate's own, and the other root from it by the product of the
  // roots (the smaller one) or their sum (the larger one), which stay exact where the two
  // nearly coincide; with no candidate, the double root of a vanishing discriminant.
  double xs[8];
  int nx = 0;
  auto add_root = [&](double x) {
    if (!(std::fabs(x) <= 1 + 1e-12)) return;
    x = std::fmax(-1.0, std::fmin(1.0, x));
    for (int k = 0; k < nx; k++)
      if (std::fabs(xs[k] - x) <= 1e-13) return;
    xs[nx++] = x;
  };
  for (int g = 0; g < n; g++) {
    const double x = candX[g];
    add_root(x);
    if (x * x >= std::fabs(c))
      add_root(x != 0 ? c / x : -2 * b - x);
    else
      add_root(-2 * b - x);
  }
  if (n == 0 && std::fabs(b * b - c) <= 1e-9 * (b * b + std::fabs(c))) add_root(-b);

  const Vec3 w = target_in_frame_I(geo);
  double start[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) start[k] = cand[0][k];
  const int given = n;
  for (int r = 0; r < nx && n < 4; r++) {
    // The angles of this x that a candidate has already (its x and the sign of the other
    // function match): nothing to recover there.
    bool has[2] = {false, false};
    for (int g = 0; g < given; g++)
      if (std::fabs(candX[g] - xs[r]) <= 1e-12) has[candOther[g] >= 0 ? 0 : 1] = true;
    if (has[0] && has[1]) continue;
    const double a = cosine ? std::acos(xs[r]) : std::asin(xs[r]);
    const double angles[2] = {a, cosine ? -a : kLibraryPi - a};
    for (int side = 0; side < 2; side++) {
      if (n >= 4) break;
      if (has[side]) continue;
      const double qK = angles[side];
      // qI as the general route solves it; a qK with no point of the unit circle there has no
      // solution.
      Vec3 p, t;
      double cI, sI;
      if (!pinv_cramer(eq, qK, p, cI, sI)) continue;
      const double qI = std::atan2(sI, cI);
      double* trial = cand[n];
      for (int k = 0; k < kJointSlots; k++) trial[k] = start[k];
      pinv_rows(eq.tI, qI, t);
      pinv_store(I, J, K, qI, wrap_library_turn(qK), p, t, trial);
      // The seed is a candidate already found.
      bool known = false;
      for (int k = 0; k < n && !known; k++)
        known = wrapped_distance3(I, J, K, cand[k], trial) < 1e-6;
      if (known) continue;
      pinv_polish(geo, I, J, K, trial);
      Closure check;
      closure(geo, w, trial[I], trial[J], trial[K], check);
      if (!(vnorm(check.gap) <= kClosed)) continue;
      for (int k = 0; k < n && !known; k++)
        known = wrapped_distance3(I, J, K, cand[k], trial) < kDistinct;
      if (!known) n++;
    }
  }
  return n;
}

}  // namespace pinv_parts
