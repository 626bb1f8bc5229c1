// The shell driven without its window, for the shell fuzz target and the soak: the start-up
// scene of a fresh process, console text typed from memory, console output discarded, keys
// through the keyboard dispatcher, and the invariants the scene keeps after every key.
#pragma once

#include <sys/types.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "app/keyboard.h"
#include "app/scene_state.h"
#include "contact/line_contact.h"
#include "fuzz/fuzz_values.h"
#include "ik/poinv.h"
#include "model/state.h"
#include "task/workcell_setup.h"

// The ESC key. Outside contact-arm mode it ends the program (exit(0)), which would end the
// fuzz run, so the drivers never press it there; in contact-arm mode it names an arm and is
// pressed like any key.
constexpr unsigned char kEscape = 27;

// Console output that goes nowhere without a system call per message (the solver steps print
// long traces).
inline FILE* discarding_stream() {
  cookie_io_functions_t io = {};
  io.write = [](void*, const char*, size_t size) -> ssize_t { return static_cast<ssize_t>(size); };
  return fopencookie(nullptr, "w", io);
}

// The scene a fresh process starts from: every shared struct zeroed, as static storage
// begins, then the default scene. Runs stay independent of the ones before.
inline void fresh_scene() {
  scene = Scene{};
  robot = RobotModel{};
  kin = Kinematics{};
  cell = Workcell{};
  start_scene();
}

// A console input stream that reads the given bytes (none: at its end at once). The caller
// closes it.
inline FILE* typed_console(const uint8_t* text, size_t size) {
  static char empty[1];
  char* buffer = size > 0 ? reinterpret_cast<char*>(const_cast<uint8_t*>(text)) : empty;
  return fmemopen(buffer, size, "r");
}

inline bool one_of(char value, const char* allowed) {
  return value != '\0' && std::strchr(allowed, value) != nullptr;
}

// Whether the robot model is that of robot.type: seven joints with the type's axis letters.
inline bool model_matches_type() {
  static const char* const kLetters[kRobotTypes + 1] = {"", " RQRPRPR\n", " RQPPRPR\n",
                                                        " QPRPRPR\n", " QPPQRPR\n"};
  if (robot.type < 1 || robot.type > kRobotTypes || robot.N != kMaxJoints) return false;
  return std::strcmp(robot.jrtypeText, kLetters[robot.type]) == 0;
}

// Whether the drawn wall rectangle is the one of the wall edge the solvers use.
inline bool wall_matches_edge() {
  Vec3 corners[4];
  wall_corners(cell.rh, corners);
  return std::memcmp(corners, scene.wallCorner, sizeof corners) == 0;
}

// Whether the robot stays on the motion's straight line while the motion runs: every joint
// between its initial and goal values, give or take rounding (1e-9 relative: a hundred summed
// increments round far less).
inline bool on_motion_line() {
  if (scene.calcMode != 'C') return true;
  const double* qInit = robot.qInit;
  for (int i = 1; i <= kMaxJoints; i++) {
    const double low = std::fmin(qInit[i], scene.methodB.qGoal[i]);
    const double high = std::fmax(qInit[i], scene.methodB.qGoal[i]);
    const double slack = 1e-9 * (1 + std::fabs(low) + std::fabs(high));
    if (scene.methodB.qr[i] < low - slack || scene.methodB.qr[i] > high + slack) return false;
  }
  return true;
}

// Whether the robot stands on the wall-free motion while it runs: at the step shown, in a pose
// the workcell finds free of the wall and the floor.
inline bool on_wall_free_motion() {
  if (scene.calcMode != 'W' || !scene.wallFreeFound) return true;
  if (scene.wallFreeStep < 0 || scene.wallFreeStep > kMotionSteps) return false;
  if (std::memcmp(scene.methodB.qr + 1, scene.wallFree[scene.wallFreeStep] + 1,
                  kMaxJoints * sizeof(double)) != 0)
    return false;
  Kinematics workspace = kin;
  WorkcellClearance c;
  return pose_check(robot, cell, scene.methodB.qr, workspace, c) != 0;
}

// The invariants after any key with any console text (the dialogs refuse numbers that are not
// finite, so they hold whatever was typed). The contact arm comes from contact-arm mode (1..7,
// '0' being the reset key), the wall dialog (2..5), the robot model's guess (2..6) or the
// contact check (1..N-3, or N+1 when no arm can reach the edge): 1..8.
inline void check_scene() {
  require(finite_all(scene.methodB.qr + 1, kMaxJoints), "qr not finite");
  require(finite_all(scene.methodB.qGoal + 1, kMaxJoints), "qGoal not finite");
  require(finite_all(scene.methodB.qs + 1, kMaxJoints), "qs not finite");
  require(finite_all(scene.dqStep + 1, kMaxJoints), "dqStep not finite");
  require(std::isfinite(scene.methodB.errPos) && std::isfinite(scene.methodB.gapArm),
          "Method B trace not finite");
  require(finite_vec3(cell.rwG), "goal not finite");
  require(finite_vec3(cell.rh), "wall not finite");
  require(wall_matches_edge(), "wall rectangle is not that of the wall edge");
  require(scene.methodB.Mcont >= 1 && scene.methodB.Mcont <= kMaxJoints + 1, "Mcont out of range");
  require(model_matches_type(), "robot model is not that of its type");
  require(on_motion_line(), "motion left the line from the initial pose to the goal");
  require(one_of(scene.setMode, "0FGOD"), "setMode out of range");
  require(on_wall_free_motion(), "wall-free motion left its path or cut in");
  require(one_of(scene.calcMode, "0BACW"), "calcMode out of range");
  require(one_of(scene.menuState, "14"), "menuState out of range");
  require(scene.methodB.solB >= 0 && scene.methodB.solB <= 2, "solB out of range");
  require(scene.methodB.sgnCONTACT >= 0 && scene.methodB.sgnCONTACT <= 3,
          "sgnCONTACT out of range");
  require(scene.methodB.lcontFlag == 0 || scene.methodB.lcontFlag == 5, "lcontFlag out of range");
}

// A new motion goal must come from a Method B step ('a' or 'b' while Method B runs) and be a
// solution: the work within the position tolerance of the goal, no arm cutting into the wall;
// or from the complete solver ('A', 'n'): the work on the goal in the goal orientation.
// Checked on copies of the pose and the kinematic state, so the check changes nothing.
inline void check_new_goal(const double previous[kJointSlots], bool methodStep, bool allStep) {
  if (std::memcmp(previous, scene.methodB.qGoal, sizeof scene.methodB.qGoal) == 0) return;
  require(methodStep || allStep, "motion goal changed by a key that is no solver step");
  Kinematics workspace = kin;
  double q[kJointSlots];
  std::memcpy(q, scene.methodB.qGoal, sizeof q);
  if (allStep) {
    require(pos_error(robot, cell.rwG, q, workspace) <= 1e-9, "listed pose misses the goal");
    require(ori_error(robot, cell.EwG, q, workspace) <= 1e-9, "listed pose is not oriented");
    return;
  }
  require(pos_error(robot, cell.rwG, q, workspace) <= scene.methodB.tolPos,
          "motion goal does not reach the goal");
  int mc;
  ContactClass sgnCONTACT;
  double d, t;
  contact_check(robot, cell.rh, robot.Lcont, q, workspace, mc, sgnCONTACT, d, t);
  require(sgnCONTACT == 2 || sgnCONTACT == 3, "motion goal cuts into the wall");
}

// A goal or wall that a key changed must come from its dialog and have passed its test: the
// goal within reach of the current robot, the wall edge moved along y only and reached by one of
// the arms 2..5.
inline void check_new_setting(unsigned char key, const Vec3& previousGoal,
                              const Vec3& previousWall) {
  if (std::memcmp(&previousGoal, &cell.rwG, sizeof previousGoal) != 0) {
    require(key == 'G', "goal changed by a key that is no goal dialog");
    double LL1, LL2;
    goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2);
    require(LL1 <= LL2, "goal dialog accepted a goal out of reach");
  }
  if (std::memcmp(&previousWall, &cell.rh, sizeof previousWall) != 0) {
    require(key == 'O', "wall changed by a key that is no wall dialog");
    require(cell.rh.x == previousWall.x && cell.rh.z == previousWall.z,
            "wall dialog moved the edge along x or z");
    require(scene.methodB.Mcont >= 2 && scene.methodB.Mcont <= 5,
            "wall dialog accepted a wall no arm reaches");
  }
}

// Presses key unless it is ESC outside contact-arm mode or the feasibility map ('M', seconds of
// work per press, tested in the window's tests), then checks the invariants. Returns whether the
// key was pressed.
inline bool press_and_check(unsigned char key) {
  if (key == kEscape && scene.setMode != 'D') return false;
  if (key == 'M' && scene.setMode != 'D') return false;
  const bool methodStep =
      scene.calcMode == 'B' && scene.setMode != 'D' && (key == 'a' || key == 'b');
  const bool allStep =
      scene.setMode != 'D' && (key == 'A' || (scene.calcMode == 'A' && key == 'n'));
  double previous[kJointSlots];
  std::memcpy(previous, scene.methodB.qGoal, sizeof previous);
  const Vec3 previousGoal = cell.rwG, previousWall = cell.rh;
  dispatch_key(key);
  check_scene();
  check_new_goal(previous, methodStep, allStep);
  check_new_setting(key, previousGoal, previousWall);
  return true;
}
