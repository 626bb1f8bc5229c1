// Certified check of a straight joint-space motion against the workcell (wall plate, floor).
//
// The motion is q(t) = q0 + t (q1 - q0), t in [0, 1], with the plain joint differences. Each
// body is checked on its own bound. A point of body k at distance d_i from joint i's axis moves
// at speed at most sum_i |dq_i| d_i per unit of t, and d_i itself grows at most at
// sum_{l>i} |dq_l| R_l, R_l bounding how far the body can lie from axis l in any pose (the links'
// lengths beyond it, the hand, the tube radius or the workpiece's half-diagonal). So over an
// advance h the body moves at most A h + B h^2 / 2, with A from the pose's own distances to the
// axes and B constant. Against the floor joint 1 counts only when its axis is not vertical: a
// turn about a vertical axis keeps every height. From a pose whose body k has clearance c the
// check advances by the least h over bodies and obstacles with A h + B h^2 / 2 = c +
// kWorkcellTolerance: no pose in between can fall below the contact band unseen, and a motion
// that ends touching (c near 0) still ends in a few steps. Where the least clearance comes within
// kMotionMinAdvance of the band's limit the motion is called colliding there: it cannot be
// certified. Joints must be rotational. Lengths in model units, angles in radians. No shared state.
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

// Checks the motion from q0 to q1 (q[1..N]); kin is the workspace. Writes out and returns
// out.collides.
int motion_check(const RobotModel& robot, const Workcell& cell, const double q0[],
                 const double q1[], Kinematics& kin, MotionCheck& out);
