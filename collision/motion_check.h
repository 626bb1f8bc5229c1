// Certified check of a straight joint-space motion against the workcell (wall plate, floor).
//
// The motion is q(t) = q0 + t (q1 - q0), t in [0, 1], with the plain joint differences. No
// point of the robot moves farther than sum_i |q1_i - q0_i| R_i dt when t advances by dt, with
// R_i a bound on how far any point of the bodies beyond joint i lies from it (the links' lengths
// beyond it, the hand and the larger of the tube radius and the workpiece's half-diagonal). So
// from a pose of clearance c the check advances by (c + kWorkcellTolerance) / that speed: no
// pose in between can fall below the contact band unseen, and a motion that ends touching
// (c near 0) still ends in a few steps. Where the clearance comes within kMotionMinAdvance of the
// band's limit the motion is called colliding there: it cannot be certified.
// Joints must be rotational. Lengths in model units, angles in radians. No shared state.
#pragma once

#include "collision/workcell_check.h"

// The least advance (model units) a step makes; below it the motion is not certified.
constexpr double kMotionMinAdvance = 1e-7;
// Poses a check may evaluate before it gives up and calls the motion colliding: a motion that
// slides along an obstacle within the contact band cannot be certified in larger steps.
constexpr long kMotionMaxPoses = 100000;

struct MotionCheck {
  int collides;              // 1 when a pose on the motion is (or may be) invalid
  double firstCollision;     // fraction 0..1 of the first invalid pose found; -1 when free
  WorkcellClearance worst;   // the clearances at the first invalid pose, else at the pose of
                             // least clearance checked
  double minWall, minFloor;  // least wall and floor clearance over the poses checked
  long poses;                // poses evaluated
};

// R[i] for joints 1..N of robot (entries 0 and beyond N are 0).
void joint_reach(const RobotModel& robot, double R[kJointSlots]);

// Checks the motion from q0 to q1 (q[1..N]); kin is the workspace. Writes out and returns
// out.collides.
int motion_check(const RobotModel& robot, const Workcell& cell, const double q0[],
                 const double q1[], Kinematics& kin, MotionCheck& out);
