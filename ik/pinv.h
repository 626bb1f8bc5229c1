// Closed-form position inverse kinematics of three positioning joints I < J < K, every other
// joint held. With wristChar 'R' the wrist centre (origin of joint N-1) is placed at the wrist
// centre of the goal pose; otherwise the work point is placed at the goal position.
#pragma once

#include "ik/pinv_cases.h"
#include "math/message_log.h"
#include "math/vecmat.h"
#include "model/state.h"

// The chain between the base and the end point, split at joints I, J and K.
struct PinvGeometry {
  Mat3 M1;      // world frame of joint I at qI = 0
  Vec3 P1;      // world position of joint I
  Mat3 M2;      // frame of joint J at qJ = 0, relative to joint I's frame after its rotation
  Vec3 P2;      // position of joint J in joint I's frame
  Mat3 M3;      // frame of joint K at qK = 0, relative to joint J's frame after its rotation
  Vec3 P3;      // position of joint K in joint J's frame
  Vec3 endPt;   // end point in joint K's frame after its rotation
  Vec3 target;  // world position the end point must reach
};

// Which closed-form route solves the equations: one of the degenerate cases, or the general
// elimination of qI with the reduced cos-only (TRI2C), sin-only (TRI2S) or full TRI2 equation.
enum PinvCase {
  kPinvAxis,
  kPinvU0,
  kPinvV0,
  kPinvZi0,
  kPinvZk0,
  kPinvParK,
  kPinvParI,
  kPinvGeneralC,
  kPinvGeneralS,
  kPinvGeneral,
};

// Splits the chain of the robot model at I, J, K for the joint values q (radians) and the goal
// rwG, EwG (EwG's z column is the approach axis). Preconditions: 1 <= I < J < K <= N - 2.
void pinv_setup(const RobotModel& robot, char wristChar, const double q[], int I, int J, int K,
                const Vec3& rwLoc, const Vec3& rwG, const Mat3& EwG, PinvGeometry& geo);

// The z equation and length equation of the chain closure (see PinvEquations).
void pinv_equations(const PinvGeometry& geo, PinvEquations& eq);

// The route that solves eq: the first degenerate case that applies (tolerance 1e-7), else the
// general case. Writes the coefficients AC2, AS2, ACS, BC1, BS1, C0 of the general case's
// equation in qK into elim (written whatever the route).
PinvCase pinv_case(const PinvEquations& eq, double elim[6]);

// Every placement of joints I, J, K (radians) that puts the end point on the target for goal
// position rwG and orientation EwG, the other joints held at q. Writes cand[0..n-1], each a
// copy of q with joints I, J, K replaced, distinct, finite and closing the chain to within 1e-6
// (model units); returns n (0..4). On the general route (and a degenerate route taken for a
// nearly degenerate chain) every candidate is polished on the closure to the limit of double
// precision and lost branches are recovered (pinv_polish.h).
int pinv4(const RobotModel& robot, const double q[], int I, int J, int K, const Vec3& rwLoc,
          const Vec3& rwG, const Mat3& EwG, double cand[4][kJointSlots], MessageLog* log = nullptr);

// The pinv4 candidate nearest to q by joint_dist3 (the earlier on a tie), copied whole into qp
// (which may be q). Returns 1, or 0 when there is none (qp is then untouched).
int pinv(const RobotModel& robot, const double q[], int I, int J, int K, const Vec3& rwLoc,
         const Vec3& rwG, const Mat3& EwG, double qp[], MessageLog* log = nullptr);

// Copies the angles of in[0..n-1] that are not within 1e-6 (modulo whole turns) of an earlier
// input angle into out, in order; returns their number. out must not be in.
int unique_angles(int n, const double in[], double out[]);

// Sum over joints i, j, k of |p[m] - q[m]|, each reduced by one turn when that is smaller.
double joint_dist3(int i, int j, int k, const double p[], const double q[]);
