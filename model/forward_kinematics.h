// Forward kinematics of a robot model.
#pragma once

#include "model/state.h"

// World pose of every joint frame, link and the work point for joint vector q (radians,
// q[1..N]). Writes kin (Eloc, E, Jpos, L, LU, rw, Ew); the base frame kin.E[0] and base point
// kin.Jpos[0] are read, never written, so a caller may move the whole robot.
void forward_kinematics(const RobotModel& robot, const double q[], Kinematics& kin);

// The same from sines and cosines within 2.5 ulps (math/fast_sincos.h), a little faster: for the
// certified motion check, whose tolerance dwarfs the difference.
void forward_kinematics_fast(const RobotModel& robot, const double q[], Kinematics& kin);

// Frames E[0..upTo-1] and joint positions Jpos[0..upTo] of pose q (upTo <= N) from the model's
// zero-pose base, as forward_kinematics finds them, and nothing else: for callers that need only
// the places of the first joints.
void joint_positions(const RobotModel& robot, const double q[], int upTo, Mat3 E[], Vec3 Jpos[]);
