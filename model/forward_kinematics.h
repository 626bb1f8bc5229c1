// Forward kinematics of a robot model.
#pragma once

#include "model/state.h"

// World pose of every joint frame, link and the work point for joint vector q (radians,
// q[1..N]). Writes kin (Eloc, E, Jpos, L, LU, rw, Ew); the base frame kin.E[0] and base point
// kin.Jpos[0] are read, never written, so a caller may move the whole robot.
void forward_kinematics(const RobotModel& robot, const double q[], Kinematics& kin);

// Puts the base of kin at the model's zero-pose base: frame E0[0], point Jpos0[0].
void kinematics_at_base(const RobotModel& robot, Kinematics& kin);
