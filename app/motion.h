// The motion from the initial pose to the goal pose of Method B: a straight line in joint space
// cut into 100 steps, one step per key press.
#pragma once

// 'C': scene.calcMode = 'C'; the step is a hundredth of the plain joint difference from the
// initial pose to scene.qGoal; the robot stands at its initial pose. The straight motion is
// checked against the workcell into scene.straight, and a collision is noted at the console.
void motion_start();

// 's' while the motion runs: one step of the robot; when joint 1 would reach or pass its goal
// value (within the position tolerance), the robot is put at qGoal instead.
void motion_step();
