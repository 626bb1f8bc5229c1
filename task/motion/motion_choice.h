// The task's choice of motion: a collision-free motion from the initial pose to a goal pose, the
// straight joint line when the workcell certifies it, else a planned path; over the complete
// solver's poses, the first in rank order that has one.
#pragma once

#include "contact/placement.h"
#include "planning/motion_plan.h"

// How the motion was found.
enum MotionHow {
  kMotionStraight,  // the straight joint line (plain differences) is free: a two-point path
  kMotionPlanned,   // planned (planning/motion_plan.h)
  kMotionNone,      // no motion: see plan.status, or no valid goal pose
};

struct MotionChoice {
  MotionHow how = kMotionNone;
  int index = -1;        // the placement pose chosen (0-based), -1 for a pose given directly
  MotionCheck straight;  // the straight line's check to the chosen (or last tried) pose
  PlanResult plan;       // the path (both ways), its length and the planner's figures
};

// To goal pose qGoal from qInit: the straight line when free, else planned with `request`
// (whose start and goal are set here). Returns out.how.
MotionHow motion_to_pose(const RobotModel& robot, const Workcell& cell, const double qInit[],
                         const double qGoal[], const PlanRequest& request, MotionChoice& out);

// Over the poses of `placements` in rank order: the first whose straight line is free; when none
// is, planned to each in turn (each within request.timeLimit), the first success; the first
// maxPoses poses only. out.index names the pose; out.straight is the check of the straight line
// to it (to the first pose when none has a motion), each line checked once. kMotionNone when
// there is no pose or no motion to any.
MotionHow motion_to_placements(const RobotModel& robot, const Workcell& cell, const double qInit[],
                               const PlacementResult& placements, const PlanRequest& request,
                               MotionChoice& out, int maxPoses = kMaxPlacements);
