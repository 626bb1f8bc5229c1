#include "model/forward_kinematics.h"

#include <cmath>

#include "math/fast_sincos.h"

namespace {

// The chain of frame products from each joint's cosine c[i] and sine s[i].
void chain(const RobotModel& robot, const double c[], const double s[], Kinematics& kin) {
  const int N = robot.N;
  for (int i = 1; i <= N; i++) {
    mrotz_cs(robot.Erel[i], c[i], s[i], kin.Eloc[i]);
    mmul(kin.E[i - 1], kin.Eloc[i], kin.E[i]);
    mvmul(kin.E[i - 1], robot.Lloc[i], kin.L[i]);
    // A link of length 0 keeps its last direction.
    const double len = robot.Llen[i];
    if (len != 0) {
      const double inverse = 1 / len;
      kin.LU[i] = {kin.L[i].x * inverse, kin.L[i].y * inverse, kin.L[i].z * inverse};
    }
    vadd(kin.Jpos[i - 1], kin.L[i], kin.Jpos[i]);
  }
  Vec3 hand;
  mvmul(kin.E[N], robot.rwLoc, hand);
  vadd(kin.Jpos[N], hand, kin.rw);
  mmul(kin.E[N], robot.EwLoc, kin.Ew);
}

// The one nonzero entry of (v0, v1, v2), or of a zero vector when zero is allowed; false when
// there is none such.
bool axis_entry(double v0, double v1, double v2, bool zero, AxisEntry& out) {
  const double v[3] = {v0, v1, v2};
  int count = 0;
  out = {0, 0};
  for (int k = 0; k < 3; k++) {
    if (v[k] == 0) continue;
    out = {k, v[k]};
    count++;
  }
  return count == 1 || (zero && count == 0);
}

bool vector_entry(const Vec3& v, AxisEntry& out) {
  return axis_entry(v.x, v.y, v.z, true, out);
}

bool column_entry(const Mat3& M, int j, AxisEntry& out) {
  return axis_entry(M.m[j], M.m[3 + j], M.m[6 + j], false, out);
}

// M times the vector of the one entry e: column e.row of M, weighted.
Vec3 times_entry(const Mat3& M, const AxisEntry& e) {
  const double* column = &M.m[e.row];
  return {e.value * column[0], e.value * column[3], e.value * column[6]};
}

// M times the matrix of the three columns' entries.
Mat3 times_entries(const Mat3& M, const AxisEntry columns[3]) {
  const Vec3 x = times_entry(M, columns[0]), y = times_entry(M, columns[1]),
             z = times_entry(M, columns[2]);
  return {{x.x, y.x, z.x, x.y, y.y, z.y, x.z, y.z, z.z}};
}

}  // namespace

void forward_kinematics(const RobotModel& robot, const double q[], Kinematics& kin) {
  // The cosines and sines first: their calls then overlap the chain of frame products.
  double c[kJointSlots], s[kJointSlots];
  for (int i = 1; i <= robot.N; i++) {
    c[i] = std::cos(q[i]);
    s[i] = std::sin(q[i]);
  }
  chain(robot, c, s, kin);
}

void quarter_turns(const RobotModel& robot, QuarterTurns& out) {
  bool holds = vector_entry(robot.rwLoc, out.hand);
  for (int j = 0; j < 3; j++) holds = column_entry(robot.EwLoc, j, out.work[j]) && holds;
  for (int i = 1; i <= robot.N; i++) {
    for (int j = 0; j < 3; j++) holds = column_entry(robot.Erel[i], j, out.frame[i][j]) && holds;
    holds = vector_entry(robot.Lloc[i], out.link[i]) && holds;
  }
  out.holds = holds;
}

void forward_kinematics_fast(const RobotModel& robot, const QuarterTurns& turns, const double q[],
                             Kinematics& kin) {
  const int N = robot.N;
  double c[kJointSlots], s[kJointSlots];
  for (int i = 1; i <= N; i++) fast_sincos(q[i], s[i], c[i]);
  if (!turns.holds) {
    chain(robot, c, s, kin);
    return;
  }
  for (int i = 1; i <= N; i++) {
    const Mat3& P = kin.E[i - 1];
    const Vec3 link = times_entry(P, turns.link[i]);
    vadd(kin.Jpos[i - 1], link, kin.Jpos[i]);
    mrotz_cs(times_entries(P, turns.frame[i]), c[i], s[i], kin.E[i]);  // P Erel[i] Rz(q[i])
  }
  const Vec3 hand = times_entry(kin.E[N], turns.hand);
  vadd(kin.Jpos[N], hand, kin.rw);
  kin.Ew = times_entries(kin.E[N], turns.work);
}

void joint_positions(const RobotModel& robot, const double q[], int upTo, Mat3 E[], Vec3 Jpos[]) {
  E[0] = robot.Erel[0];
  Jpos[0] = robot.Lloc[0];
  for (int i = 1; i <= upTo; i++) {
    Vec3 link;
    mvmul(E[i - 1], robot.Lloc[i], link);
    vadd(Jpos[i - 1], link, Jpos[i]);
    if (i == upTo) break;
    Mat3 local;
    mrotz(robot.Erel[i], q[i], local);
    mmul(E[i - 1], local, E[i]);
  }
}
