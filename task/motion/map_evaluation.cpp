#include "task/motion/map_evaluation.h"

#include "contact/placement.h"
#include "model/robot_catalogue.h"
#include "task/contact_arm_rules.h"
#include "task/feasibility_map.h"
#include "task/method_b_run.h"
#include "task/motion/motion_choice.h"

namespace {

MapClass placement_class(const PlacementResult& result) {
  if (result.touchCount > 0) return kMapTouch;
  if (result.clearCount > 0) return kMapClear;
  if (result.status == kPlacementWallCutsAll || result.status == kPlacementWorkpieceCuts ||
      result.status == kPlacementUnverified)
    return kMapBlocked;
  return kMapUnreachable;
}

// Motions in a map cell: the first few listed poses only, each planned within a budget of checks
// rather than of time, so that a map is the same on any machine and any number of threads.
constexpr long kMapPlanPoses = 100000;
constexpr int kMapMotionPoses = 4;

MapMotion map_motion(const RobotModel& robot, const Workcell& cell,
                     const PlacementResult& placements) {
  if (placements.count == 0) return kMapMotionUnset;
  PlanRequest request;
  request.maxPoseChecks = kMapPlanPoses;
  request.timeLimit = 60;             // a guard only: the check budget ends the search first
  request.measureClearances = false;  // a map cell keeps the motion's class alone
  MotionChoice choice;
  switch (motion_to_placements(robot, cell, robot.qInit, placements, request, choice,
                               kMapMotionPoses)) {
    case kMotionStraight:
      return kMapMotionStraight;
    case kMotionPlanned:
      return kMapMotionPlanned;
    case kMotionNone:
      break;
  }
  return kMapMotionNone;
}

// Per-thread workspaces: large, so kept off the stack and built once per thread.
struct CellWorkspace {
  RobotModel robot;
  Kinematics kin;
  PlacementResult placements;
  MethodBState methodB;
  Workcell cell;
};

}  // namespace

void evaluate_map_cell(int type, const Workcell& scene, double x, double y, MapCell& out) {
  thread_local CellWorkspace w;
  // A thread's new workspace is zeroed: its model is of no type yet.
  if (w.robot.type != type) robot_setup(type, w.robot);
  w.kin = Kinematics(w.robot);
  Workcell& cell = w.cell;
  cell = scene;
  set_floor_goal(w.robot, x, y, cell);
  const PlacementOptions options;
  placement_solve(w.robot, cell, w.robot.qInit, options, w.placements);
  out.cls = placement_class(w.placements);
  out.touchCount = w.placements.touchCount;
  out.clearCount = w.placements.clearCount;
  out.motion = map_motion(w.robot, cell, w.placements);

  // As a user would: the wall dialog's contact arm, then the 'B' key's guess.
  w.methodB = {};
  w.methodB.Mcont = wall_dialog_contact_arm(w.robot, cell.rh);
  guess_contact_arm(w.robot, cell.rh, w.methodB.Mcont);
  method_b_reset(w.methodB);
  MethodBRun run;
  method_b_run(w.robot, cell, kMethodBMaxSteps, nullptr, w.kin, w.methodB, run);
  out.methodBFinal = run.final;
  out.methodBSteps = run.steps;
}
