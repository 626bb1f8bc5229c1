#include "task/contact_arm_rules.h"

#include <gtest/gtest.h>

#include "model/robot_catalogue.h"

namespace {

int guessed_arm(RobotModel& robot, int type, double wallY, int previousMcont) {
  robot_setup(type, robot);
  int Mcont = previousMcont;
  guess_contact_arm(robot, {0, wallY, 0}, Mcont);
  return Mcont;
}

}  // namespace

// The guess measures from joint 2's height and keeps Mcont when no link spans the edge's
// distance.
TEST(ContactArmRules, GuessMeasuresFromJointTwo) {
  RobotModel robot;
  EXPECT_EQ(guessed_arm(robot, 1, 1.3, 7), 4);
  for (int type = 2; type <= 4; type++) EXPECT_EQ(guessed_arm(robot, type, 1.3, 7), 3) << type;
  for (int type = 1; type <= 4; type++) EXPECT_EQ(guessed_arm(robot, type, 0.5, 7), 2) << type;
  for (int type = 1; type <= 4; type++) EXPECT_EQ(guessed_arm(robot, type, 3.3, 6), 6) << type;
}

// A crossing arm comes first, then the nearest one.
TEST(ContactArmRules, MethodBPrefersTheCrossingArm) {
  EXPECT_EQ(method_b_contact_arm(3, 5, 4), 5);
  EXPECT_EQ(method_b_contact_arm(3, 0, 4), 3);
  EXPECT_EQ(method_b_contact_arm(4, 0, 4), 4);
}
