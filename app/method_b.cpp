#include "app/method_b.h"

#include "app/console.h"
#include "app/scene_state.h"
#include "task/method_b_trace.h"
#include "task/workcell_notes.h"

namespace {

// The report of the last step; a static keeps its two message logs off the stack.
MethodBReport report;

// After the step that makes a pose final: one line when the workcell finds that pose invalid.
void note_final_pose(bool wasFinal) {
  if (wasFinal || !method_b_final(scene.methodB)) return;
  Kinematics workspace(robot);
  WorkcellClearance c;
  pose_check(robot, cell, scene.methodB.qGoal, workspace, c);
  print_final_pose_verdict(c, cell, console.out);
}

}  // namespace

void method_b_start() {
  rebuild_robot(robot.type);
  scene.calcMode = 'B';
  method_b_begin(robot, cell, kin, scene.methodB, report);
  method_b_repeat_reset(scene.methodBRepeats);
  scene.methodBStuck = false;
  print_method_b_start(report, console.out);
}

void method_b_key_a() {
  const bool wasFinal = method_b_final(scene.methodB);
  method_b_step_a(robot, cell, kin, scene.methodB, report);
  scene.methodBStuck = method_b_repeat_record(scene.methodBRepeats, scene.methodB, 'a');
  print_method_b_step_a(report, console.out);
  note_final_pose(wasFinal);
}

void method_b_key_b() {
  const bool wasFinal = method_b_final(scene.methodB);
  method_b_step_b(robot, cell, kin, scene.methodB, report);
  scene.methodBStuck = method_b_repeat_record(scene.methodBRepeats, scene.methodB, 'b');
  print_method_b_step_b(report, console.out);
  note_final_pose(wasFinal);
}
