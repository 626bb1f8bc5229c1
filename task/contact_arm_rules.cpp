#include "task/contact_arm_rules.h"

#include <cmath>

namespace {

double horizontal_distance(const Vec3& a, const Vec3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}

}  // namespace

void guess_contact_arm(const RobotModel& robot, const Vec3& rh, int& Mcont) {
  const Vec3& joint2 = robot.Jpos0[2];
  const double wallDist = horizontal_distance(rh, joint2);
  for (int i = 2; i <= robot.N - 1; i++) {
    if (robot.Jpos0[i].z - joint2.z < wallDist && robot.Jpos0[i + 1].z - joint2.z >= wallDist)
      Mcont = i;
  }
}

int wall_dialog_contact_arm(const RobotModel& robot, const Vec3& rh) {
  const double wallDist = horizontal_distance(rh, robot.Jpos0[1]);
  double reach = 0;
  for (int i = 2; i <= robot.N - 1; i++) {
    reach += robot.Llen[i + 1];
    if (wallDist <= reach) return i;
  }
  return kNoContactArm;
}

bool wall_accepted(const RobotModel& robot, const Vec3& rh, int& Mcont) {
  const int arm = wall_dialog_contact_arm(robot, rh);
  if (arm > kLastWallArm) return false;
  Mcont = arm;
  return true;
}

int method_b_contact_arm(int m0, int mc, int Mcont) {
  if (mc != 0) return mc;
  if (m0 != Mcont) return m0;
  return Mcont;
}
