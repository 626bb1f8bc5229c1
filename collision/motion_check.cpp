#include "collision/motion_check.h"

#include <cmath>

void joint_reach(const RobotModel& robot, double R[kJointSlots]) {
  const double halfDiagonal = 0.5 * std::sqrt(robot.workSize[0] * robot.workSize[0] +
                                              robot.workSize[1] * robot.workSize[1] +
                                              robot.workSize[2] * robot.workSize[2]);
  double beyond = robot.handLength + std::fmax(robot.linkRadius, halfDiagonal);
  for (int i = 0; i < kJointSlots; i++) R[i] = 0;
  for (int i = robot.N; i >= 1; i--) {
    R[i] = beyond;
    beyond += robot.Llen[i];
  }
}

int motion_check(const RobotModel& robot, const Workcell& cell, const double q0[],
                 const double q1[], Kinematics& kin, MotionCheck& out) {
  double R[kJointSlots], dq[kJointSlots] = {}, q[kJointSlots] = {};
  joint_reach(robot, R);
  double speed = 0;  // bound on any point's speed per unit of t
  for (int i = 1; i <= robot.N; i++) {
    dq[i] = q1[i] - q0[i];
    speed += std::fabs(dq[i]) * R[i];
  }
  out.collides = 0;
  out.firstCollision = -1;
  out.minWall = out.minFloor = INFINITY;
  out.poses = 0;
  double t = 0;
  if (!(speed < INFINITY)) {  // a joint value that is no number
    for (int i = 1; i <= robot.N; i++) q[i] = q1[i];
    pose_check(robot, cell, q, kin, out.worst);
    out.collides = 1;
    out.firstCollision = 0;
    return 1;
  }
  for (;;) {
    for (int i = 1; i <= robot.N; i++) q[i] = t == 1 ? q1[i] : q0[i] + t * dq[i];
    WorkcellClearance c;
    pose_check(robot, cell, q, kin, c);
    out.poses++;
    out.minWall = std::fmin(out.minWall, c.wall);
    out.minFloor = std::fmin(out.minFloor, c.floor);
    if (out.poses == 1 || !(c.least >= out.worst.least)) out.worst = c;
    const double advance = c.least + kWorkcellTolerance;
    if (!c.valid || !(advance >= kMotionMinAdvance) || out.poses >= kMotionMaxPoses) {
      out.collides = 1;
      out.firstCollision = t;
      out.worst = c;
      return 1;
    }
    if (t == 1 || !(speed > 0)) return 0;
    t = std::fmin(1.0, t + advance / speed);
  }
}
