// What the workcell says of a goal pose and of the straight motion to it, as the
// console, the window and the command line's JSON show it. The straight motion is the
// joint line from the initial pose to the goal pose in 100 equal steps.
#pragma once

#include <cstdio>

#include "collision/motion_check.h"

// Steps of the straight motion.
constexpr int kMotionSteps = 100;

// The first step (1..kMotionSteps) of the straight motion whose span holds its first collision;
// 0 when the motion is free.
int straight_motion_step(const MotionCheck& check);

// Whether what an invalid pose cuts most is the floor (else the wall).
bool below_the_floor(const WorkcellClearance& c);

// The window's line for a final pose that the workcell finds invalid ("Final Pose Cuts the
// Wall", "Final Pose Below the Floor"); null for a valid one.
const char* final_pose_warning(const WorkcellClearance& c);

// The window's line for a colliding straight motion, "Straight Motion Hits the Wall at Step k"
// (or "the Floor"), into text; empty when the motion is free.
void straight_motion_warning(const MotionCheck& check, char text[80]);

// To out (the console, or the command line's output), one line: the final pose cuts into the wall
// or lies below the floor, with the body, the feature and the depth. Nothing for a valid pose.
void print_final_pose_verdict(const WorkcellClearance& c, FILE* out);

// To out, one line: the step at which the straight motion first collides, and the body.
// Nothing for a free motion.
void print_straight_motion(const MotionCheck& check, FILE* out);
