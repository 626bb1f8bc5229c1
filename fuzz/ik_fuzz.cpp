// Fuzz target: the position inverse kinematics, the wrist orientation and the
// position/orientation solver for every robot type, from arbitrary start poses toward arbitrary
// goals (or goals the robot reaches, to drive the solvers through their solving branches). Every
// call must return with a count in its documented range, finite solutions and the joints it does
// not solve for unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_values.h"
#include "ik/oinv.h"
#include "ik/pinv.h"
#include "ik/poinv.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

// The robot, kinematic state and goal the solvers run on.
RobotModel robot;
Kinematics kin;
Workcell cell;
// The notes of the solver under test, emptied before each call.
MessageLog messages;

// What one input sets up: the robot type, the goal in `cell`, the start pose and joints I, J, K.
struct IkCase {
  double values[kJointSlots + 16];  // q, rwG, EwG, type, I, J, K (printed on failure)
  double* q;
  int I, J, K;
  bool finite;        // joints 1..N of the start pose and the goal finite
  bool rotationGoal;  // the goal orientation is a rotation matrix (to rounding)
};

// A goal that some pose reaches, sometimes nudged; or an arbitrary position and orientation.
// Returns whether the goal orientation is a rotation.
bool read_goal(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    double reached[kJointSlots];
    fuzz_pose(in, reached);
    forward_kinematics(robot, reached, kin);
    cell.rwG = kin.rw;
    cell.EwG = kin.Ew;
    if (in.ConsumeBool()) cell.rwG.x += fuzz_double(in);
    if (!in.ConsumeBool()) return finite_all(reached + 1, robot.N);
    cell.EwG.m[in.ConsumeIntegralInRange<int>(0, 8)] += fuzz_double(in);
    return false;
  }
  bool rotation;
  cell.rwG = fuzz_vec3(in);
  cell.EwG = fuzz_orientation(in, rotation);
  return rotation && finite_all(cell.EwG.m, 9);
}

// The type's positioning joints, or any triple the position solver accepts
// (1 <= I < J < K <= N-2).
void read_joints(FuzzedDataProvider& in, IkCase& c) {
  c.I = robot.posJoints[0];
  c.J = robot.posJoints[1];
  c.K = robot.posJoints[2];
  if (in.ConsumeBool()) return;
  c.I = in.ConsumeIntegralInRange<int>(1, robot.N - 4);
  c.J = in.ConsumeIntegralInRange<int>(c.I + 1, robot.N - 3);
  c.K = in.ConsumeIntegralInRange<int>(c.J + 1, robot.N - 2);
}

void read_case(FuzzedDataProvider& in, IkCase& c) {
  const int type = in.ConsumeIntegralInRange<int>(1, kRobotTypes);
  robot_setup(type, robot);
  kin = Kinematics(robot);
  c.q = c.values;
  c.rotationGoal = read_goal(in);
  fuzz_pose(in, c.q);
  read_joints(in, c);
  double* tail = c.values + kJointSlots;
  tail[0] = cell.rwG.x;
  tail[1] = cell.rwG.y;
  tail[2] = cell.rwG.z;
  for (int k = 0; k < 9; k++) tail[3 + k] = cell.EwG.m[k];
  tail[12] = type;
  tail[13] = c.I;
  tail[14] = c.J;
  tail[15] = c.K;
  fuzzCase = {c.values, kJointSlots + 16};
  c.finite = finite_all(c.q + 1, robot.N) && finite_vec3(cell.rwG) && finite_all(cell.EwG.m, 9);
}

unsigned wrist_joints() {
  return joint_bit(robot.N - 2) | joint_bit(robot.N - 1) | joint_bit(robot.N);
}

// Where the wrist centre (joint N-1) must go: handLength + Llen[N] back from the goal along
// the goal's approach axis.
Vec3 goal_wrist_centre() {
  const double back = robot.handLength + robot.Llen[robot.N];
  const Mat3& G = cell.EwG;
  return {cell.rwG.x - back * G.m[2], cell.rwG.y - back * G.m[5], cell.rwG.z - back * G.m[8]};
}

// Up to four candidates, each finite, equal to q but at I, J, K, pairwise apart by 1e-4, and
// putting the wrist centre on its target by forward kinematics.
void fuzz_pinv4(const IkCase& c) {
  const int N = robot.N;
  double cand[4][kJointSlots];
  log_clear(messages);
  const int n = pinv4(robot, c.q, c.I, c.J, c.K, robot.rwLoc, cell.rwG, cell.EwG, cand, &messages);
  require(n >= 0 && n <= 4, "pinv4 count");
  const unsigned solved = joint_bit(c.I) | joint_bit(c.J) | joint_bit(c.K);
  for (int r = 0; r < n; r++) {
    require(same_joints_except(N, c.q, cand[r], solved), "pinv4 moved a held joint");
    require(finite_all(cand[r] + 1, N), "pinv4 candidate not finite");
    for (int e = 0; e < r; e++) {
      const double apart = std::fabs(cand[e][c.I] - cand[r][c.I]) +
                           std::fabs(cand[e][c.J] - cand[r][c.J]) +
                           std::fabs(cand[e][c.K] - cand[r][c.K]);
      require(apart >= 1e-4, "pinv4 candidates not distinct");
    }
    forward_kinematics(robot, cand[r], kin);
    const Vec3 target = goal_wrist_centre(), reached = kin.Jpos[N - 1];
    const double miss = std::fabs(reached.x - target.x) + std::fabs(reached.y - target.y) +
                        std::fabs(reached.z - target.z);
    // 2e-6: the closure tolerance of 1e-6 in length, in L1, plus rounding.
    require(miss <= 2e-6, "pinv4 candidate misses the target");
  }
}

// Up to two candidates, equal to q but at the wrist joints, which are finite and in [-PI, PI];
// for a rotation goal from a finite pose, both reach it (these wrists reach every orientation).
void fuzz_oinv2(const IkCase& c) {
  const int N = robot.N;
  double cand[2][kJointSlots];
  const int n = oinv2(robot, c.q, robot.EwLoc, cell.EwG, cand);
  require(n >= 0 && n <= 2, "oinv2 count");
  for (int r = 0; r < n; r++) {
    require(same_joints_except(N, c.q, cand[r], wrist_joints()), "oinv2 moved a held joint");
    for (int k = N - 2; k <= N; k++)
      require(std::isfinite(cand[r][k]) && std::fabs(cand[r][k]) <= PI, "oinv2 wrist angle");
    if (c.finite && c.rotationGoal)
      require(ori_error(robot, cell.EwG, cand[r], kin) <= 1e-6,
              "oinv2 candidate misses the goal orientation");
  }
  if (c.finite && c.rotationGoal) require(n >= 1, "oinv2 found no wrist for a rotation goal");
}

// Returns; keeps the joint that is neither positioning nor wrist joint; a solution is finite,
// and so is the last iterate of a failure from a finite start.
void fuzz_poinv(FuzzedDataProvider& in, IkCase& c) {
  const int N = robot.N;
  double q0[kJointSlots];
  std::memcpy(q0, c.q, sizeof q0);
  double separate[kJointSlots];
  double* qout = in.ConsumeBool() ? c.q : separate;  // qout may be qin
  const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
  log_clear(messages);
  const int result =
      poinv(robot, c.q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, kin, qout, &messages);
  require(result == 0 || result == 1, "poinv result");
  const unsigned solved = joint_bit(I) | joint_bit(J) | joint_bit(K) | wrist_joints();
  require(same_joints_except(N, q0, qout, solved), "poinv moved the held joint");
  if (result == 1 || c.finite) require(finite_all(qout + 1, N), "poinv result not finite");
  // A solution reaches the goal; the orientation only when it is one a pose can have. 2e-6:
  // pinv4 closes the chain to 1e-6 in length, which the L1 error may exceed by sqrt(3).
  if (result == 1) {
    require(pos_error(robot, cell.rwG, qout, kin) <= 2e-6,
            "poinv solution misses the goal position");
    if (c.rotationGoal)
      require(ori_error(robot, cell.EwG, qout, kin) <= 1e-6,
              "poinv solution misses the goal orientation");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int routine = in.ConsumeIntegralInRange<int>(0, 2);
  IkCase c;
  read_case(in, c);
  switch (routine) {
    case 0:
      fuzz_pinv4(c);
      break;
    case 1:
      fuzz_oinv2(c);
      break;
    default:
      fuzz_poinv(in, c);
      break;
  }
  return 0;
}
