// Position/orientation inverse kinematics of the whole arm, and the error measures it uses.
#pragma once

#include "math/message_log.h"
#include "math/vecmat.h"
#include "model/state.h"

// The two errors of the pose whose forward kinematics kin holds: the L1 distance of its work
// point from rwG, and the sum of |Ew - EwG| over the nine entries.
double work_position_error(const Kinematics& kin, const Vec3& rwG);
double work_orientation_error(const Kinematics& kin, const Mat3& EwG);

// L1 distance between the work point of pose q and the goal position rwG (model units). Runs
// forward kinematics of q into kin.
double pos_error(const RobotModel& robot, const Vec3& rwG, const double q[], Kinematics& kin);

// Sum of |Ew - EwG| over the nine entries, for the work orientation Ew of pose q. Runs forward
// kinematics of q into kin.
double ori_error(const RobotModel& robot, const Mat3& EwG, const double q[], Kinematics& kin);

// Joints I, J, K (the positioning joints) and the wrist joints N-2..N that put the work at rwG
// with orientation EwG, alternating pinv and oinv from qin; every other joint keeps its value.
// Returns 1 with the solution in qout (which may be qin), or 0 with the last iterate in qout:
// when a step finds no solution, or when 100 passes have not brought both errors to 1e-6.
// Uses kin as its workspace; notes failing position branches in log.
int poinv(const RobotModel& robot, const double qin[], int I, int J, int K, const Vec3& rwLoc,
          const Vec3& rwG, const Mat3& EwG, Kinematics& kin, double qout[],
          MessageLog* log = nullptr);
