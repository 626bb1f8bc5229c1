// The motion from the initial pose to the goal pose of Method B: a straight line in joint space
// cut into 100 steps, one step per key press.
#pragma once

// 'C': scene.calcMode = 'C'; the step is a hundredth of the plain joint difference from the
// initial pose to scene.methodB.qGoal; the robot stands at its initial pose. The straight motion is
// checked against the workcell into scene.straight, and a collision is noted at the console.
void motion_start();

// 'W': a motion from the initial pose to scene.methodB.qGoal that the workcell certifies free of
// the wall and the floor: the straight joint line when it is, else planned (RRTConnect, 1 s).
// scene.calcMode = 'W'; the robot stands at its initial pose; the console says how the motion
// was found, its length and time and the key that plays it, and the window why there is none.
void wall_free_motion_start();

// 's' while the wall-free motion runs: the next of its 100 steps of equal joint-space length.
void wall_free_motion_step();

// 'T' after a wall-free motion was found: plays it from the initial pose in real time, timed
// with the default joint limits (planning/trajectory.h). Moves the robot only at each tick.
void wall_free_motion_play();

// Whether the wall-free motion is playing.
bool wall_free_motion_playing();

// Stops the playing, the robot staying where it is.
void wall_free_motion_stop();

// While playing: the robot at the timed motion's pose for the wall-clock time since 'T'; at the
// goal the playing stops and the steps are at their end.
void wall_free_motion_play_tick();

// 's' while the motion runs: one step of the robot; when joint 1 would reach or pass its goal
// value (within the position tolerance), the robot is put at qGoal instead.
void motion_step();
