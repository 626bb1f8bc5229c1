// The four 7-joint robot types and the constant link data derived from their zero pose.
#pragma once

#include "math/vecmat.h"
#include "model/state.h"

// Builds the robot model of type 2, 3 or 4 (any other value: type 1) into robot, with its type
// and its initial pose.
void robot_setup(int type, RobotModel& robot);

// Derives the link data from the zero pose (joint frames E0, positions Jpos0, work pose rw0,
// Ew0): frame i relative to frame i-1, links in the parent frame, their lengths and unit
// directions (zero for a link of length 0), and the work pose seen from joint N.
void link_geometry(int N, const Vec3 Jpos0[], const Mat3 E0[], const Vec3& rw0, const Mat3& Ew0,
                   Mat3 Erel[], Vec3 Lloc[], Vec3 LlocU[], double Llen[], Vec3& rwLoc, Mat3& EwLoc,
                   double& handLength);
