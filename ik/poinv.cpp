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
  if (joint_dist3(i, j, k, from, to) <= 0.5) return;
  for (int m : {i, j, k}) to[m] = from[m] + 0.2 * angle_diff(to[m], from[m]);
}

}  // namespace

double pos_error(const RobotModel& robot, const Vec3& rwG, const double q[], Kinematics& kin) {
  forward_kinematics(robot, q, kin);
  return std::fabs(kin.rw.x - rwG.x) + std::fabs(kin.rw.y - rwG.y) + std::fabs(kin.rw.z - rwG.z);
}

double ori_error(const RobotModel& robot, const Mat3& EwG, const double q[], Kinematics& kin) {
  forward_kinematics(robot, q, kin);
  double sum = 0;
  for (int k = 0; k < 9; k++) sum += std::fabs(kin.Ew.m[k] - EwG.m[k]);
  return sum;
}

int poinv(const RobotModel& robot, const double qin[], int I, int J, int K, const Vec3& rwLoc,
          const Vec3& rwG, const Mat3& EwG, Kinematics& kin, double qout[], MessageLog* log) {
  const int N = robot.N;
  const bool wristCentre = robot.wristChar == 'R';
  double A[kJointSlots], B[kJointSlots], C[kJointSlots], D[kJointSlots];
  qcopy(N, qin, A);
  for (int pass = 0; pass < kMaxPasses; pass++) {
    if (pinv(robot, A, I, J, K, rwLoc, rwG, EwG, B, log) == 0) break;
    if (ori_error(robot, EwG, B, kin) <= 1e-6) {
      qcopy(N, B, qout);
      return 1;
    }
    qcopy(N, B, C);
    if (!wristCentre) damp_jump(I, J, K, A, C);
    if (oinv(robot, C, robot.EwLoc, EwG, D) == 0) {
      qcopy(N, C, A);
      break;
    }
    if (pos_error(robot, rwG, D, kin) <= 1e-6) {
      qcopy(N, D, qout);
      return 1;
    }
    qcopy(N, D, A);
    if (!wristCentre) damp_jump(N - 2, N - 1, N, C, A);
  }
  qcopy(N, A, qout);
  return 0;
}
