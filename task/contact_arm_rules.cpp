#include "task/contact_arm_rules.h"

#include <cmath>

namespace {

double horizontal_distance(const Vec3& a, const Vec3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}

}  // namespace

void startup_contact_arm(Workcell& cell) {
  cell.wallDist = std::sqrt(cell.rh.x * cell.rh.x + cell.rh.y * cell.rh.y);
  cell.Mcont = 4;
}

void guess_contact_arm(const RobotModel& robot, Workcell& cell) {
  const Vec3& joint2 = robot.Jpos0[2];
  cell.wallDist = horizontal_distance(cell.rh, joint2);
  for (int i = 2; i <= robot.N - 1; i++) {
    if (robot.Jpos0[i].z - joint2.z < cell.wallDist &&
        robot.Jpos0[i + 1].z - joint2.z >= cell.wallDist)
      cell.Mcont = i;
  }
}

void wall_dialog_contact_arm(const RobotModel& robot, Workcell& cell) {
  cell.wallDist = horizontal_distance(cell.rh, robot.Jpos0[1]);
  double reach = 0;
  for (int i = 2; i <= robot.N - 1; i++) {
    reach += robot.Llen[i + 1];
    if (cell.wallDist <= reach) {
      cell.Mcont = i;
      return;
    }
  }
  cell.Mcont = 10;
}

int method_b_contact_arm(int m0, int mc, int Mcont) {
  if (mc != 0) return mc;
  if (m0 != Mcont) return m0;
  return Mcont;
}
