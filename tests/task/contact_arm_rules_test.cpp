#include "task/contact_arm_rules.h"

#include <gtest/gtest.h>

#include "model/robot_catalogue.h"

namespace {

int guessed_arm(RobotModel& robot, Workcell& cell, int type, double wallY, int previousMcont) {
  robot_setup(type, robot);
  cell.rh = {0, wallY, 0};
  cell.Mcont = previousMcont;
  guess_contact_arm(robot, cell);
  return cell.Mcont;
}

}  // namespace

// The guess measures from joint 2's height and keeps Mcont when no link spans the edge's
// distance; start-up takes arm 4 and the distance from the origin whatever came before.
TEST(ContactArmRules, GuessAndStartUp) {
  RobotModel robot;
  Workcell cell;
  EXPECT_EQ(guessed_arm(robot, cell, 1, 1.3, 7), 4);
  for (int type = 2; type <= 4; type++)
    EXPECT_EQ(guessed_arm(robot, cell, type, 1.3, 7), 3) << type;
  for (int type = 1; type <= 4; type++)
    EXPECT_EQ(guessed_arm(robot, cell, type, 0.5, 7), 2) << type;
  for (int type = 1; type <= 4; type++) {
    EXPECT_EQ(guessed_arm(robot, cell, type, 3.3, 6), 6) << type;
    EXPECT_NEAR(cell.wallDist, 3.3, 1e-15);
  }
  cell.rh = {0.3, 0.4, 0};
  startup_contact_arm(cell);
  EXPECT_EQ(cell.Mcont, 4);
  EXPECT_DOUBLE_EQ(cell.wallDist, 0.5);
}

// A crossing arm comes first, then the nearest one.
TEST(ContactArmRules, MethodBPrefersTheCrossingArm) {
  EXPECT_EQ(method_b_contact_arm(3, 5, 4), 5);
  EXPECT_EQ(method_b_contact_arm(3, 0, 4), 3);
  EXPECT_EQ(method_b_contact_arm(4, 0, 4), 4);
}
