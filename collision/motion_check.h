// Certified check of a straight joint-space motion against the workcell (wall plate, floor,
// boxes).
//
// The motion is q(t) = q0 + t (q1 - q0), t in [0, 1], with the plain joint differences. From
// each checked pose the check advances by the least step over the bodies (arms, hand, workpiece)
// and obstacles that no body can use to fall below the contact band, each body on its own clearance
// c, taking the larger of two safe steps:
// - by its distances to the axes: a point at distance d_i from joint i's axis moves at most
//   sum_i |dq_i| d_i per unit of t, and d_i grows at most at sum_{l>i} |dq_l| R_l, R_l bounding
//   how far the body can lie from axis l in any pose; so the body moves at most A h + B h^2 / 2;
// - by a plane parting it from the obstacle: its corners (a tube's ends, the box's corners) move
//   across the plane at their velocities in the pose, give or take an acceleration bound acc
//   (the turning axes and the turning arms), so they stay clear while g + s h - acc h^2 / 2 >= 0.
//   Against a box the plane's normal is the body's `away` direction for it (BodyClearances) and
//   the plane touches the box (its largest n . x over the corners).
// Each is solved against c + kWorkcellTolerance; for a body and box that a cheap lower bound
// kept from being measured, c is that bound. Against the floor joint 1 counts only when its
// axis is not vertical: a turn about a vertical axis keeps every height. So no pose in between can
// fall below the band unseen, and a motion that ends touching still ends in a few steps. The step
// that reaches t = 1 certifies the end pose with the rest; it is not evaluated on its own. Where
// the least clearance comes within kMotionMinAdvance of the band's limit the motion is called
// colliding there: it cannot be certified. Joints must be rotational. Lengths in model units,
// angles in radians. No shared state.
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
  double lastFree;           // collides: fraction of the last pose before it found clear of
                             // contact (least >= 0; the motion is certified valid up to there),
                             // -1 when none was; free: 1
  WorkcellClearance worst;   // the clearances at the first invalid pose, else at the pose of
                             // least clearance checked
  double minWall, minFloor;  // least wall and floor clearance over the poses checked (the end
                             // pose, which the last step covers, is not among them)
  double minObstacle;        // the same for the boxes (INFINITY without boxes)
  long poses;                // poses evaluated
};

// Checks the motion from q0 to q1 (q[1..N]); kin is the workspace. Writes out and returns
// out.collides.
int motion_check(const RobotModel& robot, const Workcell& cell, const double q0[],
                 const double q1[], Kinematics& kin, MotionCheck& out);

// The verdict of a motion without the clearance report: what a planner asks of a segment.
struct MotionVerdict {
  int collides;     // 1 when a pose on the motion is (or may be) invalid
  double lastFree;  // as MotionCheck::lastFree
  long poses;       // poses evaluated
};

// motion_check's verdict under the same certificate, found faster: each body is measured against
// an obstacle only while a cheap lower bound of their clearance leaves it able to set the step,
// and a pair that no point of the body can close before the motion ends (by the body's largest
// speed over every pose) is not looked at again; where the steps shrink as the motion heads for
// an obstacle, a pose a few steps ahead is checked, and refuses the motion at once when invalid
// (lastFree then lies before the pose the creeping steps would have reached). Its poses come from
// forward_kinematics_fast, a few ulps from motion_check's, far inside kWorkcellTolerance, and its
// planes step by a tighter acceleration bound (BodyMotionBound::verdictAcc). The steps, and so
// the poses evaluated, may differ from motion_check's. Writes out and returns out.collides.
int motion_verdict(const RobotModel& robot, const Workcell& cell, const double q0[],
                   const double q1[], Kinematics& kin, MotionVerdict& out);

// The same with the robot's quarter_turns worked out once for the many motions a planner checks.
int motion_verdict(const RobotModel& robot, const QuarterTurns& turns, const Workcell& cell,
                   const double q0[], const double q1[], Kinematics& kin, MotionVerdict& out);

// The bounds the checks step by for one body on its motion, per unit of t (model units): A, the
// speed any point of the body can have in the pose (the lever sums), B, how fast A can grow
// along the motion, and acc, motion_check's bound on any point's acceleration, verdictAcc
// motion_verdict's tighter one; the floor's variants for heights alone (joint 1 left out when
// its axis is vertical).
struct BodyMotionBound {
  double A, B, acc, verdictAcc;
  double floorA, floorB, floorAcc, floorVerdictAcc;
};

// The bounds of body k (arm 1..N-1, kBodyHand, kBodyWorkpiece) on the motion q0 -> q1 in the
// pose kin holds (forward_kinematics of a pose on the motion). Writes out. Kept for the tests,
// which hold these bounds to the bodies' paths: the check steps by the same routines.
void motion_body_bound(const RobotModel& robot, const Workcell& cell, const double q0[],
                       const double q1[], const Kinematics& kin, int k, BodyMotionBound& out);
