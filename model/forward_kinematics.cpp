#include "model/forward_kinematics.h"

void forward_kinematics(const RobotModel& robot, const double q[], Kinematics& kin) {
  const int N = robot.N;
  for (int i = 1; i <= N; i++) mrotz(robot.Erel[i], q[i], kin.Eloc[i]);
  for (int i = 1; i <= N; i++) mmul(kin.E[i - 1], kin.Eloc[i], kin.E[i]);
  for (int i = 1; i <= N; i++) {
    mvmul(kin.E[i - 1], robot.Lloc[i], kin.L[i]);
    // A link of length 0 keeps its last direction.
    const double len = robot.Llen[i];
    if (len != 0) kin.LU[i] = {kin.L[i].x / len, kin.L[i].y / len, kin.L[i].z / len};
    vadd(kin.Jpos[i - 1], kin.L[i], kin.Jpos[i]);
  }
  Vec3 hand;
  mvmul(kin.E[N], robot.rwLoc, hand);
  vadd(kin.Jpos[N], hand, kin.rw);
  mmul(kin.E[N], robot.EwLoc, kin.Ew);
}

void kinematics_at_base(const RobotModel& robot, Kinematics& kin) {
  kin.Eloc[0] = robot.E0[0];
  kin.E[0] = robot.E0[0];
  kin.Jpos[0] = robot.Jpos0[0];
}
