#include "app/console_dialogs.h"

#include <cmath>
#include <string>

#include "app/scene_state.h"
#include "app/startup.h"
#include "console_capture.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"
#include "task/workcell_setup.h"

namespace {

// Runs a dialog with text typed at the console; returns what it printed.
std::string run_dialog(void (*dialog)(), const char* typed) {
  FILE* in = typed_input(typed);
  CapturedConsole captured(in);
  dialog();
  const std::string text = captured.text();
  fclose(in);
  return text;
}

// printf into a string.
std::string format(const char* pattern, double a, double b, double c = 0) {
  char text[300];
  snprintf(text, sizeof text, pattern, a, b, c);
  return text;
}

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

const char kGoalPrompt[] = "\n新しいワーク位置(コンマ無しの3数値) rwG[]= ";
const char kWallPrompt[] = "\n新しい端位置(Ｙ座標値のみ入力) rh[]= ";
const char kWallTooFar[] = "\n壁遠すぎる．設定し直し";
const char kNotNumber[] = "\n数値でない入力．その行を捨てて入力し直し";

void use_type(int type) {
  start_scene();
  robot_setup(type, robot);
}

// The wall's reach test for type 1 (arms 3..7 are 1.0, 0.2, 1.8, 0.1, 0.1 long): 1.3 is arm 4,
// 3.05 arm 5; 3.15 would be arm 6 and 3.3 no arm, both refused with the message; a distance
// equal to a cumulative length takes that arm. Catches an off-by-one arm or a < for <=.
TEST(WallDialog, ReachTestAndContactArm) {
  use_type(1);
  std::string text = run_dialog(wall_dialog, "1.3\n");
  EXPECT_EQ(scene.methodB.Mcont, 4);
  EXPECT_EQ(text, format("\n現在の薄壁左端位置 rh[]=(%6.3f %6.3f %6.3f)", 0, 1.3, 0) + kWallPrompt);

  run_dialog(wall_dialog, "3.05\n");
  EXPECT_EQ(scene.methodB.Mcont, 5);
  const Vec3 corners[4] = {{0, 3.05, 0}, {-4, 3.05, 0}, {-4, 3.05, 4}, {0, 3.05, 4}};
  for (int k = 0; k < 4; k++) expect_near(scene.wallCorner[k], corners[k], 0);

  text = run_dialog(wall_dialog, "3.15\n3.3\n-2.5\n");
  EXPECT_EQ(count(text, kWallTooFar), 2) << text;
  EXPECT_EQ(count(text, kWallPrompt), 3);
  // Each new prompt shows the last accepted wall, never a refused one.
  EXPECT_EQ(text.find("rh[]=( 0.000  3.300  0.000)"), std::string::npos) << text;
  EXPECT_EQ(count(text, "rh[]=( 0.000  3.050  0.000)"), 3) << text;
  EXPECT_EQ(cell.rh.y, -2.5);
  EXPECT_EQ(scene.methodB.Mcont, 4);  // the distance counts, not the side: 1.2 < 2.5 <= 3.0

  char exact[64];
  snprintf(exact, sizeof exact, "%.17g\n", robot.Llen[3] + robot.Llen[4]);
  run_dialog(wall_dialog, exact);
  EXPECT_EQ(scene.methodB.Mcont, 3);
}

// The default goal is in reach for every type: from joint 2 of type 1 (LL1 = sqrt(5.69),
// LL2 = 3.2) and from joint 1 of type 3; a goal far away prints both values and asks again,
// showing the refused values meanwhile. Catches the wrong joint, the wrong sum of links, or
// the half height added more than once.
TEST(GoalDialog, ReachTest) {
  use_type(1);
  double LL1, LL2;
  goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2);
  EXPECT_NEAR(LL1, std::sqrt(5.69), 1e-12);
  EXPECT_NEAR(LL2, 3.2, 1e-12);
  std::string text = run_dialog(goal_dialog, "-0.6 2.2 0\n");
  expect_near(cell.rwG, {-0.6, 2.2, 0.1}, 1e-15);
  EXPECT_EQ(text, format("\n\n現在のワーク位置 rwG[]=(%6.3f %6.3f %6.3f) 目標姿勢は変えない", -0.6,
                         2.2, 0) +
                      kGoalPrompt)
      << text;

  text = run_dialog(goal_dialog, "3 2 1\n-1 2 0.5\n");
  EXPECT_EQ(count(text, format("\nワーク位置遠すぎる．(LL1=%6.3f)>(LL2=J1,2-Jn=%6.3f)  設定し直し",
                               std::sqrt(9 + 4 + 0.09), 3.2)),
            1)
      << text;
  // The next prompt shows the last accepted goal, not the refused one.
  EXPECT_EQ(text.find("rwG[]=( 3.000  2.000  1.000)"), std::string::npos) << text;
  EXPECT_EQ(count(text, "rwG[]=(-0.600  2.200  0.000)"), 2) << text;
  expect_near(cell.rwG, {-1, 2, 0.6}, 1e-15);

  for (int type = 2; type <= 4; type++) {
    use_type(type);
    text = run_dialog(goal_dialog, "-0.6 2.2 0\n");
    EXPECT_EQ(count(text, kGoalPrompt), 1) << type;
    goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2);
    EXPECT_LE(LL1, LL2);
  }
  // Type 3 measures from joint 1 at height 1.0 over links 2..7.
  use_type(3);
  goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2);
  EXPECT_NEAR(LL1, std::sqrt(0.36 + 4.84 + 0.49), 1e-12);
  EXPECT_NEAR(LL2, 3.2, 1e-12);
}

// Types 3 and 4 measure from joint 1 of the robot standing at the origin, whatever forward
// kinematics ran last: with the base moved to (0, 1, -2), as the robot-choice menu moves it,
// (0, -2.5) would be out of reach and (0, 3.2) in reach; from the origin it is the reverse. Catches
// a reach taken from a stale pose.
TEST(GoalDialog, ReachFromTheRobotAtTheOrigin) {
  for (int type : {3, 4}) {
    use_type(type);
    kin.Jpos[0] = {0, 1, -2};
    forward_kinematics(robot, scene.qZero, kin);
    std::string text = run_dialog(goal_dialog, "0 3.2 0\n0 -2.5 0\n");
    EXPECT_EQ(count(text, kGoalPrompt), 2) << text;
    expect_near(cell.rwG, {0, -2.5, 0.1}, 1e-15);
    kin.Jpos[0] = {0, 0, 0};
  }
}

// Text that is no number: one line says so, the rest of the line is dropped and the dialog
// asks again; a partly read goal changes nothing and the half height is added once, to the z
// that was read. Catches endless loops on bad text and a goal built from stale numbers.
TEST(GoalDialog, TextThatIsNoNumber) {
  use_type(1);
  std::string text = run_dialog(goal_dialog, "-1 2 zero 7 7\n-1 x\n1,5 2 0\n-1 2 0.5\n");
  EXPECT_EQ(count(text, kNotNumber), 3) << text;
  EXPECT_EQ(count(text, kGoalPrompt), 4);
  // Every repeated question shows the goal as it was.
  EXPECT_EQ(count(text, "rwG[]=(-0.600  2.200  0.000)"), 4) << text;
  expect_near(cell.rwG, {-1, 2, 0.6}, 1e-15);

  text = run_dialog(wall_dialog, "far\n2.0\n");
  EXPECT_EQ(count(text, kNotNumber), 1) << text;
  EXPECT_EQ(cell.rh.y, 2.0);
}

// "nan" and "inf" are reported like words that are no numbers, and no prompt ever shows them.
// Catches a NaN goal shown as the current one ("rwG[]=( nan nan nan)").
TEST(GoalDialog, NonFiniteRefused) {
  use_type(1);
  std::string text =
      run_dialog(goal_dialog, "nan nan nan\n-1 inf 0\n0 0 -inf\n1e400 0 0\n-1 2 0\n");
  EXPECT_EQ(count(text, kNotNumber), 4) << text;
  EXPECT_EQ(count(text, "\nワーク位置遠すぎる．(LL1="), 0) << text;
  EXPECT_EQ(text.find("nan"), std::string::npos) << text;
  EXPECT_EQ(text.find("inf"), std::string::npos) << text;
  expect_near(cell.rwG, {-1, 2, 0.1}, 1e-15);

  text = run_dialog(wall_dialog, "nan\ninf\n-inf\n3.3\n1.5\n");
  EXPECT_EQ(count(text, kNotNumber), 3) << text;
  EXPECT_EQ(count(text, kWallTooFar), 1) << text;
  // After the refused 3.3 the prompt shows the wall as it was.
  EXPECT_EQ(text.find("3.300"), std::string::npos) << text;
  EXPECT_EQ(cell.rh.y, 1.5);
  EXPECT_EQ(scene.methodB.Mcont, 4);
}

// At the end of input the dialogs keep the goal or wall they started with, even after refused
// or partly read values, say so in one line and return; later dialogs return at once. Catches
// a dialog looping on a closed console and a refused value left in place.
TEST(GoalDialog, EndOfInputKeepsThePrevious) {
  use_type(1);
  const Vec3 goal = cell.rwG;
  for (const char* typed : {"", "9 9 9\n", "-1 2", "-1 2 zz\n"}) {
    const std::string text = run_dialog(goal_dialog, typed);
    expect_near(cell.rwG, goal, 0);
    EXPECT_EQ(count(text, "\n入力が終わった．ワーク位置は前の値のまま"), 1) << typed;
  }

  const Vec3 rh = cell.rh;
  const Vec3 corner = scene.wallCorner[1];
  for (const char* typed : {"", "9\n", "nan"}) {
    const std::string text = run_dialog(wall_dialog, typed);
    expect_near(cell.rh, rh, 0);
    expect_near(scene.wallCorner[1], corner, 0);
    EXPECT_EQ(scene.methodB.Mcont, 4);
    EXPECT_EQ(count(text, "\n入力が終わった．薄壁位置は前の値のまま"), 1) << typed;
  }
}

}  // namespace
