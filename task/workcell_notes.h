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

// What a pose comes nearest to cutting, or cuts most: a box when its clearance is below the wall's
// and the floor's, else the floor when below the wall's, else the wall.
enum WorkcellCut { kCutWall, kCutFloor, kCutBox };
WorkcellCut deepest_cut(const WorkcellClearance& c);

// The name of the box that c's least box clearance comes from (c.obstacleIndex in cell), or ""
// when there is none.
const char* nearest_box_name(const WorkcellClearance& c, const Workcell& cell);

// The window's line for a final pose that the workcell finds invalid ("Final Pose Cuts the
// Wall", "Final Pose Below the Floor", "Final Pose Cuts Box 'post'"), into text; empty for a
// valid one.
void final_pose_warning(const WorkcellClearance& c, const Workcell& cell, char text[80]);

// The window's line for a colliding straight motion, "Straight Motion Hits the Wall at Step k"
// (or "the Floor", or "Box 'post'"), into text; empty when the motion is free.
void straight_motion_warning(const MotionCheck& check, const Workcell& cell, char text[80]);

// To out (the console, or the command line's output), one line: the final pose cuts into the wall
// or a box of cell, or lies below the floor, with the body, the feature or box and the depth.
// Nothing for a valid pose.
void print_final_pose_verdict(const WorkcellClearance& c, const Workcell& cell, FILE* out);

// To out, one line: the step at which the straight motion first collides, the body, and what it
// hits. Nothing for a free motion.
void print_straight_motion(const MotionCheck& check, const Workcell& cell, FILE* out);
