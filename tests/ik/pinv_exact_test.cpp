// Issue 11: pinv4's general route polished to the limit of double precision with no branch
// lost, and poinv reporting success only when both of its errors are within tolerance. Every
// check measures by forward kinematics, independently of the solver's own equations.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "core_state.h"
#include "ik/pinv.h"
#include "ik/poinv.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"

namespace {

// The issue's type 4 pose, whose own branch the general route missed (nearest candidate 0.016
// rad away, missing the wrist centre by 8.5e-7), and the start from which poinv reported
// success with a position error of 1.03e-6.
const double kIssuePose[8] = {0,
                              -0.07394451423580284,
                              1.772141454789307,
                              2.9324101382925125,
                              2.1278135902374427,
                              1.263878769142666,
                              -1.9696945331716609,
                              -1.3525838576932512};
const double kIssueStart[8] = {0,
                               -0.016054801076681946,
                               1.772141454789307,
                               3.071596726784758,
                               1.9811932821638436,
                               1.1087690952949978,
                               -2.186057825656291,
                               -1.237927607467709};

void goal_from_pose(const double q[]) {
  forward_kinematics(robot, q, kin);
  cell.rwG = kin.rw;
  cell.EwG = kin.Ew;
}

// The point pinv4 places: the wrist centre (joint N-1) of the last forward kinematics.
Vec3 placed_point() {
  return kin.Jpos[robot.N - 1];
}

// Largest wrapped difference over joints I, J, K.
double joint_error(const int ijk[3], const double a[], const double b[]) {
  double worst = 0;
  for (int k = 0; k < 3; k++) worst = std::max(worst, angle_gap(a[ijk[k]], b[ijk[k]]));
  return worst;
}

// Smallest singular value of d(placed point)/d(qI, qJ, qK) at q, by central differences of
// forward kinematics, estimated as 1 / |J^-1| (Frobenius norm; within a factor sqrt(3)).
double smallest_singular_value(const int ijk[3], const double q[]) {
  constexpr double h = 1e-6;
  double J[3][3], qq[kJointSlots];
  for (int c = 0; c < 3; c++) {
    qcopy(robot.N, q, qq);
    qq[ijk[c]] = q[ijk[c]] + h;
    forward_kinematics(robot, qq, kin);
    const Vec3 plus = placed_point();
    qq[ijk[c]] = q[ijk[c]] - h;
    forward_kinematics(robot, qq, kin);
    const Vec3 minus = placed_point();
    J[0][c] = (plus.x - minus.x) / (2 * h);
    J[1][c] = (plus.y - minus.y) / (2 * h);
    J[2][c] = (plus.z - minus.z) / (2 * h);
  }
  double adj[3][3];
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      adj[i][j] = J[r0][c0] * J[r1][c1] - J[r0][c1] * J[r1][c0];
    }
  const double det = J[0][0] * adj[0][0] + J[0][1] * adj[1][0] + J[0][2] * adj[2][0];
  double sum = 0;
  for (const auto& row : adj)
    for (double v : row) sum += v * v;
  return sum > 0 ? std::fabs(det) / std::sqrt(sum) : 0;
}

TEST(Pinv4Exact, IssuePoseHasItsOwnBranch) {
  setup_robot(4);
  const int* ijk = robot.posJoints;
  // The issue's pose, and one whose chain is nearly of the kind with Uc = Us = 0 (both below
  // pinv_case's 1e-7, not 0): the route for that kind left every candidate 2e-8 rad off.
  const double nearlyU0[8] = {0,
                              0.53593037901747609,
                              1.7721542319249526,
                              -2.3175828566250374,
                              -1.1813396015180255,
                              0.35908174790815961,
                              2.2706282306602272,
                              -2.0951346087744867};
  for (const double* pose : {kIssuePose, nearlyU0}) {
    goal_from_pose(pose);
    const Vec3 centre = kin.Jpos[robot.N - 1];
    double q[kJointSlots] = {}, cand[4][kJointSlots];
    qcopy(7, pose, q);
    const int n = pinv4(robot, q, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG, cell.EwG, cand);
    double nearest = 1e9;
    for (int k = 0; k < n; k++) {
      nearest = std::min(nearest, joint_error(ijk, cand[k], q));
      forward_kinematics(robot, cand[k], kin);
      expect_near(placed_point(), centre, 1e-13);
    }
    EXPECT_LE(nearest, 1e-10) << "pose with joint 1 at " << pose[1];
  }
}

// Seeded random poses of all four types, each pose's own work pose as the goal, the start's
// I, J, K random: the pose's own joints are among the candidates within 1e-10 rad. Within 1e-4
// of a singularity (smallest singular value of the closure) the joints are only as exact as
// the conditioning allows and two branches closer than pinv4's distinctness of 1e-4 come back
// as one, so there the nearest candidate must lie within 1e-4. Every candidate closes the
// chain (type 4, the general route: to 1e-12), holds the other joints and stays distinct.
TEST(Pinv4Exact, RoundTripFindsEveryPoseOwnBranch) {
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    const int* ijk = robot.posJoints;
    std::mt19937 rng(1500 + type);
    std::uniform_real_distribution<double> angle(-PI, PI);
    long checked = 0, candidates = 0, nearSingular = 0, missing = 0;
    double worst = 0, worstNearSingular = 0;
    for (int trial = 0; trial < 5000; trial++) {
      SCOPED_TRACE(testing::Message()
                   << "type " << type << " seed " << 1500 + type << " trial " << trial);
      double q[kJointSlots], start[kJointSlots], cand[4][kJointSlots];
      random_pose(rng, 7, q);
      goal_from_pose(q);
      const Vec3 centre = placed_point();
      qcopy(7, q, start);
      for (int k = 0; k < 3; k++) start[ijk[k]] = angle(rng);
      const int n =
          pinv4(robot, start, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG, cell.EwG, cand);
      checked++;
      candidates += n;
      double nearest = 1e9;
      for (int k = 0; k < n; k++) {
        nearest = std::min(nearest, joint_error(ijk, cand[k], q));
        for (int i = 0; i <= 7; i++) {
          if (i == ijk[0] || i == ijk[1] || i == ijk[2]) continue;
          EXPECT_EQ(cand[k][i], start[i]) << "joint " << i;
        }
        forward_kinematics(robot, cand[k], kin);
        expect_near(placed_point(), centre, type == 4 ? 1e-12 : 1e-9);
        for (int b = 0; b < k; b++) {
          double d = 0;
          for (int m = 0; m < 3; m++) d += std::fabs(cand[k][ijk[m]] - cand[b][ijk[m]]);
          EXPECT_GE(d, 1e-4);
        }
      }
      if (smallest_singular_value(ijk, q) < 1e-4) {
        nearSingular++;
        worstNearSingular = std::max(worstNearSingular, nearest);
        EXPECT_LE(nearest, 1e-4);
        continue;
      }
      missing += nearest > 1e-10;
      worst = std::max(worst, nearest);
      EXPECT_LE(nearest, 1e-10);
      if (HasFailure()) return;
    }
    std::printf(
        "type %d: %ld poses, %ld candidates, %ld own branches missing, worst %.2e rad; %ld near "
        "a singularity, worst %.2e\n",
        type, checked, candidates, missing, worst, nearSingular, worstNearSingular);
  }
}

// The issue's start toward the issue's pose: success, both errors within tolerance (the
// orientation-only early return reported success with a position error of 1.03e-6).
TEST(PoinvExact, IssueStartReachesBothTolerances) {
  setup_robot(4);
  const int* ijk = robot.posJoints;
  goal_from_pose(kIssuePose);
  double start[kJointSlots] = {}, out[kJointSlots];
  qcopy(7, kIssueStart, start);
  ASSERT_EQ(poinv(robot, start, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG, cell.EwG, kin, out),
            1);
  EXPECT_LE(pos_error(robot, cell.rwG, out, kin), 1e-6);
  EXPECT_LE(ori_error(robot, cell.EwG, out, kin), 1e-6);
}

// poinv measures its success against the goal it is given: moved 2e-6 off the issue's pose, the
// goal is reached within both tolerances of that goal, never judged against another one (the
// early return on the orientation test once reported success 1e-6 off).
TEST(PoinvExact, SuccessIsMeasuredAgainstTheGoalGiven) {
  setup_robot(4);
  const int* ijk = robot.posJoints;
  goal_from_pose(kIssuePose);
  double start[kJointSlots] = {}, out[kJointSlots];
  qcopy(7, kIssuePose, start);
  const Vec3 shifted = {cell.rwG.x + 2e-6, cell.rwG.y, cell.rwG.z};
  ASSERT_EQ(poinv(robot, start, ijk[0], ijk[1], ijk[2], robot.rwLoc, shifted, cell.EwG, kin, out),
            1);
  EXPECT_LE(pos_error(robot, shifted, out, kin), 1e-6);
  EXPECT_LE(ori_error(robot, cell.EwG, out, kin), 1e-6);
}

// Random goals of all types, some within 1e-4 of a singularity (a positioning joint near 0),
// from starts up to 0.3 rad away in each solved joint (the held joint keeps the goal's value):
// never a NaN, and every success within both tolerances.
TEST(PoinvExact, EverySuccessWithinBothTolerances) {
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    const int* ijk = robot.posJoints;
    std::mt19937 rng(1600 + type);
    std::uniform_real_distribution<double> nudge(-0.3, 0.3), tiny(-1e-4, 1e-4);
    int solved = 0;
    for (int trial = 0; trial < 2000; trial++) {
      SCOPED_TRACE(testing::Message() << "type " << type << " trial " << trial);
      double q[kJointSlots], start[kJointSlots], out[kJointSlots];
      random_pose(rng, 7, q);
      if (trial % 3 != 0) q[ijk[trial % 3]] = tiny(rng);
      goal_from_pose(q);
      qcopy(7, q, start);
      for (int i : {ijk[0], ijk[1], ijk[2], 5, 6, 7}) start[i] += nudge(rng);
      const int result =
          poinv(robot, start, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG, cell.EwG, kin, out);
      for (int i = 1; i <= 7; i++) ASSERT_TRUE(std::isfinite(out[i]));
      if (result == 0) continue;
      solved++;
      EXPECT_LE(pos_error(robot, cell.rwG, out, kin), 1e-6);
      EXPECT_LE(ori_error(robot, cell.EwG, out, kin), 1e-6);
    }
    EXPECT_GT(solved, 1900);
  }
}

}  // namespace
