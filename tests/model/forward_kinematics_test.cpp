#include "model/forward_kinematics.h"

#include "core_state.h"
#include "support.h"

namespace {

const Mat3 kIdentity = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};

const double kHeights[5][8] = {
    {},
    {0, 0, 1.0, 2.0, 2.2, 4.0, 4.1, 4.2},
    {0, 0, 1.0, 2.2, 3.0, 4.0, 4.1, 4.2},
    {0, 1.0, 1.2, 2.2, 3.0, 4.0, 4.1, 4.2},
    {0, 1.0, 1.2, 2.2, 3.0, 4.0, 4.1, 4.2},
};

// The zero pose stands upright: every joint on the z axis at its tabled height.
TEST(ForwardKinematics, ZeroPoseReproducesTheCatalogue) {
  const double q[kJointSlots] = {};
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    setup_robot(type);
    forward_kinematics(robot, q, kin);
    for (int i = 1; i <= 7; i++) {
      expect_near(kin.Jpos[i], {0, 0, kHeights[type][i]}, 1e-15);
      expect_near(kin.E[i], robot.E0[i], 0);
      if (robot.Llen[i] > 0) expect_near(kin.LU[i], {0, 0, 1}, 1e-15);
    }
    expect_near(kin.rw, {0, 0, 4.4}, 1e-15);
    expect_near(kin.Ew, kIdentity, 0);
  }
}

// The initial pose lays every arm along +x at height 1.0 with the work turned onto its side.
TEST(ForwardKinematics, InitialPoseOfEveryType) {
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    setup_robot(type);
    forward_kinematics(robot, robot.qInit, kin);
    expect_near(kin.Jpos[7], {3.2, 0, 1.0}, 1e-12);
    expect_near(kin.rw, {3.4, 0, 1.0}, 1e-12);
    expect_near(column(kin.Ew, 0), {0, 0, -1}, 1e-12);
    expect_near(column(kin.Ew, 1), {0, 1, 0}, 1e-12);
    expect_near(column(kin.Ew, 2), {1, 0, 0}, 1e-12);
  }
}

// A twist of joint 1 of type 1 turns the frames about the upright arm and moves no point;
// the zero-length link 1 keeps its previous direction.
TEST(ForwardKinematics, TwistOnlyPoseAndZeroLengthLink) {
  setup_robot(1);
  double q[kJointSlots] = {};
  q[1] = PI / 2;
  kin.LU[1] = {0.25, 0.5, 0.75};
  forward_kinematics(robot, q, kin);
  for (int i = 1; i <= 7; i++) expect_near(kin.Jpos[i], {0, 0, kHeights[1][i]}, 1e-15);
  expect_near(kin.rw, {0, 0, 4.4}, 1e-15);
  // cos(PI / 2) is about -3.5e-15 with the program's PI.
  expect_near(column(kin.E[7], 0), {0, 1, 0}, 1e-14);
  expect_near(column(kin.E[7], 1), {-1, 0, 0}, 1e-14);
  expect_near(column(kin.E[7], 2), {0, 0, 1}, 0);
  expect_near(kin.L[1], {0, 0, 0}, 0);
  expect_near(kin.Jpos[1], kin.Jpos[0], 0);
  expect_near(kin.LU[1], {0.25, 0.5, 0.75}, 0);
}

// Moving the base point translates every position and leaves every direction alone.
TEST(ForwardKinematics, MovingTheBasePoint) {
  std::mt19937 rng(7);
  double q[kJointSlots];
  random_pose(rng, 7, q);
  const Vec3 t = {-2.5, 4.0, 0.75};
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    setup_robot(type);
    forward_kinematics(robot, q, kin);
    const Kinematics atOrigin = kin;
    kin.Jpos[0] = t;
    forward_kinematics(robot, q, kin);
    for (int i = 1; i <= 7; i++) {
      Vec3 moved;
      vadd(atOrigin.Jpos[i], t, moved);
      expect_near(kin.Jpos[i], moved, 1e-14);
      expect_near(kin.E[i], atOrigin.E[i], 0);
      expect_near(kin.L[i], atOrigin.L[i], 0);
    }
    Vec3 moved;
    vadd(atOrigin.rw, t, moved);
    expect_near(kin.rw, moved, 1e-14);
    expect_near(kin.Ew, atOrigin.Ew, 0);
    kin.Jpos[0] = {0, 0, 0};
  }
}

// Over many random poses every frame stays orthonormal and right-handed, every link keeps its
// length, and the joint axis does not depend on the joint's own value.
TEST(ForwardKinematics, RandomPosesKeepFramesAndLengths) {
  std::mt19937 rng(20261207);
  double q[kJointSlots];
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    for (int trial = 0; trial < 500; trial++) {
      random_pose(rng, 7, q);
      forward_kinematics(robot, q, kin);
      for (int i = 1; i <= 7; i++) {
        SCOPED_TRACE(testing::Message() << "type " << type << " trial " << trial << " i " << i);
        Mat3 gram;
        mtmul(kin.E[i], kin.E[i], gram);
        expect_near(gram, kIdentity, 1e-13);
        Vec3 z;
        vcross(column(kin.E[i], 0), column(kin.E[i], 1), z);
        expect_near(z, column(kin.E[i], 2), 1e-13);
        EXPECT_NEAR(vnorm(kin.L[i]), robot.Llen[i], 1e-13);
        Vec3 link;
        vsub(kin.Jpos[i], kin.Jpos[i - 1], link);
        expect_near(link, kin.L[i], 1e-13);
      }
      const Vec3 axis3 = column(kin.E[3], 2);
      q[3] += 1.0;
      forward_kinematics(robot, q, kin);
      expect_near(column(kin.E[3], 2), axis3, 1e-13);
    }
  }
}

// The check's fast kinematics agrees with forward_kinematics to a few ulps on every robot, whose
// frames turn by quarter turns, and on the same robots with two frames tilted off the quarter
// turns, where it takes the general chain.
TEST(ForwardKinematics, FastKinematicsAgreeWithTheExactOnes) {
  std::mt19937 rng(20261209);
  std::uniform_real_distribution<double> angle(-0.7, 0.7);
  double q[kJointSlots];
  for (int type = 1; type <= 4; type++) {
    for (int tilted = 0; tilted < 2; tilted++) {
      setup_robot(type);
      if (tilted) {
        Mat3 turn, leaned;
        mrotz(kIdentity, angle(rng), turn);
        mmul(robot.Erel[3], turn, leaned);
        robot.Erel[3] = leaned;
        robot.Lloc[5] = {0.3, -0.2, robot.Lloc[5].z};
      }
      QuarterTurns turns;
      quarter_turns(robot, turns);
      EXPECT_EQ(turns.holds, !tilted) << "type " << type;
      Kinematics fast = kin;
      for (int trial = 0; trial < 300; trial++) {
        random_pose(rng, 7, q);
        if (trial % 3 == 0) q[trial % 7 + 1] = 1e3 * angle(rng);  // far from the first turn
        forward_kinematics(robot, q, kin);
        forward_kinematics_fast(robot, turns, q, fast);
        SCOPED_TRACE(testing::Message() << "type " << type << " tilted " << tilted);
        for (int i = 1; i <= 7; i++) {
          expect_near(fast.E[i], kin.E[i], 1e-14);
          expect_near(fast.Jpos[i], kin.Jpos[i], 1e-13);
        }
        expect_near(fast.rw, kin.rw, 1e-13);
        expect_near(fast.Ew, kin.Ew, 1e-14);
      }
    }
  }
}

}  // namespace
