#include "app/motion.h"

#include <algorithm>
#include <cmath>

#include "app/keyboard.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"
#include "workcell_judge.h"
#include "xvfb_display.h"

namespace {

void press(unsigned char key) {
  keyboard(key, 0, 0);
}

// Robot type in the default scene, with the motion's goal at the initial pose moved by change.
void set_goal(int type, const double change[8]) {
  ASSERT_TRUE(start_program_once());
  start_scene();
  robot_setup(type, robot);
  set_initial_pose();
  for (int i = 0; i <= 7; i++) scene.methodB.qGoal[i] = robot.qInit[i] + change[i];
}

// Presses 's' until the robot stands at its goal; returns the number of presses (at most 200).
int presses_to_arrive() {
  for (int k = 1; k <= 200; k++) {
    press('s');
    bool there = true;
    for (int i = 1; i <= 7; i++) there = there && scene.methodB.qr[i] == scene.methodB.qGoal[i];
    if (there) return k;
  }
  return 200;
}

// The motion arrives exactly at the goal: at the 100th press when joint 1 turns far, earlier
// when it turns little (its step product falls within the tolerance: 0.1 rad arrives at the
// 98th), at the first when it does not turn; it stays there afterwards and 'C' starts over.
// Catches an arrival test on the wrong joint or sign, overshoot, and a goal never reached.
TEST(Motion, ArrivesAtTheGoal) {
  const struct {
    double joint1;
    int presses;
  } cases[] = {{1.0, 100}, {-0.3, 100}, {0.1, 98}, {0.0, 1}};
  for (const auto& c : cases) {
    const double change[8] = {0, c.joint1, 0.5, -0.25, 1.0, 0, -2.0, 0.125};
    set_goal(3, change);
    press('C');
    EXPECT_EQ(scene.calcMode, 'C');
    for (int i = 0; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], robot.qInit[i]) << i;
    EXPECT_EQ(presses_to_arrive(), c.presses) << c.joint1;
    for (int k = 0; k < 5; k++) press('s');
    for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], scene.methodB.qGoal[i]) << i;
  }
  // Part way: every joint has gone the same share of its plain difference.
  const double change[8] = {0, 1.0, 0.5, -0.25, 1.0, 0, -2.0, 0.125};
  set_goal(3, change);
  press('s');  // not in motion mode: only a redraw
  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], robot.qInit[i]) << i;
  press('C');
  for (int k = 0; k < 40; k++) press('s');
  for (int i = 1; i <= 7; i++)
    EXPECT_NEAR(scene.methodB.qr[i], robot.qInit[i] + 0.4 * change[i], 1e-12) << i;
  press('C');
  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], robot.qInit[i]) << i;
}

// The step is the plain difference, so a joint asked to turn by more than pi goes the long
// way; and with no solution yet the goal is the all-zero pose, which type 1 reaches at the
// first press since its joint 1 starts at 0. 'C' in contact-arm mode names an arm instead.
TEST(Motion, PlainDifferenceAndZeroGoal) {
  const double change[8] = {0, 2.0, 0, 5.0, 0, 0, 0, 0};
  set_goal(4, change);
  press('C');
  for (int k = 0; k < 50; k++) press('s');
  EXPECT_NEAR(scene.methodB.qr[3], robot.qInit[3] + 2.5, 1e-12);

  const double none[8] = {};
  set_goal(1, none);
  for (int i = 0; i <= 7; i++) scene.methodB.qGoal[i] = 0;
  press('C');
  press('s');
  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], 0.0) << i;

  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('D');
  press('C');
  EXPECT_EQ(scene.calcMode, '0');
  EXPECT_EQ(scene.setMode, 'D');
  fclose(in);
}

// A listed pose whose straight motion cuts the wall: 'C' says so at the console and
// keeps its motion; 'W' plays instead a motion in 100 steps of equal joint-space length from the
// initial pose to that pose, every step free by the judge (sampled between the steps too).
// Catches an unchecked or wrongly reported straight motion, a planned path through the wall, a
// wrong start or end, and unequal steps.
TEST(Motion, WallFreeMotionAroundTheWall) {
  ASSERT_TRUE(start_program_once());
  start_scene();
  rebuild_robot(4);
  cell.rwG = {0.437, 1.068, 1.374 + 0.1};
  cell.rh = {0, 1.465, 0};
  set_initial_pose();
  static PlacementResult r;
  placement_solve(robot, cell, robot.qInit, PlacementOptions(), r);
  const double* qInit = robot.qInit;
  int k = 0;
  while (k < r.count && !judge::line_collides(robot, cell.rh, qInit, r.poses[k].q)) k++;
  ASSERT_LT(k, r.count) << "no listed pose with a colliding straight motion";
  qcopy(7, r.poses[k].q, scene.methodB.qGoal);
  FILE* in = typed_input("");
  {
    CapturedConsole captured(in);
    press('C');
    EXPECT_TRUE(scene.straight.collides);
    EXPECT_NE(captured.text().find("直線運動はステップ"), std::string::npos);
  }
  CapturedConsole captured(in);
  press('W');
  EXPECT_EQ(scene.calcMode, 'W');
  ASSERT_TRUE(scene.wallFreeFound) << captured.text();
  for (int i = 1; i <= 7; i++) {
    EXPECT_EQ(scene.methodB.qr[i], qInit[i]);
    EXPECT_EQ(scene.wallFree[0][i], qInit[i]);
    EXPECT_NEAR(std::remainder(scene.wallFree[kMotionSteps][i] - scene.methodB.qGoal[i], 2 * PI), 0,
                1e-12);
  }
  double first = -1;
  for (int step = 1; step <= kMotionSteps; step++) {
    press('s');
    for (int i = 1; i <= 7; i++) ASSERT_EQ(scene.methodB.qr[i], scene.wallFree[step][i]);
    ASSERT_FALSE(
        judge::line_collides(robot, cell.rh, scene.wallFree[step - 1], scene.wallFree[step]))
        << step;
    double d = 0;
    for (int i = 1; i <= 7; i++) {
      const double dq = scene.wallFree[step][i] - scene.wallFree[step - 1][i];
      d += dq * dq;
    }
    if (first < 0) first = std::sqrt(d);
    // Equal lengths, except where a step spans a corner of the path (then shorter).
    EXPECT_LE(std::sqrt(d), first * (1 + 1e-9)) << step;
  }
  fclose(in);
}

}  // namespace
