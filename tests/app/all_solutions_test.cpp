// Every goal pose at once in the window: 'A' shows the best pose with its message and makes it
// the motion's goal, 'n' steps through the list and wraps, and the poses agree with what Method
// B finds where it finds anything; when Method B repeats itself the window says so.
#include "app/all_solutions.h"

#include <cmath>

#include "app/display.h"
#include "app/keyboard.h"
#include "app/map_job.h"
#include "app/scene_state.h"
#include "console_capture.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// Keys through the window's own callback: dispatch and redraw.
void press(unsigned char key) {
  keyboard(key, 0, 0);
}

void choose_type(int type) {
  scene.setMode = 'F';
  dispatch_key('0' + type);
  scene.setMode = '0';
}

double joint_distance(const double a[], const double b[]) {
  double sum = 0;
  for (int i = 1; i <= 7; i++) sum += std::fabs(angle_diff(a[i], b[i]));
  return sum;
}

// The motion's goal, by forward kinematics: on the goal, in the goal orientation.
void expect_positioned(const double q[]) {
  forward_kinematics(robot, q, kin);
  EXPECT_NEAR(kin.rw.x, cell.rwG.x, 1e-9);
  EXPECT_NEAR(kin.rw.y, cell.rwG.y, 1e-9);
  EXPECT_NEAR(kin.rw.z, cell.rwG.z, 1e-9);
  for (int k = 0; k < 9; k++) EXPECT_NEAR(kin.Ew.m[k], cell.EwG.m[k], 1e-9);
}

std::vector<unsigned char> frame() {
  draw_frame();
  glFinish();
  return read_frame();
}

// Pixels the messages of calculation mode `mode` add to the frame of the same pose.
int message_pixels(char mode) {
  const std::vector<unsigned char> with = frame();
  scene.calcMode = '0';
  const std::vector<unsigned char> without = frame();
  scene.calcMode = mode;
  return differing_pixels(with, without);
}

}  // namespace

// For every type in its default scene: 'A' lists touching poses first, shows the first on the
// robot as the motion's goal with the window's final message, 'n' moves on and wraps round, and
// 'C' with 100 's' plays the motion onto the pose shown.
TEST(AllSolutions, KeysShowEveryPoseInTurn) {
  ASSERT_TRUE(start_program_once());
  for (int type = 1; type <= 4; type++) {
    start_scene();
    FILE* in = typed_input("");
    CapturedConsole captured(in);
    choose_type(type);
    press('A');
    const PlacementResult& result = scene.placements;
    ASSERT_GT(result.count, 0) << type;
    EXPECT_EQ(result.poses[0].kind, kPlacementTouch) << type;
    EXPECT_EQ(scene.calcMode, 'A');
    EXPECT_EQ(scene.placementShown, 0);
    expect_positioned(scene.methodB.qGoal);
    for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], result.poses[0].q[i]);
    EXPECT_GT(message_pixels('A'), 600) << "the final message and the solution line";
    EXPECT_NE(captured.text().find("全解: 接触"), std::string::npos);

    for (int k = 1; k <= result.count; k++) {
      press('n');
      EXPECT_EQ(scene.placementShown, k % result.count);
      expect_positioned(scene.methodB.qGoal);
    }
    press('C');
    for (int k = 0; k < 100; k++) press('s');
    EXPECT_LT(joint_distance(scene.methodB.qr, scene.methodB.qGoal), 1e-9) << type;
  }
}

// Type 1's final pose from Method B is one of the touching poses listed (same arm, within 1e-3
// of joint distance). Type 2's is clear of the edge, inside a clear family of the same arm: the
// free joint's value lies in that family's interval.
TEST(AllSolutions, AgreeWithMethodB) {
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  for (int type : {1, 2}) {
    start_scene();
    choose_type(type);
    dispatch_key('B');
    char last = 'b';
    for (int steps = 0; steps < 1000 && !method_b_final(scene.methodB); steps++)
      dispatch_key(last = method_b_next_key(scene.methodB, last));
    ASSERT_TRUE(method_b_final(scene.methodB)) << type;
    double methodB[kJointSlots];
    qcopy(7, scene.methodB.qGoal, methodB);
    const int arm = scene.methodB.Mcont;
    const int row = method_b_status_row(scene.methodB);
    dispatch_key('A');
    const PlacementResult& result = scene.placements;
    bool matched = false;
    for (int k = 0; k < result.count; k++) {
      const PlacementPose& p = result.poses[k];
      if (p.arm != arm) continue;
      if (row == 3 && p.kind == kPlacementTouch && joint_distance(p.q, methodB) < 1e-3)
        matched = true;
      const double theta = methodB[robot.Lcont];
      const double offset = std::remainder(theta - p.thetaLo, 2 * PI);
      const double from = offset < 0 ? offset + 2 * PI : offset;
      if (row == 4 && p.kind == kPlacementClear && from <= p.thetaHi - p.thetaLo) matched = true;
    }
    EXPECT_TRUE(matched) << "type " << type << " row " << row;
  }
}

// Types 3 and 4 in the default scene: Method B's steps come back to the same state; after that
// the window adds its line (more pixels than the status message alone).
TEST(AllSolutions, MethodBCannotProgressLine) {
  ASSERT_TRUE(start_program_once());
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  for (int type : {3, 4}) {
    start_scene();
    choose_type(type);
    press('B');
    press('a');
    press('b');
    char last = 'b';
    for (int steps = 0; steps < 1000 && !scene.methodBStuck; steps++)
      press(last = method_b_next_key(scene.methodB, last));
    ASSERT_TRUE(scene.methodBStuck) << type;
    EXPECT_FALSE(method_b_final(scene.methodB));
    const int withLine = message_pixels('B');
    scene.methodBStuck = false;
    EXPECT_GT(withLine, message_pixels('B') + 200) << type;
  }
}

// 'M' draws the map of the current type and wall on the floor once computed (the frame
// changes), 'M' again and a new robot hide it (the frame is the one without the map).
TEST(FloorMap, KeyShowsAndHides) {
  ASSERT_TRUE(start_program_once());
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  start_scene();
  draw_frame();
  glFinish();
  const std::vector<unsigned char> plain = read_frame();
  press('M');
  floor_map_wait();
  ASSERT_TRUE(scene.floorMapShown);
  EXPECT_EQ(scene.floorMap.type, 1);
  draw_frame();
  glFinish();
  EXPECT_GT(differing_pixels(plain, read_frame()), 5000);
  press('M');
  EXPECT_FALSE(scene.floorMapShown);
  draw_frame();
  glFinish();
  EXPECT_EQ(differing_pixels(plain, read_frame()), 0);
  // Computed at once this time: every cell clear.
  floor_map_use_evaluator(
      [](int, const Workcell&, double, double, MapCell& c) { c.cls = kMapClear; });
  press('M');
  floor_map_wait();
  floor_map_use_evaluator(nullptr);
  EXPECT_TRUE(scene.floorMapShown);
  choose_type(1);
  EXPECT_FALSE(scene.floorMapShown);
  EXPECT_NE(captured.text().find("実行可能性マップ完了"), std::string::npos);
}
