#include "app/motion.h"

#include <chrono>

#include "app/console.h"
#include "app/scene_state.h"
#include "planning/joint_path.h"
#include "planning/trajectory.h"
#include "task/motion/motion_choice.h"
#include "task/workcell_notes.h"

namespace {

// The wall-free motion timed for 'T', and when and whether it plays.
Trajectory wallFreeTiming;
std::chrono::steady_clock::time_point playStart;
bool playing = false;

}  // namespace

void motion_start() {
  const int N = robot.N;
  const double* qInit = robot.qInit;
  scene.calcMode = 'C';
  // The plain difference, not the shortest angle: a joint may go the long way round.
  for (int i = 1; i <= N; i++) scene.dqStep[i] = (scene.methodB.qGoal[i] - qInit[i]) / 100;
  qcopy(N, qInit, scene.methodB.qr);
  // The motion itself is unchanged; the workcell only says whether it collides, and where.
  Kinematics workspace(robot);
  motion_check(robot, cell, qInit, scene.methodB.qGoal, workspace, scene.straight);
  print_straight_motion(scene.straight, cell, console.out);
}

void wall_free_motion_start() {
  const int N = robot.N;
  const double* qInit = robot.qInit;
  scene.calcMode = 'W';
  qcopy(N, qInit, scene.methodB.qr);
  scene.wallFreeStep = 0;
  MotionChoice m;
  motion_to_pose(robot, cell, qInit, scene.methodB.qGoal, PlanRequest(), m);
  scene.wallFreeFound = m.how != kMotionNone;
  console_printf("\n壁回避運動: 目標 q[]=(%7.4f %7.4f %7.4f %7.4f %7.4f %7.4f %7.4f)",
                 scene.methodB.qGoal[1], scene.methodB.qGoal[2], scene.methodB.qGoal[3],
                 scene.methodB.qGoal[4], scene.methodB.qGoal[5], scene.methodB.qGoal[6],
                 scene.methodB.qGoal[7]);
  if (!scene.wallFreeFound) {
    const bool boxes = cell.obstacleCount > 0;
    scene.wallFreeWhy =
        m.plan.status == kPlanGoalInvalid    ? (boxes ? "Goal Pose Cuts the Wall, Floor or a Box"
                                                      : "Goal Pose Cuts the Wall or Floor")
        : m.plan.status == kPlanStartInvalid ? (boxes ? "Initial Pose Cuts the Wall, Floor or a Box"
                                                      : "Initial Pose Cuts the Wall or Floor")
                                             : "None Found Within 1 s";
    console_printf("\n  壁と床に当たらない運動なし: %s\n",
                   plan_status_text(m.plan.status, cell.obstacleCount));
    return;
  }
  if (m.how == kMotionStraight)
    console_printf("\n  初期姿勢からの直線運動が壁と床に当たらない");
  else
    console_printf("\n  %sで計画 (%.3f ms, 経由点%zu)", kDefaultPlanner, m.plan.planningMs,
                   m.plan.path.size());
  console_printf("\n  関節空間の長さ %.4f rad, 壁との最小隙間 %.4f, 床との最小隙間 %.4f\n",
                 m.plan.length, m.plan.minWall, m.plan.minFloor);
  if (time_trajectory(N, m.plan.path, default_joint_limits(), wallFreeTiming) == kTrajectoryOk)
    console_printf("  'T'で実時間の再生 (%.2f 秒)\n", wallFreeTiming.duration);
  JointPath samples;
  sample_path(N, m.plan.path, kMotionSteps, samples);
  for (int k = 0; k <= kMotionSteps; k++)
    for (int i = 0; i < kJointSlots; i++) scene.wallFree[k][i] = i <= N ? samples[k][i] : 0;
}

void wall_free_motion_step() {
  if (!scene.wallFreeFound || scene.wallFreeStep >= kMotionSteps) return;
  scene.wallFreeStep++;
  qcopy(robot.N, scene.wallFree[scene.wallFreeStep], scene.methodB.qr);
}

void wall_free_motion_play() {
  if (!scene.wallFreeFound || wallFreeTiming.N == 0) return;
  playStart = std::chrono::steady_clock::now();
  playing = true;
}

bool wall_free_motion_playing() {
  return playing;
}

void wall_free_motion_stop() {
  playing = false;
}

void wall_free_motion_play_tick() {
  if (!playing) return;
  const std::chrono::duration<double> t = std::chrono::steady_clock::now() - playStart;
  double qd[kJointSlots], qdd[kJointSlots];
  trajectory_at(wallFreeTiming, t.count(), scene.methodB.qr, qd, qdd);
  if (t.count() < wallFreeTiming.duration) return;
  playing = false;
  scene.wallFreeStep = kMotionSteps;
}

void motion_step() {
  const int N = robot.N;
  for (int i = 1; i <= N; i++) scene.methodB.qs[i] = scene.methodB.qr[i] + scene.dqStep[i];
  // Arrival is judged on joint 1 alone: the step is taken while it stays short of the goal.
  const double before = scene.methodB.qr[1] - scene.methodB.qGoal[1];
  const double after = scene.methodB.qs[1] - scene.methodB.qGoal[1];
  if (after * before > scene.methodB.tolPos)
    qcopy(N, scene.methodB.qs, scene.methodB.qr);
  else
    qcopy(N, scene.methodB.qGoal, scene.methodB.qr);
}
