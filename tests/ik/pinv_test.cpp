#include "ik/pinv.h"

#include <algorithm>
#include <cstdio>

#include "core_state.h"
#include "math/angles.h"
#include "support.h"

namespace {

using namespace pinv_parts;

// The solver's own closure: for wristChar 'R' the wrist centre (joint N-1) must reach the goal
// wrist centre, which lies handLength + Llen[N] back along the goal approach axis.
Vec3 goal_wrist_centre() {
  const double back = robot.handLength + robot.Llen[robot.N];
  const Vec3 z = column(cell.EwG, 2);
  return {cell.rwG.x - back * z.x, cell.rwG.y - back * z.y, cell.rwG.z - back * z.z};
}

// Duplicates are judged against the input values, whole turns apart count as equal, and the
// first of a group survives.
TEST(UniqueAngles, KeepsFirstOfEachGroup) {
  double out[4] = {};
  EXPECT_EQ(unique_angles(0, out, out + 2), 0);
  const double one[1] = {5.0};
  ASSERT_EQ(unique_angles(1, one, out), 1);
  EXPECT_EQ(out[0], 5.0);
  const double turns[4] = {0.5, 0.5 + 2 * PI, -1.0, -1.0 - 4 * PI + 2e-7};
  ASSERT_EQ(unique_angles(4, turns, out), 2);
  EXPECT_EQ(out[0], 0.5);
  EXPECT_EQ(out[1], -1.0);
  // 1.6e-6 is 0.8e-6 from the dropped second angle, so it goes too.
  const double chain[3] = {0.0, 0.8e-6, 1.6e-6};
  ASSERT_EQ(unique_angles(3, chain, out), 1);
  const double apart[3] = {0.0, 1.1e-6, -1.1e-6};
  EXPECT_EQ(unique_angles(3, apart, out), 3);
}

// For random poses of every type, with the pose's own work pose as the goal, the pose's own
// I, J, K are among the candidates, every candidate closes the chain (by forward kinematics),
// holds the other joints, and no two candidates coincide.
TEST(Pinv4, RoundTripEveryType) {
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
    std::mt19937 rng(100 + type);
    std::uniform_real_distribution<double> angle(-PI, PI);
    for (int trial = 0; trial < 300; trial++) {
      SCOPED_TRACE(testing::Message()
                   << "type " << type << " seed " << 100 + type << " trial " << trial);
      double q[kJointSlots], start[kJointSlots], cand[4][kJointSlots];
      random_pose(rng, 7, q);
      goal_from_pose(q);
      const Vec3 centre = goal_wrist_centre();
      qcopy(7, q, start);
      for (int m : {I, J, K}) start[m] = angle(rng);
      const int n = pinv4(robot, start, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, cand);
      ASSERT_GE(n, 1);
      double nearest = 1e9;
      for (int k = 0; k < n; k++) {
        nearest = std::min(nearest, angle_gap(cand[k][I], q[I]) + angle_gap(cand[k][J], q[J]) +
                                        angle_gap(cand[k][K], q[K]));
        for (int i = 0; i <= 7; i++) {
          if (i == I || i == J || i == K) continue;
          EXPECT_EQ(cand[k][i], start[i]) << "joint " << i;
        }
        forward_kinematics(robot, cand[k], kin);
        // Rounding of a few 3x3 products and trigonometric roots: far below 1e-9.
        expect_near(kin.Jpos[6], centre, 1e-9);
        for (int b = 0; b < k; b++) {
          const double d = std::fabs(cand[k][I] - cand[b][I]) + std::fabs(cand[k][J] - cand[b][J]) +
                           std::fabs(cand[k][K] - cand[b][K]);
          EXPECT_GE(d, 1e-4);
        }
      }
      // The pose's own joints come back to the precision of the roots.
      EXPECT_LT(nearest, 1e-7);
    }
  }
}

// An arm with skewed joint axes and offsets, unlike any catalogue type, takes the general route
// through the full TRI2 equation; every candidate must close the chain and the poses come back.
// Trials 7 and 138 of this seed have two roots in qK within a few 1e-3 rad of each other, which
// the quartic once returned too inexact for TRI2's residual test.
TEST(Pinv4, SkewedArmTakesTheFullTri2Route) {
  setup_robot(4);
  const Mat3 tilt = {{0.36, 0.48, -0.8, -0.8, 0.6, 0, 0.48, 0.64, 0.6}};  // a rotation
  for (int i : {3, 4}) {
    Mat3 skewed;
    mmul(robot.Erel[i], tilt, skewed);
    robot.Erel[i] = skewed;
  }
  robot.Lloc[4].x += 0.3;
  robot.Lloc[5].y -= 0.2;
  const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
  std::mt19937 rng(77);
  int general = 0, lost = 0;
  for (int trial = 0; trial < 200; trial++) {
    SCOPED_TRACE(testing::Message() << "seed 77 trial " << trial);
    double q[kJointSlots], cand[4][kJointSlots];
    PinvElimination elim;
    random_pose(rng, 7, q);
    goal_from_pose(q);
    PinvGeometry geo;
    PinvEquations eq;
    pinv_setup(robot, robot.wristChar, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, geo);
    pinv_equations(geo, eq);
    general += pinv_case(eq, elim) == kPinvGeneral;
    const int n = pinv4(robot, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, cand);
    ASSERT_GE(n, 1);
    double nearest = 1e9;
    for (int k = 0; k < n; k++) {
      nearest = std::min(nearest, joint_distance3(I, J, K, q, cand[k]));
      forward_kinematics(robot, cand[k], kin);
      // Quartic roots, Newton-polished: rounding-level closure.
      expect_near(kin.Jpos[6], goal_wrist_centre(), 1e-8);
    }
    if (nearest >= 1e-6) {
      std::printf("skewed arm, seed 77 trial %d: own pose not among the candidates\n", trial);
      lost++;
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(general, 200);
  setup_robot(4);
}

// pinv keeps the candidate nearest the start: a start that already solves comes back.
TEST(Pinv, StartThatSolvesComesBack) {
  std::mt19937 rng(5);
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
    for (int trial = 0; trial < 50; trial++) {
      SCOPED_TRACE(testing::Message() << "type " << type << " trial " << trial);
      double q[kJointSlots], qp[kJointSlots];
      random_pose(rng, 7, q);
      goal_from_pose(q);
      ASSERT_EQ(pinv(robot, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, qp), 1);
      EXPECT_LT(joint_distance3(I, J, K, q, qp), 1e-7);
      // The output may be the input array.
      ASSERT_EQ(pinv(robot, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, q), 1);
      EXPECT_LT(joint_distance3(I, J, K, q, qp), 1e-12);
    }
  }
}

// The case list per catalogue type: a reordered or mistyped test in the list would send a type
// to another routine. Type 3's held joint 2 between I and J changes its case at +-pi/2.
TEST(PinvCase, EachTypeTakesItsRoute) {
  const PinvCase expected[5] = {kPinvGeneral, kPinvParK, kPinvZk0, kPinvParK, kPinvGeneralC};
  std::mt19937 rng(21);
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
    for (int trial = 0; trial < 100; trial++) {
      double q[kJointSlots];
      PinvElimination elim;
      random_pose(rng, 7, q);
      goal_from_pose(q);
      if (type == 3 && trial % 2 == 1) q[2] = trial % 4 == 1 ? PI / 2 : -PI / 2;
      PinvGeometry geo;
      PinvEquations eq;
      pinv_setup(robot, robot.wristChar, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, geo);
      pinv_equations(geo, eq);
      const PinvCase want = type == 3 && trial % 2 == 1 ? kPinvZi0 : expected[type];
      EXPECT_EQ(pinv_case(eq, elim), want) << "type " << type << " trial " << trial;
    }
  }
}

// A goal out of reach gives no candidate and leaves the output alone; so does a goal that is
// not a number, which must never come back as a joint value.
TEST(Pinv, UnreachableOrInvalidGoal) {
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    setup_robot(type);
    const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
    double q[kJointSlots] = {}, qp[kJointSlots], cand[4][kJointSlots];
    for (double& v : qp) v = 7.0;
    cell.EwG = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};
    for (const Vec3& goal : {Vec3{50, 0, 1}, Vec3{0, 0, -20}, Vec3{NAN, 1, 1}}) {
      cell.rwG = goal;
      EXPECT_EQ(pinv4(robot, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, cand), 0);
      EXPECT_EQ(pinv(robot, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, qp), 0);
      for (double v : qp) EXPECT_EQ(v, 7.0);
    }
  }
}

// The upright zero pose (a stretched arm: tangent roots, and for types 1 and 3 the end point on
// joint J's axis, where any qJ closes the chain) still gives finite candidates that close the
// chain, joints I and K of the zero pose among them.
TEST(Pinv4, StraightArm) {
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    setup_robot(type);
    const int I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
    double q[kJointSlots] = {}, cand[4][kJointSlots];
    goal_from_pose(q);
    const int n = pinv4(robot, q, I, J, K, robot.rwLoc, cell.rwG, cell.EwG, cand);
    ASSERT_GE(n, 1);
    double nearest = 1e9;
    for (int k = 0; k < n; k++) {
      for (int i = 1; i <= 7; i++) EXPECT_TRUE(std::isfinite(cand[k][i]));
      forward_kinematics(robot, cand[k], kin);
      // The tangent root of a stretched arm is found to about the square root of rounding.
      expect_near(kin.Jpos[6], goal_wrist_centre(), 1e-7);
      nearest = std::min(nearest, std::fabs(cand[k][I]) + std::fabs(cand[k][K]));
    }
    EXPECT_LT(nearest, 1e-6);
  }
}

}  // namespace
