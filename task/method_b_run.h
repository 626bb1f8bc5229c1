// Method B without a window: 'B', then the steps the status message asks for, until the first
// final pose, a state that provably repeats, or a step limit.
#pragma once

#include <cstdio>

#include "task/method_b_step.h"

// How a run ended.
struct MethodBRun {
  int steps;   // 'a' and 'b' steps taken
  bool final;  // a final pose (touching, or clear of the edge) was obtained: state.qGoal
  bool stuck;  // a pair of steps left the state exactly as it was, so it would repeat for ever
};

// Default bound on the steps of a run.
constexpr int kMethodBMaxSteps = 1000;

// Runs Method B from the robot's initial pose on robot and cell (state.Mcont must hold the arm to
// start with; the steps may change it) into state, taking 'a' and 'b' as the status asks, at most
// maxSteps steps. Prints the trace of every step to trace unless it is null. Uses kin as workspace.
void method_b_run(const RobotModel& robot, const Workcell& cell, int maxSteps, FILE* trace,
                  Kinematics& kin, MethodBState& state, MethodBRun& run);
