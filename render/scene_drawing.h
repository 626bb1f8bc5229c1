// Everything in the 3D scene but the robot: the user's view, the world axes, the floor grid, the
// workpiece at its goal pose and the user's boxes. Each routine expects lighting and depth
// testing on and leaves them on.
#pragma once

#include "model/state.h"

// Turns the scene by rotX, rotY, rotZ degrees about x, y and z, then shifts it by
// (trX, trY, trZ): multiplied onto the current matrix.
void view_transform(double rotX, double rotY, double rotZ, double trX, double trY, double trZ);

// Black world axes from the origin, 10 long.
void draw_axes();

// Floor grid at z = 0: for i = -n..n a line x = i * dx and a line y = i * dy, each 100 long
// (from -50 to 50), each its own begin/end pair.
void draw_grid(int n, double dx, double dy);

// The robot's workpiece at the goal pose cell.rwG, cell.EwG, with holed x faces and black edges.
void draw_goal_work(const RobotModel& robot, const Workcell& cell);

// The colour of the user's boxes, RGB 0..1: Okabe-Ito reddish purple (#CC79A7), apart from the
// wall's red, the robot's teal, blue and red, the workpieces' blue and pink and the map's cells.
constexpr float kBoxColour[4] = {0.8f, 0.475f, 0.655f, 1.0f};

// The cell's boxes 0..obstacleCount-1, each solid and lit in kBoxColour with black edges, at its
// centre and orientation. No boxes: nothing is drawn and no state is touched.
void draw_obstacles(const Workcell& cell);
