#include "app/method_b_run.h"

#include <cstring>

#include "app/method_b_trace.h"

namespace {

// Everything the next steps depend on: the pose, the status, the kept distances, the contact
// arm and the last key. Two equal snapshots a pair of steps apart mean the run repeats.
struct Snapshot {
  double qr[kJointSlots];
  double errPos, gapArm, dContact, dLimited;
  int sgnCONTACT, solB, lcontFlag, Mcont;
  char lastKey;
};

void take_snapshot(const MethodBState& state, int Mcont, char lastKey, Snapshot& snap) {
  std::memset(&snap, 0, sizeof snap);
  std::memcpy(snap.qr, state.qr, sizeof snap.qr);
  snap.errPos = state.errPos;
  snap.gapArm = state.gapArm;
  snap.dContact = state.dContact;
  snap.dLimited = state.dLimited;
  snap.sgnCONTACT = state.sgnCONTACT;
  snap.solB = state.solB;
  snap.lcontFlag = state.lcontFlag;
  snap.Mcont = Mcont;
  snap.lastKey = lastKey;
}

// The report of the step being run; static, so its message logs stay off the stack.
thread_local MethodBReport report;

}  // namespace

void method_b_run(const RobotModel& robot, Workcell& cell, const double qInit[], int maxSteps,
                  bool trace, Kinematics& kin, MethodBState& state, MethodBRun& run) {
  method_b_begin(robot, cell, qInit, kin, state, report);
  if (trace) print_method_b_start(report);
  run = {0, false, false};
  Snapshot history[2] = {};
  char lastKey = 'b';
  for (;;) {
    const char key = method_b_next_key(state, lastKey);
    if (key == 0 || run.steps >= maxSteps) break;
    if (key == 'a') {
      method_b_step_a(robot, cell, kin, state, report);
      if (trace) print_method_b_step_a(report);
    } else {
      method_b_step_b(robot, cell, kin, state, report);
      if (trace) print_method_b_step_b(report);
    }
    lastKey = key;
    Snapshot& now = history[run.steps % 2];
    Snapshot before = now;
    take_snapshot(state, cell.Mcont, lastKey, now);
    run.steps++;
    if (run.steps > 2 && std::memcmp(&before, &now, sizeof now) == 0) {
      run.stuck = true;
      break;
    }
  }
  run.final = method_b_final(state);
}
