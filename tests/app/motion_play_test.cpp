// 'T' after 'W': the wall-free motion played in real time, each pose shown free by the test's own
// judge, ending at the motion's last pose; a key stops it where it is and does nothing else.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/keyboard.h"
#include "app/motion.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "workcell_judge.h"
#include "xvfb_display.h"

namespace {

void press(unsigned char key) {
  keyboard(key, 0, 0);
}

// The scene of a listed pose whose straight motion cuts the wall, as the goal: 'W' plans.
void set_planned_scene() {
  ASSERT_TRUE(start_program_once());
  start_scene();
  rebuild_robot(4);
  cell.rwG = {0.437, 1.068, 1.374 + 0.1};
  cell.rh = {0, 1.465, 0};
  set_initial_pose();
  static PlacementResult r;
  placement_solve(robot, cell, robot.qInit, PlacementOptions(), r);
  int k = 0;
  while (k < r.count && !judge::line_collides(robot, cell.rh, robot.qInit, r.poses[k].q)) k++;
  ASSERT_LT(k, r.count) << "no listed pose with a colliding straight motion";
  qcopy(7, r.poses[k].q, scene.methodB.qGoal);
}

// Ticks the playing about every 20 ms until it stops (at most `seconds`); returns the number of
// distinct poses shown, each judged free.
int play_to_the_end(double seconds) {
  int distinct = 0;
  double last[kJointSlots] = {};
  const auto start = std::chrono::steady_clock::now();
  while (wall_free_motion_playing() &&
         std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    wall_free_motion_play_tick();
    EXPECT_TRUE(judge::valid_pose(robot, cell.rh, scene.methodB.qr));
    bool same = true;
    for (int i = 1; i <= 7; i++) same = same && scene.methodB.qr[i] == last[i];
    if (!same) distinct++;
    for (int i = 1; i <= 7; i++) last[i] = scene.methodB.qr[i];
  }
  return distinct;
}

TEST(MotionPlay, PlaysToTheGoalAndStopsOnAKey) {
  set_planned_scene();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('W');
  ASSERT_TRUE(scene.wallFreeFound) << captured.text();
  const std::string text = captured.text();
  const size_t hint = text.find("'T'");
  ASSERT_NE(hint, std::string::npos) << text;
  const double duration = std::strtod(text.c_str() + text.find('(', hint) + 1, nullptr);
  ASSERT_GT(duration, 0) << text;

  press('T');
  EXPECT_TRUE(wall_free_motion_playing());
  EXPECT_GT(play_to_the_end(duration + 5), 5);
  EXPECT_FALSE(wall_free_motion_playing());
  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], scene.wallFree[kMotionSteps][i]);

  // Again from the initial pose; a view key then stops it, moving neither the robot nor the view.
  press('T');
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  wall_free_motion_play_tick();
  double q[kJointSlots];
  qcopy(7, scene.methodB.qr, q);
  const double shift = scene.viewShift[0];
  press('X');
  EXPECT_FALSE(wall_free_motion_playing());
  EXPECT_EQ(scene.viewShift[0], shift);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  wall_free_motion_play_tick();
  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], q[i]);
  bool moved = false;
  for (int i = 1; i <= 7; i++) moved = moved || q[i] != robot.qInit[i];
  EXPECT_TRUE(moved) << "the robot did not leave its initial pose in 0.3 s";
  fclose(in);
}

}  // namespace
