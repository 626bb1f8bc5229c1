// The shell's scene: the current robot type, the joint vectors it draws and moves, the wall
// rectangle, the Method B status, the command modes and the view. One process-wide instance,
// written by start-up and the keyboard handlers, read by the display. The goal, the wall edge
// and the contact arm live in `cell` (model/state.h), the joint count in `robot`.
#pragma once

#include "model/vecmat.h"

struct Scene {
  int JRTYPE;  // current robot type, 1..4

  // Joint vectors (radians, joints 1..N).
  double qr[kJointSlots];      // current pose: drawn, and where solver steps start from
  double qs[kJointSlots];      // start values of a solver step; next pose of the motion
  double qGoal[kJointSlots];   // goal pose of the motion: the last accepted contact result
  double dqStep[kJointSlots];  // per-step increment of the motion
  double qZero[kJointSlots];   // all zero: the pose of the robot-choice menu

  Vec3 wallCorner[4];  // the wall rectangle, from cell.rh by wall_corners

  // Method B status.
  int cntBa, cntBb;  // 'a' and 'b' steps since the last 'B'
  double errPos;     // L1 distance of the work point from the goal
  double gapArm;     // nearest arm to wall-edge line, less the link and edge radii
  int sgnCONTACT;    // 0 undetermined, 1 an arm cuts the wall, 2 touches the edge, 3 apart
  int solB;          // 0 no position solution, 1 not yet within tolPos, 2 positioned
  int lcontFlag;     // 0 after a contact step without solution, 5 otherwise
  double tolPos;     // position tolerance
  // Signed arm-to-edge distances the contact routines last delivered, kept for the whole run:
  // a routine that finds nothing leaves them, and gapArm is then taken from the earlier value.
  double dContact;  // from every contact routine but the check after a limited contact step
  double dLimited;  // from the check after a limited contact step

  // Modes.
  char setMode;    // last setting command: '0', 'F', 'G', 'O' or 'D'
  char calcMode;   // last calculation command: '0', 'B' or 'C'
  char menuState;  // '4' while the robot-choice menu replaces the scene, '1' otherwise

  // View, applied to the scene after the camera.
  double viewRot[3];    // degrees about X, Y, Z
  double viewShift[3];  // translation along X, Y, Z
};

extern Scene scene;

// The wall rectangle from the lower end rh of its edge: rh, rh + (-4, 0, 0), rh + (-4, 0, 4),
// rh + (0, 0, 4): a 4 x 4 square in the plane y = rh.y reaching towards -x and upwards.
void wall_corners(const Vec3& rh, Vec3 corners[4]);

// scene.qr = the initial pose of the current type (qInit row JRTYPE, elements 0..N).
// The robot model must be that of scene.JRTYPE.
void set_initial_pose();

// Builds the default scene: robot type 1 with its model, the goal, the wall edge and its
// rectangle, the contact arm 4, the modes, the view and the initial pose. Writes `scene`,
// `cell` and `robot`; leaves cell.setupDone at 1.
void start_scene();
