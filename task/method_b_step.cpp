#include "task/method_b_step.h"

#include <cmath>
#include <cstring>

#include "contact/line_contact.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "task/contact_arm_rules.h"

namespace {

// Distance d of an arm's axis from the edge line, less the link and edge radii.
double gap_of(const RobotModel& robot, double d) {
  return d - (robot.linkRadius + robot.edgeRadius);
}

// Classifies q against the wall: writes state.sgnCONTACT, the kept distance d and
// state.gapArm; returns the nearest arm m0 and writes the crossing arm mc.
int classify(const RobotModel& robot, const Workcell& cell, double q[], Kinematics& kin,
             MethodBState& state, double& d, int& mc) {
  double t;
  const int m0 = contact_check(robot, cell.rh, robot.Lcont, q, kin, mc, state.sgnCONTACT, d, t);
  state.gapArm = gap_of(robot, d);
  return m0;
}

// Runs the contact solver on arm Mcont from qin into qout (which may be qin); refreshes the
// kept distance and gapArm. Returns its result.
int contact_step(const RobotModel& robot, const Workcell& cell, const double qin[], double qout[],
                 Kinematics& kin, MethodBState& state, MessageLog& log) {
  double t;
  const int found = line_contact(robot, cell.rh, qin, robot.Lcont, state.Mcont, kin, qout,
                                 state.dContact, t, &log);
  state.gapArm = gap_of(robot, state.dContact);
  return found;
}

// Whether the work point is within the position tolerance (a solution was found).
PositionStatus position_status(const MethodBState& state) {
  return state.errPos <= state.tolPos ? kPositionReached : kPositionOutside;
}

bool touches_or_clears(const MethodBState& state) {
  return state.sgnCONTACT == kContactTouches || state.sgnCONTACT == kContactApart;
}

// Moves qr back toward qs (an 'a' step): the positioning joints' total change s decides the
// factor, 1 up to 0.1 rad, 0.4 up to 0.3 rad, 0.04 beyond; the wrist joints take the same.
void limit_position_step(const RobotModel& robot, const double qs[], double qr[]) {
  const int* j = robot.posJoints;
  double d[3], s = 0;
  for (int k = 0; k < 3; k++) {
    d[k] = angle_diff(qr[j[k]], qs[j[k]]);
    s += std::fabs(d[k]);
  }
  double f = 1.0;
  if (s > 0.1) f = 0.4;
  if (s > 0.3) f = 0.04;
  for (int k = 0; k < 3; k++) qr[j[k]] = qs[j[k]] + f * d[k];
  const int N = robot.N;
  for (int i = N; i >= N - 2; i--) qr[i] = qs[i] + f * angle_diff(qr[i], qs[i]);
}

// Moves joint Lcont of qr back toward qs (a 'b' step): 1 up to 0.1 rad, 0.5 up to 0.3 rad,
// 0.05 beyond.
void limit_contact_step(const RobotModel& robot, const double qs[], double qr[]) {
  const int K = robot.Lcont;
  const double d = angle_diff(qr[K], qs[K]);
  double f = 1.0;
  if (std::fabs(d) > 0.1) f = 0.5;
  if (std::fabs(d) > 0.3) f = 0.05;
  qr[K] = qs[K] + f * d;
}

void start_report(const RobotModel& robot, const MethodBState& state, MethodBReport& report) {
  for (int k = 0; k < 3; k++) report.posJoints[k] = robot.posJoints[k];
  report.Lcont = robot.Lcont;
  qcopy(robot.N, state.qr, report.qs);
  log_clear(report.solveLog);
  log_clear(report.rerunLog);
}

void finish_report(const RobotModel& robot, const MethodBState& state, int count,
                   MethodBReport& report) {
  qcopy(robot.N, state.qr, report.qr);
  report.errPos = state.errPos;
  report.gapArm = state.gapArm;
  report.Mcont = state.Mcont;
  report.sgnCONTACT = state.sgnCONTACT;
  report.solB = state.solB;
  report.count = count;
}

}  // namespace

void method_b_reset(MethodBState& state) {
  state.lcontFlag = kContactStepDone;
  state.tolPos = kMethodBTolPos;
}

void method_b_begin(const RobotModel& robot, const Workcell& cell, Kinematics& kin,
                    MethodBState& state, MethodBReport& report) {
  const int N = robot.N;
  state.cntBb = 0;
  state.cntBa = 0;
  qcopy(N, robot.qInit, state.qs);
  qcopy(N, robot.qInit, state.qr);
  state.errPos = pos_error(robot, cell.rwG, state.qs, kin);
  state.solB = kPositionOutside;
  method_b_reset(state);
  start_report(robot, state, report);
  report.outcome = kMethodBSolved;
  finish_report(robot, state, 0, report);
}

void method_b_step_a(const RobotModel& robot, const Workcell& cell, Kinematics& kin,
                     MethodBState& state, MethodBReport& report) {
  const int N = robot.N;
  const int* j = robot.posJoints;
  start_report(robot, state, report);
  state.lcontFlag = kContactStepDone;
  state.cntBa += 1;
  qcopy(N, state.qr, state.qs);
  if (poinv(robot, state.qs, j[0], j[1], j[2], robot.rwLoc, cell.rwG, cell.EwG, kin, state.qr,
            &report.solveLog) == 0) {
    state.solB = kPositionNone;
    report.outcome = kMethodBNoSolution;
    finish_report(robot, state, state.cntBa, report);
    return;
  }
  report.outcome = kMethodBSolved;
  qcopy(N, state.qr, report.qSolved);
  int mc;
  const int m0 = classify(robot, cell, state.qr, kin, state, state.dContact, mc);
  state.Mcont = method_b_contact_arm(m0, mc, state.Mcont);
  limit_position_step(robot, state.qs, state.qr);
  classify(robot, cell, state.qr, kin, state, state.dContact, mc);
  state.errPos = pos_error(robot, cell.rwG, state.qr, kin);
  state.solB = position_status(state);
  // A positioned pose touching or clearing the edge is a solution the screen offers for the
  // motion ("Hit 'C'"), so it becomes the motion's goal as an accepted 'b' result does.
  if (state.solB == kPositionReached && touches_or_clears(state)) qcopy(N, state.qr, state.qGoal);
  finish_report(robot, state, state.cntBa, report);
}

void method_b_step_b(const RobotModel& robot, const Workcell& cell, Kinematics& kin,
                     MethodBState& state, MethodBReport& report) {
  const int N = robot.N;
  start_report(robot, state, report);
  state.cntBb += 1;
  qcopy(N, state.qr, state.qs);
  int mc;
  if (contact_step(robot, cell, state.qs, state.qr, kin, state, report.solveLog) == 0) {
    state.lcontFlag = kContactStepFailed;
    classify(robot, cell, state.qr, kin, state, state.dContact, mc);
    report.outcome = kMethodBNoSolution;
    finish_report(robot, state, state.cntBb, report);
    return;
  }
  report.outcome = kMethodBSolved;
  qcopy(N, state.qr, report.qSolved);
  int m0 = classify(robot, cell, state.qr, kin, state, state.dContact, mc);
  // Another arm crosses the wall or is nearer the edge: bring that one against it instead.
  if (mc != 0 || m0 != state.Mcont) {
    state.Mcont = mc != 0 ? mc : m0;
    contact_step(robot, cell, state.qr, state.qr, kin, state, report.rerunLog);
    // The re-run moved the arms: judge the pose it left before it may become the motion's goal.
    double d, t;
    contact_check(robot, cell.rh, robot.Lcont, state.qr, kin, mc, state.sgnCONTACT, d, t);
  }
  state.errPos = pos_error(robot, cell.rwG, state.qr, kin);
  state.solB = position_status(state);
  if (touches_or_clears(state) && state.solB == kPositionReached) {
    qcopy(N, state.qr, state.qGoal);
  } else {
    limit_contact_step(robot, state.qs, state.qr);
    m0 = classify(robot, cell, state.qr, kin, state, state.dLimited, mc);
    state.Mcont = method_b_contact_arm(m0, mc, state.Mcont);
    state.errPos = pos_error(robot, cell.rwG, state.qr, kin);
    state.solB = position_status(state);
  }
  finish_report(robot, state, state.cntBb, report);
}

int method_b_status_row(const MethodBState& state) {
  const PositionStatus solB = state.solB;
  const ContactClass sgn = state.sgnCONTACT;
  const bool contactFailed = state.lcontFlag == kContactStepFailed;
  if (solB == kPositionNone && contactFailed) return 1;
  // A contact step without solution is reported whatever the contact class says.
  if (contactFailed) return 2;
  if (sgn == kContactTouches && solB == kPositionReached) return 3;
  if (sgn == kContactApart && solB == kPositionReached) return 4;
  if (solB == kPositionNone) return 5;
  if (sgn == kContactCuts && solB == kPositionOutside) return 6;
  if (sgn == kContactCuts && solB == kPositionReached) return 7;
  if (sgn == kContactTouches && solB == kPositionOutside) return 8;
  if (sgn == kContactApart && solB == kPositionOutside) return 9;
  return 0;
}

bool method_b_final(const MethodBState& state) {
  const int row = method_b_status_row(state);
  return row == 3 || row == 4;
}

char method_b_next_key(const MethodBState& state, char lastKey) {
  switch (method_b_status_row(state)) {
    case 1:
    case 3:
    case 4:
      return 0;
    case 2:
      return 'a';
    case 5:
      return 'b';
    default:
      return lastKey == 'a' ? 'b' : 'a';
  }
}

void method_b_snapshot(const MethodBState& state, char lastKey, MethodBSnapshot& snap) {
  std::memset(&snap, 0, sizeof snap);
  std::memcpy(snap.qr, state.qr, sizeof snap.qr);
  snap.errPos = state.errPos;
  snap.gapArm = state.gapArm;
  snap.dContact = state.dContact;
  snap.dLimited = state.dLimited;
  snap.sgnCONTACT = state.sgnCONTACT;
  snap.solB = state.solB;
  snap.lcontFlag = state.lcontFlag;
  snap.Mcont = state.Mcont;
  snap.lastKey = lastKey;
}

void method_b_repeat_reset(MethodBRepeatCheck& check) {
  std::memset(&check, 0, sizeof check);
}

bool method_b_repeat_record(MethodBRepeatCheck& check, const MethodBState& state, char lastKey) {
  MethodBSnapshot& slot = check.history[check.steps % 2];
  const MethodBSnapshot earlier = slot;
  method_b_snapshot(state, lastKey, slot);
  check.steps++;
  return check.steps > 2 && std::memcmp(&earlier, &slot, sizeof slot) == 0;
}
