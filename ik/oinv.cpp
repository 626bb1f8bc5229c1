#include "ik/oinv.h"

#include <cmath>
#include <initializer_list>

#include "math/angles.h"

namespace {

// The rotation about z that turns the direction of e's (x, y) onto that of p's.
double turn_onto(const Vec3& e, const Vec3& p) {
  return std::atan2(e.x * p.y - e.y * p.x, e.x * p.x + e.y * p.y);
}

void scale(const Vec3& a, double s, Vec3& out) {
  out = {a.x * s, a.y * s, a.z * s};
}

// Joints N-1 and N for a given joint N-2 value q5, with F the world frame of joint N-2 before
// its rotation and T the goal frame of joint N: N-1 turns axis N onto T's z axis, N then turns
// joint N's x axis onto T's. Writes (q5, q6, q7) into wrist.
void wrist_after(const RobotModel& robot, const Mat3& F, double q5, const Mat3& T,
                 double wrist[3]) {
  const int N = robot.N;
  const Vec3 tx = {T.m[0], T.m[3], T.m[6]}, ty = {T.m[1], T.m[4], T.m[7]};
  const Vec3 tz = {T.m[2], T.m[5], T.m[8]};
  const Mat3 &E6 = robot.Erel[N - 1], &E7 = robot.Erel[N];
  Mat3 turned, H6, H7;
  mrotz(F, q5, turned);
  mmul(turned, E6, H6);
  Vec3 p;
  mtvmul(H6, tz, p);
  const double q6 = turn_onto({E7.m[2], E7.m[5], E7.m[8]}, p);
  mrotz(H6, q6, turned);
  mmul(turned, E7, H7);
  const Vec3 hx = {H7.m[0], H7.m[3], H7.m[6]}, hy = {H7.m[1], H7.m[4], H7.m[7]};
  const double a = vdot(hx, tx), b = vdot(hy, tx);
  double q7 = std::atan2(b, a);
  if (a == 0 && b == 0) q7 = std::atan2(-vdot(hx, ty), vdot(hy, ty));
  wrist[0] = q5;
  wrist[1] = q6;
  wrist[2] = q7;
}

// Writes the wrist values into candidate cand (joints N-2..N) unless one is not finite;
// returns 1 when written.
int store_wrist(int N, const double wrist[3], double cand[]) {
  for (int k = 0; k < 3; k++)
    if (!std::isfinite(wrist[k])) return 0;
  for (int k = 0; k < 3; k++) cand[N - 2 + k] = wrap_once(wrist[k]);
  return 1;
}

}  // namespace

int oinv2(const RobotModel& robot, const double q[], const Mat3& EwLoc, const Mat3& EwG,
          double cand[2][kJointSlots]) {
  const int N = robot.N;
  qcopy(N, q, cand[0]);
  qcopy(N, q, cand[1]);

  Mat3 F = robot.Erel[0];
  for (int i = 1; i <= N - 3; i++) {
    Mat3 local, next;
    mrotz(robot.Erel[i], q[i], local);
    mmul(F, local, next);
    F = next;
  }
  Mat3 before = F;
  mmul(before, robot.Erel[N - 2], F);
  const Vec3 z5 = {F.m[2], F.m[5], F.m[8]};

  Mat3 EwLocT, T;
  mtrans(EwLoc, EwLocT);
  mmul(EwG, EwLocT, T);
  const Vec3 tz = {T.m[2], T.m[5], T.m[8]};

  const double alpha = robot.Erel[N - 1].m[8], beta = robot.Erel[N].m[8];
  Vec3 w;
  vcross(z5, tz, w);
  const double nw = vdot(w, w);
  double wrist[3];
  // Wrist singularity, axis N-2 along the goal axis: only the sum of joints N-2 and N counts.
  // Joint N-2 keeps its value (reduced into [-PI, PI], which wrapping once does not do for a
  // start far beyond a turn), N-1 turns axis N onto the goal axis and N the x axes together.
  // The middle axis lies at angle alpha from both axes, which needs beta = alpha (goal axis
  // along z5) or beta = -alpha (opposite), and a middle axis not along them (|beta| < 1).
  if (nw == 0) {
    const double side = vdot(z5, tz) < 0 ? -1.0 : 1.0;
    if (beta != side * alpha || std::fabs(beta) == 1) return 0;
    wrist_after(robot, F, wrap_remainder(q[N - 2]), T, wrist);
    return store_wrist(N, wrist, cand[0]);
  }
  scale(w, 1 / std::sqrt(nw), w);

  // Middle axis z6 = sphi * w + cphi * v, with z6 . z5 = alpha and z6 . tz = beta.
  double cphi = 0, sphi = 1;
  Vec3 v = {0, 0, 0};
  if (alpha != 0 || beta != 0) {
    Vec3 a, b, u;
    scale(z5, beta, a);
    scale(tz, alpha, b);
    vsub(a, b, u);
    const double nu = vdot(u, u);
    if (nu == 0) return 0;
    scale(u, 1 / std::sqrt(nu), u);
    vcross(w, u, v);
    cphi = std::sqrt(nu / nw);
    if (std::fabs(cphi) > 1) return 0;  // the goal orientation is out of this wrist's reach
    sphi = std::sqrt(1 - cphi * cphi);
  }

  const Vec3 e6 = {robot.Erel[N - 1].m[2], robot.Erel[N - 1].m[5], robot.Erel[N - 1].m[8]};
  int n = 0;
  for (double sign : {1.0, -1.0}) {
    Vec3 a, b, z6, p;
    scale(w, sign * sphi, a);
    scale(v, cphi, b);
    vadd(a, b, z6);
    mtvmul(F, z6, p);
    wrist_after(robot, F, turn_onto(e6, p), T, wrist);
    n += store_wrist(N, wrist, cand[n]);
  }
  return n;
}

int oinv(const RobotModel& robot, const double q[], const Mat3& EwLoc, const Mat3& EwG,
         double qout[]) {
  const int N = robot.N;
  double cand[2][kJointSlots];
  const int n = oinv2(robot, q, EwLoc, EwG, cand);
  if (n == 0) return 0;
  int best = 0;
  double bestDist = 1000;
  for (int k = 0; k < n; k++) {
    const double d = joint_distance3(N - 2, N - 1, N, q, cand[k]);
    if (d < bestDist) {
      best = k;
      bestDist = d;
    }
  }
  qcopy(N, cand[best], qout);
  return 1;
}
