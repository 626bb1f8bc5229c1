// Closed-form position inverse kinematics of three positioning joints I < J < K, every other
// joint held. With wristChar 'R' the wrist centre (origin of joint N-1) is placed at the wrist
// centre of the goal pose; otherwise the work point is placed at the goal position.
#pragma once

#include "ik/pinv_equations.h"
#include "math/message_log.h"
#include "math/vecmat.h"
#include "model/state.h"

// Splits the chain of the robot model at I, J, K for the joint values q (radians) and the goal
// rwG, EwG (EwG's z column is the approach axis). Preconditions: 1 <= I < J < K <= N - 2.
void pinv_setup(const RobotModel& robot, char wristChar, const double q[], int I, int J, int K,
                const Vec3& rwLoc, const Vec3& rwG, const Mat3& EwG, PinvGeometry& geo);

// Every placement of joints I, J, K (radians) that puts the end point on the target for goal
// position rwG and orientation EwG, the other joints held at q. Writes cand[0..n-1], each a
// copy of q with joints I, J, K replaced, distinct, finite and closing the chain to within 1e-6
// (model units); returns n (0..4). On the general route (and a degenerate route taken for a
// nearly degenerate chain) every candidate is polished on the closure to the limit of double
// precision and lost branches are recovered (pinv_polish.h).
int pinv4(const RobotModel& robot, const double q[], int I, int J, int K, const Vec3& rwLoc,
          const Vec3& rwG, const Mat3& EwG, double cand[4][kJointSlots], MessageLog* log = nullptr);

// The pinv4 candidate nearest to q by joint_distance3 (the earlier on a tie), copied whole into qp
// (which may be q). Returns 1, or 0 when there is none (qp is then untouched).
int pinv(const RobotModel& robot, const double q[], int I, int J, int K, const Vec3& rwLoc,
         const Vec3& rwG, const Mat3& EwG, double qp[], MessageLog* log = nullptr);

// Copies the angles of in[0..n-1] that are not within 1e-6 (modulo whole turns) of an earlier
// input angle into out, in order; returns their number. out must not be in.
int unique_angles(int n, const double in[], double out[]);
