#include "app/all_solutions.h"

#include "app/console.h"
#include "app/scene_state.h"
#include "task/placement_trace.h"

namespace {

// Puts pose `index` of the shown solutions on the robot and makes it the motion's goal.
void show_solution(int index) {
  scene.placementShown = index;
  qcopy(robot.N, scene.placements.poses[index].q, scene.methodB.qr);
  qcopy(robot.N, scene.placements.poses[index].q, scene.methodB.qGoal);
}

}  // namespace

void all_solutions_key() {
  scene.calcMode = 'A';
  method_b_reset(scene.methodB);
  const PlacementOptions options;
  placement_solve(robot, cell, robot.qInit, options, scene.placements);
  print_placement_table(scene.placements, cell, console.out);
  if (scene.placements.count > 0)
    show_solution(0);
  else
    set_initial_pose();
}

void next_solution_key() {
  if (scene.placements.count == 0) return;
  show_solution((scene.placementShown + 1) % scene.placements.count);
  print_placement_line(scene.placements, scene.placementShown, console.out);
}
