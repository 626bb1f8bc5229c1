#include "task/workcell_setup.h"

namespace {

// Whether frame A equals frame B: the row differences' lengths sum below 0.0001.
bool same_frame(const Mat3& A, const Mat3& B) {
  double sum = 0;
  for (int row = 0; row < 3; row++) {
    const Vec3 diff = {A.m[3 * row] - B.m[3 * row], A.m[3 * row + 1] - B.m[3 * row + 1],
                       A.m[3 * row + 2] - B.m[3 * row + 2]};
    sum += vnorm(diff);
  }
  return sum < 0.0001;
}

}  // namespace

void start_workcell(const RobotModel& robot, Workcell& cell) {
  cell.rwG = goal_centre(robot, kDefaultGoalX, kDefaultGoalY, kDefaultGoalUnderside);
  cell.EwG = kGoalOrientation;
  cell.rh = {0, kDefaultWallY, 0};
  cell.obstacleCount = 0;
}

Vec3 goal_centre(const RobotModel& robot, double x, double y, double underside) {
  return {x, y, underside + robot.workSize[2] / 2};
}

double goal_underside(const RobotModel& robot, const Vec3& rwG) {
  return rwG.z - robot.workSize[2] / 2;
}

void wall_plate_corners(const Vec3& rh, Vec3 corners[4]) {
  corners[0] = rh;
  corners[1] = {rh.x - kWallPlateSize, rh.y, rh.z};
  corners[2] = {rh.x - kWallPlateSize, rh.y, rh.z + kWallPlateSize};
  corners[3] = {rh.x, rh.y, rh.z + kWallPlateSize};
}

bool goal_reach(const RobotModel& robot, const Mat3& EwG, const Vec3& rwG, double& LL1,
                double& LL2) {
  const double h = robot.handLength;
  const Vec3 pw = {rwG.x - h * EwG.m[2], rwG.y - h * EwG.m[5], rwG.z - h * EwG.m[8]};
  // Joint 1 turning about the base's vertical axis adds no reach: measure from joint 2.
  const int from = same_frame(robot.Erel[1], robot.Erel[0]) ? 2 : 1;
  Vec3 rel;
  vsub(pw, robot.Jpos0[from], rel);
  LL1 = vnorm(rel);
  LL2 = 0;
  for (int i = from + 1; i <= robot.N; i++) LL2 += robot.Llen[i];
  return LL1 <= LL2;
}
