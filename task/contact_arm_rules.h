// The rules that choose the arm expected to touch the wall edge (MethodBState::Mcont) from the
// wall's horizontal distance. Each situation keeps its own rule, side by side here; the solvers
// only receive the values.
#pragma once

#include "model/state.h"

// The contact arm at start-up.
constexpr int kStartupContactArm = 4;
// The wall dialog's answer for a wall no arm reaches.
constexpr int kNoContactArm = 10;
// The last contact arm the wall dialog takes: a wall only arm 6 or none reaches is refused.
constexpr int kLastWallArm = 5;

// Robot choice and the start of Method B: the arm (2..N-1) whose height range above joint 2 of
// the zero pose spans the distance from that joint to the wall edge's lower end rh; Mcont is kept
// when none does.
void guess_contact_arm(const RobotModel& robot, const Vec3& rh, int& Mcont);

// Wall dialog: the arm (2..5 accepted) whose cumulative reach from joint 2 first covers the
// distance from joint 1 of the zero pose to rh, 6 for the last arm, or kNoContactArm when none
// does (so also for a distance that is no number).
int wall_dialog_contact_arm(const RobotModel& robot, const Vec3& rh);

// The wall dialog's test of the wall edge whose lower end is rh: whether an arm 2..kLastWallArm
// reaches it (wall_dialog_contact_arm). Writes that arm to Mcont when one does, else leaves it.
bool wall_accepted(const RobotModel& robot, const Vec3& rh, int& Mcont);

// A Method B step: an arm crossing the wall (mc != 0) comes first, else the nearest arm m0.
int method_b_contact_arm(int m0, int mc, int Mcont);
