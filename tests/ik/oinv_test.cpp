#include "ik/oinv.h"

#include "core_state.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "support.h"

namespace {

// The default goal orientation: the work turned over, approach axis pointing down.
const Mat3 kTurnedOver = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};

// Work orientation of pose q by forward kinematics.
Mat3 work_orientation(const double q[]) {
  forward_kinematics(robot, q, kin);
  return kin.Ew;
}

// Random poses of every type with their own work orientation as the goal: both candidates
// reach it, one of them is the pose's own wrist, oinv picks that one, the first four joints
// never change and every angle lies in [-pi, pi].
TEST(Oinv2, RoundTripEveryType) {
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    std::mt19937 rng(200 + type);
    for (int trial = 0; trial < 200; trial++) {
      SCOPED_TRACE(testing::Message()
                   << "type " << type << " seed " << 200 + type << " trial " << trial);
      double q[kJointSlots], start[kJointSlots], cand[2][kJointSlots], qout[kJointSlots];
      random_pose(rng, 7, q);
      const Mat3 goal = work_orientation(q);
      qcopy(7, q, start);
      std::uniform_real_distribution<double> angle(-PI, PI);
      for (int i = 5; i <= 7; i++) start[i] = angle(rng);
      ASSERT_EQ(oinv2(robot, start, robot.EwLoc, goal, cand), 2);
      double nearest = 1e9;
      for (int k = 0; k < 2; k++) {
        for (int i = 0; i <= 4; i++) EXPECT_EQ(cand[k][i], start[i]);
        for (int i = 5; i <= 7; i++) {
          EXPECT_LE(std::fabs(cand[k][i]), PI);
        }
        // A handful of 3x3 products and atan2 calls: rounding only.
        expect_near(work_orientation(cand[k]), goal, 1e-12);
        nearest = std::min(nearest, joint_distance3(5, 6, 7, q, cand[k]));
      }
      EXPECT_LT(nearest, 1e-10);
      ASSERT_EQ(oinv(robot, q, robot.EwLoc, goal, qout), 1);
      EXPECT_LT(joint_distance3(5, 6, 7, q, qout), 1e-10);
    }
  }
}

// Axis N-2 along the goal axis: at the zero pose of every type with the work turned over (axis
// opposite) or kept upright (axis along), and turned about the vertical. The one candidate
// must reach the goal by forward kinematics, which the construction that measured joint N-1
// with the wrong axis did not (an orientation error of about 4).
TEST(Oinv2, WristSingularityReachesTheGoal) {
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    for (double turn : {0.0, 0.7, -2.5}) {
      for (const Mat3& base : {kTurnedOver, Mat3{{1, 0, 0, 0, 1, 0, 0, 0, 1}}}) {
        SCOPED_TRACE(testing::Message() << "type " << type << " turn " << turn);
        double q[kJointSlots] = {}, cand[2][kJointSlots], qout[kJointSlots];
        q[5] = 0.3;  // the free joint N-2 keeps its start value
        const Mat3 spin = {
            {std::cos(turn), -std::sin(turn), 0, std::sin(turn), std::cos(turn), 0, 0, 0, 1}};
        Mat3 goal;
        mmul(spin, base, goal);
        ASSERT_EQ(oinv2(robot, q, robot.EwLoc, goal, cand), 1);
        for (int i = 0; i <= 4; i++) EXPECT_EQ(cand[0][i], q[i]);
        EXPECT_EQ(cand[0][5], 0.3);
        // Exact 0/1 frames at the zero pose: rounding of sin and cos only.
        expect_near(work_orientation(cand[0]), goal, 1e-12);
        ASSERT_EQ(oinv(robot, q, robot.EwLoc, goal, qout), 1);
        expect_near(work_orientation(qout), goal, 1e-12);
      }
    }
  }
}

// The singular wrist from a start of joint N-2 more than a turn beyond [-pi, pi] (found by
// fuzzing): the start value was kept and wrapped once, so the candidate left [-pi, pi]. Now it
// is reduced by whole turns, and the candidate still reaches the goal.
TEST(Oinv2, SingularWristFarStartStaysInRange) {
  setup_robot(1);
  for (double start : {10.0, -9.5, 1.7152355068266847e+308}) {
    SCOPED_TRACE(testing::Message() << "q[5] " << start);
    double q[kJointSlots] = {}, cand[2][kJointSlots];
    q[5] = start;
    ASSERT_EQ(oinv2(robot, q, robot.EwLoc, kTurnedOver, cand), 1);
    for (int i = 5; i <= 7; i++) EXPECT_LE(std::fabs(cand[0][i]), PI);
    // Exact 0/1 frames at the zero pose: rounding of sin and cos only.
    expect_near(work_orientation(cand[0]), kTurnedOver, 1e-12);
  }
}

// A wrist whose last axis leans to 60 degrees from the middle one (beta = 0.5) reaches only
// goal axes 30 degrees or more from axis N-2: goals taken from its own poses come back, goals
// too close to axis N-2 give 0, and the singular case with alpha != beta gives 0.
TEST(Oinv2, LeaningWristReachAndLimits) {
  setup_robot(1);
  // A turn by 30 degrees about the local y axis of joint N's frame.
  const double c = std::sqrt(0.75), s = 0.5;
  const Mat3 lean = {{c, 0, s, 0, 1, 0, -s, 0, c}};
  Mat3 leaned;
  mmul(robot.Erel[7], lean, leaned);
  robot.Erel[7] = leaned;
  ASSERT_NEAR(robot.Erel[7].m[8], 0.5, 1e-15);
  std::mt19937 rng(41);
  for (int trial = 0; trial < 100; trial++) {
    SCOPED_TRACE(testing::Message() << "seed 41 trial " << trial);
    double q[kJointSlots], cand[2][kJointSlots];
    random_pose(rng, 7, q);
    const Mat3 goal = work_orientation(q);
    const int n = oinv2(robot, q, robot.EwLoc, goal, cand);
    ASSERT_GE(n, 1);
    for (int k = 0; k < n; k++) expect_near(work_orientation(cand[k]), goal, 1e-9);
  }
  double q[kJointSlots] = {}, cand[2][kJointSlots];
  // Axis N-2 is vertical at the zero pose; a goal axis 10 degrees off it is out of reach.
  const double a = 10 * PI / 180;
  const Mat3 near = {{1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)}};
  Mat3 goal;
  mmul(near, robot.EwLoc, goal);
  EXPECT_EQ(oinv2(robot, q, robot.EwLoc, goal, cand), 0);
  EXPECT_EQ(oinv2(robot, q, robot.EwLoc, kTurnedOver, cand), 0);
}

// A singular wrist whose middle axis leans too (alpha = 0.5): with the goal axis along axis
// N-2 it is reachable only when beta = alpha, with the goal axis opposite only when
// beta = -alpha. The candidate must reach the goal; the other combinations give 0.
TEST(Oinv2, LeaningSingularWrist) {
  const Mat3 upright = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  for (double beta : {0.5, -0.5}) {
    SCOPED_TRACE(beta);
    setup_robot(1);
    const double c = std::sqrt(0.75);
    const Mat3 leanX = {{1, 0, 0, 0, c, 0.5, 0, -0.5, c}};
    const Mat3 leanY = {{c, 0, beta, 0, 1, 0, -beta, 0, c}};
    Mat3 leaned;
    mmul(robot.Erel[6], leanX, leaned);
    robot.Erel[6] = leaned;
    mmul(robot.Erel[7], leanY, leaned);
    robot.Erel[7] = leaned;
    ASSERT_NEAR(robot.Erel[6].m[8], 0.5, 1e-15);
    ASSERT_NEAR(robot.Erel[7].m[8], beta, 1e-15);
    double q[kJointSlots] = {}, cand[2][kJointSlots];
    const Mat3& along = beta > 0 ? upright : kTurnedOver;
    const Mat3& blocked = beta > 0 ? kTurnedOver : upright;
    ASSERT_EQ(oinv2(robot, q, robot.EwLoc, along, cand), 1);
    expect_near(work_orientation(cand[0]), along, 1e-12);
    EXPECT_EQ(oinv2(robot, q, robot.EwLoc, blocked, cand), 0);
  }
  setup_robot(1);
}

// A goal that is not a number gives no candidate rather than a NaN joint value, and oinv then
// leaves its output alone.
TEST(Oinv2, InvalidGoalGivesNothing) {
  setup_robot(2);
  double q[kJointSlots] = {}, cand[2][kJointSlots], qout[kJointSlots];
  for (double& v : qout) v = 7.0;
  q[2] = 0.5;
  Mat3 goal = kTurnedOver;
  goal.m[4] = NAN;
  EXPECT_EQ(oinv2(robot, q, robot.EwLoc, goal, cand), 0);
  EXPECT_EQ(oinv(robot, q, robot.EwLoc, goal, qout), 0);
  for (double v : qout) EXPECT_EQ(v, 7.0);
}

}  // namespace
