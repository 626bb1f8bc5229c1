#include "app/method_b.h"

#include "app/method_b_trace.h"
#include "app/scene_state.h"

namespace {

// The report of the last step; a static keeps its two message logs off the stack.
MethodBReport report;

}  // namespace

void method_b_start() {
  rebuild_robot();
  scene.calcMode = 'B';
  method_b_begin(robot, cell, robot.qInit[scene.JRTYPE], kin, scene, report);
  method_b_repeat_reset(scene.methodBRepeats);
  scene.methodBStuck = false;
  print_method_b_start(report);
}

void method_b_key_a() {
  method_b_step_a(robot, cell, kin, scene, report);
  scene.methodBStuck = method_b_repeat_record(scene.methodBRepeats, scene, cell.Mcont, 'a');
  print_method_b_step_a(report);
}

void method_b_key_b() {
  method_b_step_b(robot, cell, kin, scene, report);
  scene.methodBStuck = method_b_repeat_record(scene.methodBRepeats, scene, cell.Mcont, 'b');
  print_method_b_step_b(report);
}
