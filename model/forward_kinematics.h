// Forward kinematics of a robot model.
#pragma once

#include "model/state.h"

// World pose of every joint frame, link and the work point for joint vector q (radians,
// q[1..N]). Writes kin (Eloc, E, Jpos, L, LU, rw, Ew); the base frame kin.E[0] and base point
// kin.Jpos[0] are read, never written, so a caller may move the whole robot.
void forward_kinematics(const RobotModel& robot, const double q[], Kinematics& kin);

// The model's constant frames where each is a whole number of quarter turns, as for every
// catalogue robot: then each column of Erel[i] and of EwLoc has one nonzero entry, and Lloc[i] and
// rwLoc lie along one axis, so a product is a choice of columns, weighted.
struct AxisEntry {
  int row;       // the entry's row 0..2
  double value;  // its value (0 for a zero vector)
};

struct QuarterTurns {
  bool holds;                          // every frame as above; else the entries are not used
  AxisEntry frame[kMaxJoints + 1][3];  // the columns of Erel[1..N]
  AxisEntry link[kMaxJoints + 1];      // Lloc[1..N]
  AxisEntry hand;                      // rwLoc
  AxisEntry work[3];                   // the columns of EwLoc
};

// The quarter-turn form of robot's constant frames as they stand. Writes out.
void quarter_turns(const RobotModel& robot, QuarterTurns& out);

// World frames E[1..N], joint positions Jpos[1..N], work point rw and orientation Ew of pose q,
// as forward_kinematics finds them within a few ulps: from sines and cosines within 2.5 ulps
// (math/fast_sincos.h), and by the model's quarter_turns where they hold. Eloc, L and LU may be
// left unwritten. For the certified motion check, whose tolerance dwarfs the difference.
void forward_kinematics_fast(const RobotModel& robot, const QuarterTurns& turns, const double q[],
                             Kinematics& kin);

// Frames E[0..upTo-1] and joint positions Jpos[0..upTo] of pose q (upTo <= N) from the model's
// zero-pose base, as forward_kinematics finds them, and nothing else: for callers that need only
// the places of the first joints.
void joint_positions(const RobotModel& robot, const double q[], int upTo, Mat3 E[], Vec3 Jpos[]);
