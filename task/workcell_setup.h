// The workcell every scene starts from and the goal dialog's reach test, shared by the window's
// scene, the command line's scenes and the feasibility map.
#pragma once

#include "math/vecmat.h"
#include "model/scene_defaults.h"
#include "model/state.h"

// The goal orientation of every scene: the workpiece put down from above.
constexpr Mat3 kGoalOrientation = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};

// The start-up workcell of robot: the goal (kDefaultGoalX, kDefaultGoalY) with the workpiece's
// underside at kDefaultGoalUnderside in the goal orientation, the wall edge at (0, kDefaultWallY,
// 0), and no boxes.
void start_workcell(const RobotModel& robot, Workcell& cell);

// The workpiece's centre (the goal rwG) when it is put down from above at (x, y) with its
// underside at height underside: how the dialogs, the command line, the workcell file and the map
// take a goal.
Vec3 goal_centre(const RobotModel& robot, double x, double y, double underside);

// The height of the workpiece's underside for the goal centre rwG (goal_centre undone), as the
// settings and JSON show a goal.
double goal_underside(const RobotModel& robot, const Vec3& rwG);

// The wall plate from the lower end rh of its edge: rh, rh + (-s, 0, 0), rh + (-s, 0, s),
// rh + (0, 0, s) for the plate's side s: a square in the plane y = rh.y reaching towards -x and
// upwards, as the window and the film draw it.
void wall_plate_corners(const Vec3& rh, Vec3 corners[4]);

// The reach test of a goal rwG, EwG for the robot in its zero pose at the origin: LL1, the
// distance from joint 2 (types whose joint 1 turns about the vertical axis) or joint 1 to the
// point joint N must reach, and LL2, the length of the links beyond that joint. Returns whether
// the goal is in reach, LL1 <= LL2 (false for a distance that is no number).
bool goal_reach(const RobotModel& robot, const Mat3& EwG, const Vec3& rwG, double& LL1,
                double& LL2);
