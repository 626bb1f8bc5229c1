// Method B as pure steps: 'B' starts from the initial pose, 'a' solves the position and
// orientation of the work (B-a), 'b' turns joint Lcont until arm Mcont rests against the wall
// edge (B-b). Each step limits how far the joints move, classifies the pose against the wall and
// chooses the contact arm for the next step; it returns a report of what the trace prints and
// neither prints nor draws, so it runs the same in the window and without one.
#pragma once

#include "contact/line_contact.h"
#include "math/message_log.h"
#include "model/state.h"

// The position tolerance Method B starts with (MethodBState::tolPos).
constexpr double kMethodBTolPos = 1e-5;

// How far the work point is from its goal (solB; the traces print the numbers).
enum PositionStatus {
  kPositionNone = 0,     // the position solver found no solution
  kPositionOutside = 1,  // not yet within tolPos
  kPositionReached = 2,  // within tolPos
};

// Whether the last contact step found a solution (lcontFlag; the numbers are the designed ones).
enum ContactStepFlag {
  kContactStepFailed = 0,  // a contact step found no solution
  kContactStepDone = 5,    // otherwise
};

// What Method B works on between steps (the shell's scene holds it).
struct MethodBState {
  // Joint vectors (radians, joints 1..N).
  double qr[kJointSlots];     // current pose: drawn, and where solver steps start from
  double qs[kJointSlots];     // start values of a solver step; next pose of the motion
  double qGoal[kJointSlots];  // goal pose of the motion: the last accepted contact result

  int cntBa, cntBb;           // 'a' and 'b' steps since the last 'B'
  double errPos;              // L1 distance of the work point from the goal
  double gapArm;              // nearest arm to wall-edge line, less the link and edge radii
  ContactClass sgnCONTACT;    // how the pose stands against the wall
  PositionStatus solB;        // how far the work point is from the goal
  ContactStepFlag lcontFlag;  // whether the last contact step found a solution
  int Mcont;                  // arm (link) expected to touch the wall edge; steps may change it
  double tolPos;              // position tolerance
  // Signed arm-to-edge distances the contact routines last delivered, kept for the whole run:
  // a routine that finds nothing leaves them, and gapArm is then taken from the earlier value.
  double dContact;  // from every contact routine but the check after a limited contact step
  double dLimited;  // from the check after a limited contact step
};

// Whether a step found its solution.
enum MethodBOutcome { kMethodBSolved, kMethodBNoSolution };

// The numbers a step's trace prints, in the order it prints them.
struct MethodBReport {
  MethodBOutcome outcome;
  int posJoints[3];             // 'a': the positioning joints
  int Lcont;                    // 'B', 'b': the contact joint
  double qs[kJointSlots];       // the step's start pose
  double qSolved[kJointSlots];  // the solver's result before the step is limited
  double qr[kJointSlots];       // the pose the step leaves
  double errPos, gapArm;
  int Mcont;
  ContactClass sgnCONTACT;
  PositionStatus solB;
  int count;            // cntBa or cntBb after the step
  MessageLog solveLog;  // the solver's notes, printed after the step's heading
  MessageLog rerunLog;  // 'b': notes of the contact solver's re-run on another arm
};

// What every setting key, a robot choice, the solutions key and a new scene leave of Method B's
// status: no failed contact step, and the starting position tolerance.
void method_b_reset(MethodBState& state);

// 'B': qs and qr at the robot's initial pose, counters and status reset (method_b_reset among
// them). state.Mcont must already hold the arm to start with. Uses kin as workspace.
void method_b_begin(const RobotModel& robot, const Workcell& cell, Kinematics& kin,
                    MethodBState& state, MethodBReport& report);

// 'a': one B-a step from state.qr; its result, limited, becomes qr. A positioned result that
// touches or clears the wall edge becomes qGoal. May choose another contact arm (state.Mcont).
void method_b_step_a(const RobotModel& robot, const Workcell& cell, Kinematics& kin,
                     MethodBState& state, MethodBReport& report);

// 'b': one B-b step from state.qr; a positioned result touching or clearing the edge becomes qr
// and qGoal unlimited, any other result is limited on joint Lcont and becomes qr. May choose
// another contact arm (state.Mcont).
void method_b_step_b(const RobotModel& robot, const Workcell& cell, Kinematics& kin,
                     MethodBState& state, MethodBReport& report);

// Everything Method B's next steps depend on: the pose, the status, the kept distances, the
// contact arm and the last key. The steps are deterministic, so when a snapshot equals the one
// taken a pair of steps earlier the run repeats for ever.
struct MethodBSnapshot {
  double qr[kJointSlots];
  double errPos, gapArm, dContact, dLimited;
  ContactClass sgnCONTACT;
  PositionStatus solB;
  ContactStepFlag lcontFlag;
  int Mcont;
  char lastKey;
};

// The snapshot of state after a step with key lastKey ('a' or 'b'); padding zeroed, so two
// snapshots compare bytewise.
void method_b_snapshot(const MethodBState& state, char lastKey, MethodBSnapshot& snap);

// Keeps the snapshots of the last two steps: record() after every step says whether the state
// repeats the one a pair of steps earlier. reset() at 'B'.
struct MethodBRepeatCheck {
  MethodBSnapshot history[2];
  int steps;
};
void method_b_repeat_reset(MethodBRepeatCheck& check);
bool method_b_repeat_record(MethodBRepeatCheck& check, const MethodBState& state, char lastKey);

// What the window's status message says of the state: the message row 1..9, or 0 for none.
int method_b_status_row(const MethodBState& state);

// The key the status message asks for next: 'a', 'b', or 0 when it asks for none (a final pose,
// or no solution of either step). After a step asking for both, lastKey says which came last.
char method_b_next_key(const MethodBState& state, char lastKey);

// Whether the status says a final pose was obtained (touching, or clear of the edge).
bool method_b_final(const MethodBState& state);
