#include "app/motion.h"

#include "app/scene_state.h"
#include "app/workcell_notes.h"
#include "model/forward_kinematics.h"

void motion_start() {
  const int N = robot.N;
  const double* qInit = robot.qInit[scene.JRTYPE];
  scene.calcMode = 'C';
  // The plain difference, not the shortest angle: a joint may go the long way round.
  for (int i = 1; i <= N; i++) scene.dqStep[i] = (scene.qGoal[i] - qInit[i]) / 100;
  qcopy(N, qInit, scene.qr);
  // The motion itself is as designed; the workcell only says whether it collides, and where.
  Kinematics workspace;
  kinematics_at_base(robot, workspace);
  motion_check(robot, cell, qInit, scene.qGoal, workspace, scene.straight);
  print_straight_motion(scene.straight);
}

void motion_step() {
  const int N = robot.N;
  for (int i = 1; i <= N; i++) scene.qs[i] = scene.qr[i] + scene.dqStep[i];
  // Arrival is judged on joint 1 alone: the step is taken while it stays short of the goal.
  const double before = scene.qr[1] - scene.qGoal[1];
  const double after = scene.qs[1] - scene.qGoal[1];
  if (after * before > scene.tolPos)
    qcopy(N, scene.qs, scene.qr);
  else
    qcopy(N, scene.qGoal, scene.qr);
}
