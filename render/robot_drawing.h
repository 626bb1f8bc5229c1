// The robot: pedestal, link tubes with balls, joint cylinders coloured by axis letter, the stem
// to the hand and the held workpiece, built from the drawing primitives.
#pragma once

#include "math/vecmat.h"
#include "model/state.h"

// Draws the robot in pose q (radians, q[1..N]) standing on the base point kin.Jpos[0]. Runs
// forward kinematics of q into kin.
void draw_robot(const RobotModel& robot, const double q[], Kinematics& kin);

// Pedestal of radius 0.15 and height 0.1 standing on p along the unit vector axis.
void draw_base(const Vec3& axis, const Vec3& p);
// Link tube of the given radius from a to b, and a ball of that radius at b.
void draw_link(double radius, const Vec3& a, const Vec3& b);
// Cylinder 0.22 long centred on p along the z axis of the joint frame Ej: blue for a twist
// joint (letter 'R'), red for any other letter.
void draw_joint(char letter, const Mat3& Ej, const Vec3& p);
// The held workpiece of the robot (blue, black edges) at rw with orientation Ew.
void draw_hand_work(const RobotModel& robot, const Mat3& Ew, const Vec3& rw);
