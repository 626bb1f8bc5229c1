// The 3D scene as the window shows it, drawn the same way on any surface (the window, an
// offscreen film frame): the camera and light, the floor under the user's view, and the
// workcell's objects. Model units, world frame (z up, floor z = 0); the surface's viewport sets
// the picture's size.
#pragma once

#include "math/vecmat.h"
#include "model/state.h"
#include "task/map_data.h"

// The view the window opens with: degrees about X, Y, Z, then the shift along X, Y, Z.
constexpr double kStartViewRot[3] = {2.0, 2.0, 2.0};
constexpr double kStartViewShift[3] = {-1.0, -1.0, -2.0};

// Camera, perspective and light onto a fresh modelview matrix for a viewport width x height:
// the camera's 30 degree field spans the narrower side, so the picture keeps its proportions.
// Turns lighting, depth test and normalising on.
void set_scene_camera(int width, int height);

// The user's view (viewRot degrees about X, Y, Z, then viewShift) onto the current matrix, then
// the world axes and the floor grid.
void draw_scene_floor(const double viewRot[3], const double viewShift[3]);

// In the floor's frame: the robot in pose q (radians, forward kinematics into kin), the goal
// workpiece, the feasibility map on the floor when map is not nullptr, and the translucent wall
// through wallCorner.
void draw_scene_objects(const RobotModel& robot, const double q[], Kinematics& kin,
                        const Workcell& cell, const FeasibilityMap* map, const Vec3 wallCorner[4]);
