// The state the core tests work on: one robot model, kinematic state and workcell per test
// program (the program's own instances live in app/), and the set-up most tests start from.
#pragma once

#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

inline RobotModel robot;
inline Kinematics kin;
inline Workcell cell;

// The model of robot type `type` in `robot`, with the base of `kin` at the origin.
inline void setup_robot(int type) {
  robot_setup(type, robot);
  kin = Kinematics(robot);
}

// Puts the goal of `cell` at the work pose of q, so that q itself solves every inverse problem.
inline void goal_from_pose(const double q[]) {
  forward_kinematics(robot, q, kin);
  cell.rwG = kin.rw;
  cell.EwG = kin.Ew;
}
