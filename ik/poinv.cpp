#include "ik/poinv.h"

#include <cmath>
#include <initializer_list>

#include "ik/oinv.h"
#include "ik/pinv.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"

namespace {

// Passes of the position/orientation alternation before giving up.
constexpr int kMaxPasses = 100;

// Moves joints i, j, k of `to` a fifth of the way from `from` when the step from `from` to `to`
// is a large jump (more than 0.5 summed over the three); the other joints stay as in `to`.
void damp_jump(int i, int j, int k, const double from[], double to[]) {
  if (joint_distance3(i, j, k, from, to) <= 0.5) return;
  for (int m : {i, j, k}) to[m] = from[m] + 0.2 * angle_diff(to[m], from[m]);
}

// Whether the pose whose forward kinematics k holds has both of poinv's errors within tol, from
// one run of the forward kinematics.
bool errors_within(const Kinematics& k, const Vec3& rwG, const Mat3& EwG, double tol) {
  return work_position_error(k, rwG) <= tol && work_orientation_error(k, EwG) <= tol;
}

}  // namespace

double work_position_error(const Kinematics& kin, const Vec3& rwG) {
  return std::fabs(kin.rw.x - rwG.x) + std::fabs(kin.rw.y - rwG.y) + std::fabs(kin.rw.z - rwG.z);
}

double work_orientation_error(const Kinematics& kin, const Mat3& EwG) {
  double sum = 0;
  for (int k = 0; k < 9; k++) sum += std::fabs(kin.Ew.m[k] - EwG.m[k]);
  return sum;
}

double pos_error(const RobotModel& robot, const Vec3& rwG, const double q[], Kinematics& kin) {
  forward_kinematics(robot, q, kin);
  return work_position_error(kin, rwG);
}

double ori_error(const RobotModel& robot, const Mat3& EwG, const double q[], Kinematics& kin) {
  forward_kinematics(robot, q, kin);
  return work_orientation_error(kin, EwG);
}

int poinv(const RobotModel& robot, const double qin[], int I, int J, int K, const Vec3& rwLoc,
          const Vec3& rwG, const Mat3& EwG, Kinematics& kin, double qout[], MessageLog* log) {
  const int N = robot.N;
  const bool wristCentre = robot.wristChar == 'R';
  double A[kJointSlots], B[kJointSlots], C[kJointSlots], D[kJointSlots];
  qcopy(N, qin, A);
  for (int pass = 0; pass < kMaxPasses; pass++) {
    if (pinv(robot, A, I, J, K, rwLoc, rwG, EwG, B, log) == 0) break;
    // Success needs both errors within the tolerance, on either return.
    forward_kinematics(robot, B, kin);
    if (errors_within(kin, rwG, EwG, 1e-6)) {
      qcopy(N, B, qout);
      return 1;
    }
    qcopy(N, B, C);
    if (!wristCentre) damp_jump(I, J, K, A, C);
    if (oinv(robot, C, robot.EwLoc, EwG, D) == 0) {
      qcopy(N, C, A);
      break;
    }
    forward_kinematics(robot, D, kin);
    if (errors_within(kin, rwG, EwG, 1e-6)) {
      qcopy(N, D, qout);
      return 1;
    }
    qcopy(N, D, A);
    if (!wristCentre) damp_jump(N - 2, N - 1, N, C, A);
  }
  qcopy(N, A, qout);
  return 0;
}
