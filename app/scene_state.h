// The program's single instances: the robot model (of the current robot type), the kinematic
// state, the goal and wall, and the shell's scene (the joint vectors it draws and moves, the wall
// rectangle, the Method B status, the command modes and the view), written by start-up and the
// keyboard handlers, read by the display.
#pragma once

#include "contact/placement.h"
#include "math/vecmat.h"
#include "model/scene_defaults.h"
#include "model/state.h"
#include "task/map_data.h"
#include "task/method_b_step.h"
#include "task/workcell_notes.h"
#include "task/workcell_setup.h"

struct Scene {
  // Method B's joint vectors and status: the pose drawn (qr) and the motion's goal (qGoal).
  MethodBState methodB;

  double dqStep[kJointSlots];  // per-step increment of the motion
  double qZero[kJointSlots];   // all zero: the pose of the robot-choice menu

  Vec3 wallCorner[4];  // the wall rectangle, from cell.rh by wall_corners

  // Method B's repeat check: whether the last pair of steps left the state as it was.
  MethodBRepeatCheck methodBRepeats;
  bool methodBStuck;

  // Every goal pose of the scene ('A') and the one shown ('n').
  PlacementResult placements;
  int placementShown;

  // The straight motion's check against the workcell ('C').
  MotionCheck straight;

  // The wall-free motion ('W'): its poses at 100 steps of equal joint-space length (0 the
  // initial pose), the step shown, and whether one was found (else why not, for the window).
  double wallFree[kMotionSteps + 1][kJointSlots];
  int wallFreeStep;
  bool wallFreeFound;
  const char* wallFreeWhy;

  // The feasibility map drawn on the floor ('M').
  FeasibilityMap floorMap;
  bool floorMapShown;

  // Modes.
  char setMode;    // last setting command: '0', 'F', 'G', 'O' or 'D'
  char calcMode;   // last calculation command: '0', 'B', 'A', 'C' or 'W'
  char menuState;  // '4' while the robot-choice menu replaces the scene, '1' otherwise

  // View, applied to the scene after the camera.
  double viewRot[3];    // degrees about X, Y, Z
  double viewShift[3];  // translation along X, Y, Z
};

extern RobotModel robot;
extern Kinematics kin;
extern Workcell cell;
extern Scene scene;

// The wall rectangle from the lower end rh of its edge: rh, rh + (-4, 0, 0), rh + (-4, 0, 4),
// rh + (0, 0, 4): a 4 x 4 square in the plane y = rh.y reaching towards -x and upwards.
void wall_corners(const Vec3& rh, Vec3 corners[4]);

// The robot model of type 1..4 standing at the origin, with the contact arm guessed from the wall
// (as a robot choice and the 'B' key do).
void rebuild_robot(int type);

// scene.methodB.qr = the robot's initial pose (elements 0..N).
void set_initial_pose();

// Builds the default scene: robot type 1 with its model, the goal, the wall edge and its
// rectangle, the contact arm 4, the modes (no floor map shown), the view and the initial pose.
// Writes `scene`, `cell`, `robot` and the base of `kin`.
void start_scene();
