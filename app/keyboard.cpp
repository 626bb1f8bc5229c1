#include "app/keyboard.h"

#include <cstdlib>

#include "app/all_solutions.h"
#include "app/console.h"
#include "app/console_dialogs.h"
#include "app/map_job.h"
#include "app/method_b.h"
#include "app/motion.h"
#include "app/scene_state.h"

namespace {

// One hundredth of a turn: the jog of a joint per digit key.
constexpr double kJogStep = 0.062831853072;
// Turn of joint Lcont per 's' in contact-arm mode.
constexpr double kArmSearchStep = 0.05;

const char kBackToWindow[] = "\n\n....描画画面へ......";

// What every setting key does first: no calculation runs any more.
void mode_reset() {
  scene.calcMode = '0';
  method_b_reset(scene.methodB);
}

void reset_key() {
  scene.setMode = '0';
  mode_reset();
  scene.menuState = '1';
  set_initial_pose();
}

void robot_menu_key() {
  scene.setMode = 'F';
  mode_reset();
  scene.menuState = '4';
}

// A digit '1'..'4' in robot-choice mode: that robot type in its initial pose. The mode stays,
// so another digit chooses again.
void choose_robot(unsigned char key) {
  scene.calcMode = '0';
  rebuild_robot(key_to_number(key));
  hide_floor_map();
  scene.menuState = '1';
  set_initial_pose();
  console_printf("\n\n//--------------ロボットの変更-------------------------//");
  print_settings();
  method_b_reset(scene.methodB);
}

void goal_key() {
  scene.setMode = 'G';
  mode_reset();
  goal_dialog();
  set_initial_pose();
  console_printf("\n\n//--------------ワークの目標位置変更-------------------//");
  print_settings();
  console_printf("%s", kBackToWindow);
}

void wall_key() {
  scene.setMode = 'O';
  mode_reset();
  wall_dialog();
  hide_floor_map();
  set_initial_pose();
  console_printf("\n\n//--------------薄壁位置の変更-------------------------//");
  print_settings();
  console_printf("%s", kBackToWindow);
}

void contact_arm_mode_key() {
  scene.setMode = 'D';
  mode_reset();
  set_initial_pose();
}

// 's' in contact-arm mode: turns joint Lcont a little, the way the type's first joint letter
// says, so the user sees which arm swings into the wall edge.
void turn_contact_joint() {
  const int Lcont = robot.Lcont;
  if (robot.jointAxisLetter[1] == 'R')
    scene.methodB.qr[Lcont] += kArmSearchStep;
  else
    scene.methodB.qr[Lcont] -= kArmSearchStep;
}

// Any other key in contact-arm mode names the arm; only 1..7 are taken and end the mode.
void name_contact_arm(unsigned char key) {
  const int n = key_to_number(key);
  console_printf("\nkey=%c Mcont=%d", key, n);
  if (n <= 7) {
    scene.methodB.Mcont = n;
    scene.setMode = '0';
  }
}

// View keys: 'P', 'Q', 'R' turn the view by a degree about X, Y, Z, and 'X', 'Y', 'Z' shift it
// by 0.1 along them; the small letter goes the other way. Returns false for any other key,
// changing nothing.
bool move_view(unsigned char key) {
  const char turnKeys[] = "PQR", shiftKeys[] = "XYZ";
  for (int k = 0; k < 3; k++) {
    const int lower = 'a' - 'A';
    if (key == turnKeys[k])
      scene.viewRot[k] += 1.0;
    else if (key == turnKeys[k] + lower)
      scene.viewRot[k] -= 1.0;
    else if (key == shiftKeys[k])
      scene.viewShift[k] += 0.1;
    else if (key == shiftKeys[k] + lower)
      scene.viewShift[k] -= 0.1;
    else
      continue;
    return true;
  }
  return false;
}

// Keys no other test took: with no calculation running and outside robot choice, '1'..'7' jog
// their joint and any key redraws; otherwise nothing happens (returns false).
bool other_key(unsigned char key) {
  if (scene.calcMode != '0' || scene.setMode == 'F') return false;
  const int k = key_to_number(key);
  if (k >= 1 && k <= 7) scene.methodB.qr[k] += kJogStep;
  return true;
}

}  // namespace

int key_to_number(unsigned char key) {
  return key >= '0' && key <= '9' ? key - '0' : 100;
}

bool dispatch_key(unsigned char key) {
  // While the map is computed the scene stays as it is: ESC still quits, any other key is only
  // noted for the window.
  if (floor_map_computing()) {
    if (key == 27) {
      floor_map_cancel();
      exit(0);
    }
    floor_map_note_ignored_key(key);
    return true;
  }
  // A key while the wall-free motion plays only stops it.
  if (wall_free_motion_playing()) {
    wall_free_motion_stop();
    return true;
  }
  // The order of the tests matters: a key an earlier test takes never reaches a later one.
  if (key == '0')
    reset_key();
  else if (key == 'F')
    robot_menu_key();
  else if (scene.setMode == 'F' && key >= '1' && key <= '4')
    choose_robot(key);
  else if (key == 'G')
    goal_key();
  else if (key == 'O')
    wall_key();
  else if (key == 'D')
    contact_arm_mode_key();
  else if (scene.setMode == 'D' && key == 's')
    turn_contact_joint();
  else if (scene.setMode == 'D')
    name_contact_arm(key);
  else if (key == 'B')
    method_b_start();
  else if (scene.calcMode == 'B' && key == 'a')
    method_b_key_a();
  else if (scene.calcMode == 'B' && key == 'b')
    method_b_key_b();
  else if (key == 'A')
    all_solutions_key();
  else if (scene.calcMode == 'A' && key == 'n')
    next_solution_key();
  else if (key == 'M')
    floor_map_key();
  else if (key == 'C')
    motion_start();
  else if (scene.calcMode == 'C' && key == 's')
    motion_step();
  else if (key == 'W')
    wall_free_motion_start();
  else if (scene.calcMode == 'W' && key == 's')
    wall_free_motion_step();
  else if (scene.calcMode == 'W' && key == 'T')
    wall_free_motion_play();
  else if (key == 27)
    exit(0);
  else if (!move_view(key))
    return other_key(key);
  return true;
}
