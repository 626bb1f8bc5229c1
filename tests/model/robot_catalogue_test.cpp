#include "model/robot_catalogue.h"

#include <cstring>

#include "core_state.h"
#include "support.h"

namespace {

// Out-of-range types fall back to type 1 with all of its settings.
TEST(RobotCatalogue, UnknownTypesBuildTypeOne) {
  for (int type : {0, 5, -3, 1}) {
    robot_setup(type, robot);
    EXPECT_EQ(robot.type, 1) << type;
    EXPECT_STREQ(robot.jrtypeText, " RQRPRPR\n") << type;
    EXPECT_EQ(robot.posJoints[0], 2);
    EXPECT_EQ(robot.posJoints[1], 3);
    EXPECT_EQ(robot.posJoints[2], 4);
    EXPECT_EQ(robot.Lcont, 1);
    EXPECT_EQ(robot.qInit[2], PI / 2.0);
  }
}

// Per type: axis letters, link lengths, positioning joints, contact joint and initial pose.
TEST(RobotCatalogue, TypesAndLinkLengths) {
  struct Expected {
    const char* text;
    double Llen[8];
    int I, J, K, Lcont, bendingJoint;
  };
  const Expected expected[5] = {
      {},
      {" RQRPRPR\n", {0, 0, 1.0, 1.0, 0.2, 1.8, 0.1, 0.1}, 2, 3, 4, 1, 2},
      {" RQPPRPR\n", {0, 0, 1.0, 1.2, 0.8, 1.0, 0.1, 0.1}, 2, 3, 4, 1, 2},
      {" QPRPRPR\n", {0, 1.0, 0.2, 1.0, 0.8, 1.0, 0.1, 0.1}, 1, 3, 4, 2, 1},
      {" QPPQRPR\n", {0, 1.0, 0.2, 1.0, 0.8, 1.0, 0.1, 0.1}, 1, 3, 4, 2, 1},
  };
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    robot_setup(type, robot);
    const Expected& e = expected[type];
    EXPECT_EQ(robot.type, type);
    EXPECT_EQ(robot.N, 7);
    EXPECT_EQ(std::memcmp(robot.jrtypeText, e.text, 10), 0);
    for (int i = 1; i <= 7; i++) {
      EXPECT_EQ(robot.jointAxisLetter[i], e.text[i]);
      EXPECT_EQ(robot.jointKind[i], 'R');
      EXPECT_NEAR(robot.Llen[i], e.Llen[i], 1e-15) << "link " << i;
    }
    EXPECT_EQ(robot.wristChar, 'R');
    EXPECT_EQ(robot.posJoints[0], e.I);
    EXPECT_EQ(robot.posJoints[1], e.J);
    EXPECT_EQ(robot.posJoints[2], e.K);
    EXPECT_EQ(robot.Lcont, e.Lcont);
    for (int i = 1; i <= 7; i++)
      EXPECT_EQ(robot.qInit[i], i == e.bendingJoint ? PI / 2.0 : 0.0) << "joint " << i;
    expect_near(robot.rwLoc, {0, 0, 0.2}, 1e-15);
    EXPECT_NEAR(robot.handLength, 0.2, 1e-15);
    EXPECT_EQ(robot.linkRadius, 0.1);
    EXPECT_EQ(robot.edgeRadius, 0.0);
  }
}

// A model rebuilt as another type keeps nothing of the old type's initial pose, not even a joint
// the new type leaves at zero, nor the spare slots.
TEST(RobotCatalogue, RebuildReplacesTheInitialPose) {
  robot_setup(3, robot);
  for (double& q : robot.qInit) q = 9;
  robot_setup(2, robot);
  EXPECT_EQ(robot.type, 2);
  for (int i = 0; i < kJointSlots; i++) EXPECT_EQ(robot.qInit[i], i == 2 ? PI / 2.0 : 0.0) << i;
}

}  // namespace
