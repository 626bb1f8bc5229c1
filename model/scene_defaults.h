// The start-up scene's goal and wall, which the window, the command modes, the map and the
// command line's help all take as their defaults. Model units, world frame (z up, floor z = 0).
#pragma once

// The goal of the workpiece's centre on the floor and the height of its underside (on the floor).
constexpr double kDefaultGoalX = -0.6;
constexpr double kDefaultGoalY = 2.2;
constexpr double kDefaultGoalUnderside = 0;
// The y of the wall edge.
constexpr double kDefaultWallY = 1.3;
