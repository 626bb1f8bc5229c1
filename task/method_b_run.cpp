#include "task/method_b_run.h"

#include "task/method_b_trace.h"
#include "task/workcell_notes.h"

namespace {

// The report of the step being run; static, so its message logs stay off the stack.
thread_local MethodBReport report;

}  // namespace

void method_b_run(const RobotModel& robot, const Workcell& cell, int maxSteps, FILE* trace,
                  Kinematics& kin, MethodBState& state, MethodBRun& run) {
  method_b_begin(robot, cell, kin, state, report);
  if (trace != nullptr) print_method_b_start(report, trace);
  run = {0, false, false};
  MethodBRepeatCheck repeats;
  method_b_repeat_reset(repeats);
  char lastKey = 'b';
  for (;;) {
    const char key = method_b_next_key(state, lastKey);
    if (key == 0 || run.steps >= maxSteps) break;
    if (key == 'a') {
      method_b_step_a(robot, cell, kin, state, report);
      if (trace != nullptr) print_method_b_step_a(report, trace);
    } else {
      method_b_step_b(robot, cell, kin, state, report);
      if (trace != nullptr) print_method_b_step_b(report, trace);
    }
    lastKey = key;
    run.steps++;
    if (method_b_repeat_record(repeats, state, lastKey)) {
      run.stuck = true;
      break;
    }
  }
  run.final = method_b_final(state);
  if (trace != nullptr && run.final) {
    WorkcellClearance c;
    pose_check(robot, cell, state.qGoal, kin, c);
    print_final_pose_verdict(c, cell, trace);
  }
}
