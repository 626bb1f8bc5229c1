// The rules that choose the arm expected to touch the wall edge (Workcell::Mcont) and measure the
// wall's horizontal distance (Workcell::wallDist). Each situation keeps its own rule, side by
// side here; the solvers only receive the values.
#pragma once

#include "model/state.h"

// Start-up: the wall distance from the origin, arm 4.
void startup_contact_arm(Workcell& cell);

// Robot choice and the start of Method B: the distance from joint 2 of the zero pose, and the arm
// (2..N-1) whose height range above joint 2 spans it; Mcont is kept when none does.
void guess_contact_arm(const RobotModel& robot, Workcell& cell);

// Wall dialog: the distance from joint 1 of the zero pose, and the arm (2..5 accepted) whose
// cumulative reach from joint 2 first covers it, 6 for the last arm, or 10 when none does (so also
// for a distance that is no number).
void wall_dialog_contact_arm(const RobotModel& robot, Workcell& cell);

// A Method B step: an arm crossing the wall (mc != 0) comes first, else the nearest arm m0.
int method_b_contact_arm(int m0, int mc, int Mcont);
