#include "ik/pinv.h"

#include <cmath>

#include "ik/pinv_cases.h"
#include "ik/pinv_polish.h"
#include "math/angles.h"
#include "math/tri2.h"

namespace pinv_parts {
namespace {

// Frame of joint `to` at its zero value relative to joint `from - 1` after its rotation:
// A[from] ... A[to - 1] * Erel[to] (from = 0 gives the world frame).
void chain_frame(const RobotModel& robot, const Mat3 A[], int from, int to, Mat3& M) {
  Mat3 product = robot.Erel[to];
  for (int k = to - 1; k >= from; k--) {
    Mat3 next;
    mmul(A[k], product, next);
    product = next;
  }
  M = product;
}

// A point given in the frame of joint `last` after its rotation, seen from the frame of joint
// `first - 1` after its rotation: Lloc[k] + A[k] * P folded for k = last down to first.
void chain_point(const RobotModel& robot, const Mat3 A[], const Vec3& start, int last, int first,
                 Vec3& P) {
  Vec3 point = start;
  for (int k = last; k >= first; k--) {
    Vec3 turned;
    mvmul(A[k], point, turned);
    vadd(robot.Lloc[k], turned, point);
  }
  P = point;
}

// Roots of the general case's equation in qK along the chosen route, duplicates removed.
int general_roots(PinvCase route, const PinvElimination& e, double roots[4], MessageLog* log) {
  double raw[4];
  int n;
  if (route == kPinvGeneralC) {
    n = TRI2C(e.AC2, e.AS2, e.BC1, e.C0, raw);
  } else if (route == kPinvGeneralS) {
    n = TRI2S(e.AC2, e.AS2, e.BS1, e.C0, raw);
  } else {
    n = TRI2(e.AC2, e.AS2, e.ACS, e.BC1, e.BS1, e.C0, raw, log);
    if (n == 0) log_printf(log, "\nTRI2() no solution");
  }
  return unique_angles(n, raw, roots);
}

// General case: qK from the eliminated equation, then qI by pinv_cramer, then qJ from the
// closure.
int pinv_general(int I, int J, int K, const PinvEquations& eq, PinvCase route,
                 const PinvElimination& elim, double cand[][kJointSlots], MessageLog* log) {
  double roots[4];
  const int nRoots = general_roots(route, elim, roots, log);
  int n = 0;
  for (int r = 0; r < nRoots; r++) {
    const double qK = roots[r];
    Vec3 p, t;
    double cI, sI;
    if (!pinv_cramer(eq, qK, p, cI, sI)) continue;
    pinv_rows_cs(eq.tI, cI, sI, t);
    pinv_store(I, J, K, std::atan2(sI, cI), qK, p, t, cand[n++]);
  }
  return n;
}

int solve_case(int I, int J, int K, const PinvEquations& eq, PinvCase route,
               const PinvElimination& elim, double cand[][kJointSlots], MessageLog* log) {
  switch (route) {
    case kPinvAxis:
      return pinv_axis(I, J, K, eq, cand);
    case kPinvU0:
      return pinv_u0(I, J, K, eq, cand, log);
    case kPinvV0:
      return pinv_v0(I, J, K, eq, cand);
    case kPinvZi0:
      return pinv_zi0(I, J, K, eq, cand);
    case kPinvZk0:
      return pinv_zk0(I, J, K, eq, cand);
    case kPinvParK:
      return pinv_parK(I, J, K, eq, cand);
    case kPinvParI:
      return pinv_parI(I, J, K, eq, cand);
    default:
      return pinv_general(I, J, K, eq, route, elim, cand, log);
  }
}

bool finite_joints(int N, const double q[]) {
  for (int i = 1; i <= N; i++)
    if (!std::isfinite(q[i])) return false;
  return true;
}

// Whether candidate cand closes the chain: joint J turns p(qK) onto t(qI) to within 1e-6.
// Near-degenerate geometries can pass a case test of the route without quite having its
// property (a target very near joint I's axis makes every qI coefficient tiny), and that
// route's solutions then miss the target.
bool closes_chain(const PinvEquations& eq, int I, int J, int K, const double cand[]) {
  Vec3 p, t;
  pinv_rows(eq.pK, cand[K], p);
  pinv_rows(eq.tI, cand[I], t);
  const double c = std::cos(cand[J]), s = std::sin(cand[J]);
  const Vec3 gap = {c * p.x - s * p.y - t.x, s * p.x + c * p.y - t.y, p.z - t.z};
  return vnorm(gap) <= 1e-6;
}

// Drops candidates within 1e-4 (summed plain differences) of an earlier kept one, and those with a
// non-finite joint value or not closing the chain, compacting the rest in order; returns how
// many remain.
int keep_distinct(int N, int n, int I, int J, int K, const PinvEquations& eq,
                  double cand[][kJointSlots]) {
  bool keep[4];
  for (int b = 0; b < n; b++) {
    keep[b] = finite_joints(N, cand[b]) && closes_chain(eq, I, J, K, cand[b]);
    for (int a = 0; a < b; a++) {
      const double d = std::fabs(cand[a][I] - cand[b][I]) + std::fabs(cand[a][J] - cand[b][J]) +
                       std::fabs(cand[a][K] - cand[b][K]);
      if (keep[a] && d < 1e-4) keep[b] = false;
    }
  }
  int m = 0;
  for (int b = 0; b < n; b++) {
    if (!keep[b]) continue;
    if (m != b) qcopy(N, cand[b], cand[m]);
    m++;
  }
  return m;
}

}  // namespace
}  // namespace pinv_parts

void pinv_setup(const RobotModel& robot, char wristChar, const double q[], int I, int J, int K,
                const Vec3& rwLoc, const Vec3& rwG, const Mat3& EwG, PinvGeometry& geo) {
  const int N = robot.N;
  // The turned frames of the held joints the chain passes: joints I, J, K are the unknowns,
  // and the joints beyond the end point's frame do not move it.
  const int last = wristChar == 'R' ? N - 2 : N;
  Mat3 A[kJointSlots];
  A[0] = robot.Erel[0];
  for (int i = 1; i <= last; i++)
    if (i != I && i != J && i != K) mrotz(robot.Erel[i], q[i], A[i]);

  pinv_parts::chain_frame(robot, A, 0, I, geo.M1);
  pinv_parts::chain_point(robot, A, robot.Lloc[I], I - 1, 0, geo.P1);
  pinv_parts::chain_frame(robot, A, I + 1, J, geo.M2);
  pinv_parts::chain_point(robot, A, robot.Lloc[J], J - 1, I + 1, geo.P2);
  pinv_parts::chain_frame(robot, A, J + 1, K, geo.M3);
  pinv_parts::chain_point(robot, A, robot.Lloc[K], K - 1, J + 1, geo.P3);

  if (wristChar == 'R') {
    // The wrist centre, which the wrist joints do not move, goes to the goal's wrist centre.
    pinv_parts::chain_point(robot, A, robot.Lloc[N - 1], N - 2, K + 1, geo.endPt);
    const double back = robot.handLength + robot.Llen[N];
    geo.target = {rwG.x - back * EwG.m[2], rwG.y - back * EwG.m[5], rwG.z - back * EwG.m[8]};
  } else {
    pinv_parts::chain_point(robot, A, rwLoc, N, K + 1, geo.endPt);
    geo.target = rwG;
  }
}

int pinv4(const RobotModel& robot, const double q[], int I, int J, int K, const Vec3& rwLoc,
          const Vec3& rwG, const Mat3& EwG, double cand[4][kJointSlots], MessageLog* log) {
  const int N = robot.N;
  for (int k = 0; k < 4; k++) qcopy(N, q, cand[k]);
  PinvGeometry geo;
  pinv_setup(robot, robot.wristChar, q, I, J, K, rwLoc, rwG, EwG, geo);
  pinv_parts::PinvEquations eq;
  pinv_parts::pinv_equations(geo, eq);
  pinv_parts::PinvElimination elim;
  const pinv_parts::PinvCase route = pinv_parts::pinv_case(eq, elim);
  const int n = pinv_parts::solve_case(I, J, K, eq, route, elim, cand, log);
  if (!pinv_parts::pinv_needs_polish(eq, route))
    return pinv_parts::keep_distinct(N, n, I, J, K, eq, cand);
  // The general route (or a degenerate one taken for a nearly degenerate chain): every candidate
  // to the limit of double precision on the closure itself, then the branches the closed form
  // lost.
  for (int k = 0; k < n; k++) pinv_parts::pinv_polish(geo, I, J, K, cand[k]);
  const int kept = pinv_parts::keep_distinct(N, n, I, J, K, eq, cand);
  return pinv_parts::pinv_recover(geo, eq, route, elim, I, J, K, kept, cand);
}

int pinv(const RobotModel& robot, const double q[], int I, int J, int K, const Vec3& rwLoc,
         const Vec3& rwG, const Mat3& EwG, double qp[], MessageLog* log) {
  double cand[4][kJointSlots];
  const int n = pinv4(robot, q, I, J, K, rwLoc, rwG, EwG, cand, log);
  if (n == 0) return 0;
  int best = 0;
  double bestDist = joint_distance3(I, J, K, q, cand[0]);
  for (int k = 1; k < n; k++) {
    const double d = joint_distance3(I, J, K, q, cand[k]);
    if (d < bestDist) {
      best = k;
      bestDist = d;
    }
  }
  qcopy(robot.N, cand[best], qp);
  return 1;
}

int unique_angles(int n, const double in[], double out[]) {
  int m = 0;
  for (int k = 0; k < n; k++) {
    bool repeated = false;
    for (int i = 0; i < k; i++)
      if (std::fabs(angle_wrap_diff(in[i], in[k])) < 1e-6) repeated = true;
    if (!repeated) out[m++] = in[k];
  }
  return m;
}
