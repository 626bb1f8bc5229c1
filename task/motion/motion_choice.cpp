#include "task/motion/motion_choice.h"

#include <algorithm>
#include <cmath>

#include "planning/joint_path.h"

namespace {

JointVector joint_vector(int N, const double q[]) {
  JointVector v{};
  for (int i = 1; i <= N; i++) v[i] = q[i];
  return v;
}

// The straight line from qInit to qGoal as the chosen motion when the workcell certifies it.
bool straight_free(const RobotModel& robot, const Workcell& cell, const double qInit[],
                   const double qGoal[], Kinematics& kin, MotionChoice& out) {
  motion_check(robot, cell, qInit, qGoal, kin, out.straight);
  if (out.straight.collides) return false;
  out.how = kMotionStraight;
  out.plan = PlanResult();
  out.plan.status = kPlanFound;
  out.plan.path = {joint_vector(robot.N, qInit), joint_vector(robot.N, qGoal)};
  out.plan.length = path_length(robot.N, out.plan.path);
  // The goal pose too, which the check's last step covers without evaluating it.
  WorkcellClearance end;
  pose_check(robot, cell, qGoal, kin, end);
  out.plan.minWall = std::fmin(out.straight.minWall, end.wall);
  out.plan.minFloor = std::fmin(out.straight.minFloor, end.floor);
  out.plan.minObstacle = std::fmin(out.straight.minObstacle, end.obstacle);
  return true;
}

bool planned(const RobotModel& robot, const Workcell& cell, const double qInit[],
             const double qGoal[], const PlanRequest& request, PlanWorkspace& workspace,
             MotionChoice& out) {
  PlanRequest r = request;
  r.start = joint_vector(robot.N, qInit);
  r.goal = joint_vector(robot.N, qGoal);
  if (plan_motion(robot, cell, r, workspace, out.plan) != kPlanFound) return false;
  out.how = kMotionPlanned;
  return true;
}

}  // namespace

MotionHow motion_to_pose(const RobotModel& robot, const Workcell& cell, const double qInit[],
                         const double qGoal[], const PlanRequest& request, MotionChoice& out) {
  out = MotionChoice();
  Kinematics kin(robot);
  if (straight_free(robot, cell, qInit, qGoal, kin, out)) return out.how;
  PlanWorkspace workspace;
  planned(robot, cell, qInit, qGoal, request, workspace, out);
  return out.how;
}

MotionHow motion_to_placements(const RobotModel& robot, const Workcell& cell, const double qInit[],
                               const PlacementResult& placements, const PlanRequest& request,
                               MotionChoice& out, int maxPoses) {
  out = MotionChoice();
  Kinematics kin(robot);
  const int count = std::min(placements.count, maxPoses);
  // Each pose's straight-line check, kept for the planned motion's report.
  MotionCheck straight[kMaxPlacements];
  for (int k = 0; k < count; k++) {
    if (straight_free(robot, cell, qInit, placements.poses[k].q, kin, out)) {
      out.index = k;
      return out.how;
    }
    straight[k] = out.straight;
  }
  PlanWorkspace workspace;  // one for the poses' plans
  for (int k = 0; k < count; k++) {
    if (planned(robot, cell, qInit, placements.poses[k].q, request, workspace, out)) {
      out.index = k;
      out.straight = straight[k];
      return out.how;
    }
  }
  if (count > 0) out.straight = straight[0];
  return out.how;
}
