// Position/orientation inverse kinematics of the whole arm, and the error measures it uses.
#pragma once

#include "model/vecmat.h"

// a - b, or a - b +- 2*PI when that is strictly smaller in magnitude (one turn at most).
double angle_diff(double a, double b);

// L1 distance between the work point of pose q and the goal cell.rwG (model units). Runs
// forward_kinematics(q), leaving the kinematic state set for q.
double pos_error(const double q[]);

// Sum of |Ew - cell.EwG| over the nine entries, for the work orientation Ew of pose q. Runs
// forward_kinematics(q), leaving the kinematic state set for q.
double ori_error(const double q[]);

// Joints I, J, K (the positioning joints) and the wrist joints N-2..N that put the work at rwG
// with orientation EwG, alternating pinv and oinv from qin; every other joint keeps its value.
// rwG and EwG must be the goal in `cell`, which the error measures read. Returns 1 with the
// solution in qout (which may be qin), or 0 with the last iterate in qout: when a step finds
// no solution, or when 100 passes have not brought both errors to 1e-6. Overwrites `kin`.
int poinv(const double qin[], int I, int J, int K, const Vec3& rwLoc, const Vec3& rwG,
          const Mat3& EwG, double qout[]);
