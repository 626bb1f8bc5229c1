#include "app/keyboard.h"

#include <string>

#include "app/display.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// One hundredth of a turn, as the digit keys jog a joint.
const double kJog = 2 * PI / 100;

void press(unsigned char key) {
  keyboard(key, 0, 0);
}

// The default scene in the program's own window.
void open_session() {
  ASSERT_TRUE(start_program_once());
  start_scene();
}

// Fills the back buffer with a colour no frame has; frame_drawn then tells whether a key drew a
// frame since (the frame clears to white, and the buffer swap keeps the back buffer's content).
void mark_back_buffer() {
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(1, 1, 1, 1);
  glFinish();
}
bool frame_drawn() {
  glFinish();
  const Pixel p = read_pixel(598, 300);
  return !(p.r == 0 && p.g == 255 && p.b == 0);
}

bool same_joints(const double a[], const double b[]) {
  for (int i = 0; i <= 7; i++)
    if (a[i] != b[i]) return false;
  return true;
}

// Robot choice: 'F' shows the menu; '3' puts type 3 in its initial pose with the banner and
// settings and stays in choice mode, so '4' switches again at once; '5' there is no command
// and draws nothing. Catches a choice mode that ends after one digit, a stale pose or model,
// and digits falling through to jogging.
TEST(Keyboard, RobotChoice) {
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('F');
  EXPECT_EQ(scene.setMode, 'F');
  EXPECT_EQ(scene.menuState, '4');

  press('3');
  EXPECT_EQ(robot.type, 3);
  EXPECT_STREQ(robot.jrtypeText, " QPRPRPR\n");
  EXPECT_EQ(scene.menuState, '1');
  EXPECT_EQ(scene.setMode, 'F');
  EXPECT_TRUE(same_joints(scene.methodB.qr, robot.qInit));
  const std::string text = captured.text();
  EXPECT_EQ(text.find("\n\n//--------------ロボットの変更-------------------------//"), 0u) << text;
  EXPECT_NE(text.find("JRTYPE3='QP-RP-RPR'"), std::string::npos) << text;

  press('4');
  EXPECT_EQ(robot.type, 4);
  EXPECT_STREQ(robot.jrtypeText, " QPPQRPR\n");
  EXPECT_TRUE(same_joints(scene.methodB.qr, robot.qInit));

  const std::string before = captured.text();
  double qr[kJointSlots];
  qcopy(7, scene.methodB.qr, qr);
  mark_back_buffer();
  for (unsigned char key : {'5', '7', 'a', 's', 'k'}) press(key);
  EXPECT_FALSE(frame_drawn());
  EXPECT_EQ(robot.type, 4);
  EXPECT_TRUE(same_joints(scene.methodB.qr, qr));
  EXPECT_EQ(captured.text(), before);
  fclose(in);
}

// Contact-arm mode for every type: 's' turns joint Lcont by 0.05 rad, forward when the first
// joint's letter is 'R', backward otherwise; a key above 7 is only reported, an arm 1..7 is
// taken and ends the mode; ESC and command keys are arm numbers there. Catches a wrong joint or
// direction, keys leaking into other commands, and ESC ending the program in this mode.
TEST(Keyboard, ContactArmMode) {
  open_session();
  for (int type = 1; type <= 4; type++) {
    FILE* in = typed_input("");
    CapturedConsole captured(in);
    scene.setMode = 'F';
    press('0' + type);
    press('7');  // jogged away from the initial pose; 'D' puts it back
    press('D');
    EXPECT_EQ(scene.setMode, 'D');
    EXPECT_TRUE(same_joints(scene.methodB.qr, robot.qInit));
    for (int k = 0; k < 3; k++) press('s');
    const int Lcont = robot.Lcont;
    EXPECT_EQ(Lcont, type <= 2 ? 1 : 2);
    const double turn = type <= 2 ? 0.15 : -0.15;
    for (int i = 1; i <= 7; i++) {
      const double expected = robot.qInit[i] + (i == Lcont ? turn : 0);
      EXPECT_NEAR(scene.methodB.qr[i], expected, 1e-15) << "type " << type << " joint " << i;
    }

    const int Mcont = scene.methodB.Mcont;
    for (unsigned char key : {'9', '\x1b', 'B', 'C', 'a', 'P'}) press(key);
    EXPECT_EQ(scene.setMode, 'D');
    EXPECT_EQ(scene.calcMode, '0');
    EXPECT_EQ(scene.viewRot[0], 2.0);
    EXPECT_EQ(scene.methodB.Mcont, Mcont);
    const std::string text = captured.text();
    EXPECT_NE(text.find("\nkey=9 Mcont=9\nkey=\x1b Mcont=100\nkey=B Mcont=100\nkey=C Mcont=100"),
              std::string::npos)
        << text;

    press('5');
    EXPECT_EQ(scene.methodB.Mcont, 5);
    EXPECT_EQ(scene.setMode, '0');
    fclose(in);
  }
}

// ESC ends the program with status 0 outside contact-arm mode.
TEST(KeyboardDeathTest, EscapeEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('D');
  press('\x1b');
  press('0');
  EXPECT_EXIT(press('\x1b'), testing::ExitedWithCode(0), "");
  fclose(in);
}

// Digits jog their joint by a hundredth of a turn only while no calculation runs: not after
// 'B', again after '0'. Other keys then only redraw. Catches jogging during Method B or the
// motion, and the wrong joint or step.
TEST(Keyboard, JoggingOnlyWithoutCalculation) {
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('B');
  double qr[kJointSlots];
  qcopy(7, scene.methodB.qr, qr);
  mark_back_buffer();
  press('3');
  EXPECT_TRUE(same_joints(scene.methodB.qr, qr));
  EXPECT_FALSE(frame_drawn());

  press('0');
  EXPECT_EQ(scene.calcMode, '0');
  press('3');
  EXPECT_NEAR(scene.methodB.qr[3], robot.qInit[3] + kJog, 1e-12);
  for (int k = 1; k <= 7; k++) press('0' + k);
  for (int i = 1; i <= 7; i++)
    EXPECT_NEAR(scene.methodB.qr[i], robot.qInit[i] + (i == 3 ? 2 : 1) * kJog, 1e-12) << i;

  qcopy(7, scene.methodB.qr, qr);
  for (unsigned char key : {'8', '9', 'k', 'S', '\0', '\xff'}) {
    mark_back_buffer();
    press(key);
    EXPECT_TRUE(frame_drawn()) << int(key);
  }
  EXPECT_TRUE(same_joints(scene.methodB.qr, qr));
  fclose(in);
}

// The view keys turn by a degree and shift by 0.1 in every mode but contact-arm mode, and
// redraw. Catches swapped axes or signs.
TEST(Keyboard, ViewKeys) {
  open_session();
  for (int k = 0; k < 10; k++) press('P');
  EXPECT_NEAR(scene.viewRot[0], 12.0, 1e-12);
  press('x');
  EXPECT_NEAR(scene.viewShift[0], -1.1, 1e-12);

  const char* keys = "pQqRrXYyZz";
  const double rot[3] = {11.0, 2.0, 2.0}, shift[3] = {-1.0, -1.0, -2.0};
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('B');  // the view keys act during Method B as well
  for (const char* key = keys; *key != '\0'; key++) {
    mark_back_buffer();
    press(*key);
    EXPECT_TRUE(frame_drawn()) << *key;
  }
  for (int k = 0; k < 3; k++) {
    EXPECT_NEAR(scene.viewRot[k], rot[k], 1e-12) << k;
    EXPECT_NEAR(scene.viewShift[k], shift[k], 1e-12) << k;
  }
  fclose(in);
}

// 'G' and 'O' end a running calculation, run their dialog, put the robot in its initial pose
// and print banner, settings and the way back to the window, in that order. With the console
// at its end they keep goal and wall, and the window goes on working. Catches a dialog that
// loops on a closed console and modes left running.
TEST(Keyboard, GoalAndWallKeys) {
  open_session();
  FILE* in = typed_input("-1 2 0\n1.0\n");
  CapturedConsole captured(in);
  press('B');
  press('a');
  press('G');
  EXPECT_EQ(scene.setMode, 'G');
  EXPECT_EQ(scene.calcMode, '0');
  EXPECT_TRUE(same_joints(scene.methodB.qr, robot.qInit));
  expect_near(cell.rwG, {-1, 2, 0.1}, 1e-15);
  std::string text = captured.text();
  const size_t prompt = text.find("新しいワーク位置(コンマ無しの3数値) rwG[]= ");
  const size_t banner = text.find("//--------------ワークの目標位置変更-------------------//");
  const size_t settings = text.find("( -1.00   2.00   0.00)");
  const size_t back = text.rfind("\n\n....描画画面へ......");
  EXPECT_LT(prompt, banner);
  EXPECT_LT(banner, settings);
  EXPECT_LT(settings, back);
  EXPECT_EQ(back + strlen("\n\n....描画画面へ......"), text.size());

  press('B');
  press('O');
  EXPECT_EQ(scene.setMode, 'O');
  EXPECT_EQ(scene.calcMode, '0');
  EXPECT_EQ(cell.rh.y, 1.0);
  EXPECT_EQ(scene.wallCorner[2].y, 1.0);
  text = captured.text();
  EXPECT_NE(text.find("//--------------薄壁位置の変更-------------------------//", settings),
            std::string::npos);
  EXPECT_NE(text.find("rh[]=(  0.00   1.00   0.00)\n\n\n....描画画面へ......"), std::string::npos)
      << text;

  // The console has ended: both dialogs return at once and change nothing.
  press('G');
  press('O');
  expect_near(cell.rwG, {-1, 2, 0.1}, 1e-15);
  EXPECT_EQ(cell.rh.y, 1.0);
  press('3');
  EXPECT_NEAR(scene.methodB.qr[3], robot.qInit[3] + kJog, 1e-12);
  fclose(in);
}

// The digit keys' values.
TEST(KeyToNumber, DigitsAndOthers) {
  for (int k = 0; k <= 9; k++) EXPECT_EQ(key_to_number('0' + k), k);
  for (unsigned char key : {'a', 'F', '/', ':', '\x1b', '\0', '\xff'})
    EXPECT_EQ(key_to_number(key), 100);
}

}  // namespace
