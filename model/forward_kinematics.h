// Forward kinematics of the current robot model.
#pragma once

// World pose of every joint frame, link and the work point for joint vector q (radians,
// q[1..N]). Overwrites the kinematic state `kin` (Eloc, E, Jpos, L, LU, rw, Ew); the base frame
// E[0] and base point Jpos[0] are read, never written, so a caller may move the whole robot.
void forward_kinematics(const double q[]);
