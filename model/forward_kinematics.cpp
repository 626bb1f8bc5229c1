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

void forward_kinematics_fast(const RobotModel& robot, const double q[], Kinematics& kin) {
  double c[kJointSlots], s[kJointSlots];
  for (int i = 1; i <= robot.N; i++) fast_sincos(q[i], s[i], c[i]);
  chain(robot, c, s, kin);
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
