// Closed-form orientation inverse kinematics of the three-joint wrist N-2, N-1, N: the wrist
// turns the work into a goal orientation while joints 1..N-3 stay as they are.
#pragma once

#include "math/vecmat.h"
#include "model/state.h"

// Wrist solutions (radians, in [-PI, PI]) that give the work the world orientation EwG, where
// EwLoc is the work orientation in joint N's frame. cand[k] is q with joints N-2, N-1, N
// replaced. Returns 2 (the two sides of the middle axis), 1 at the wrist singularity (axis
// N-2 along the goal axis), or 0 when the goal orientation is out of reach.
int oinv2(const RobotModel& robot, const double q[], const Mat3& EwLoc, const Mat3& EwG,
          double cand[2][kJointSlots]);

// The oinv2 candidate whose wrist joints are nearest to q's (joint_distance3, the first on a tie),
// copied whole into qout (which may be q). Returns 1, or 0 with qout untouched.
int oinv(const RobotModel& robot, const double q[], const Mat3& EwLoc, const Mat3& EwG,
         double qout[]);
