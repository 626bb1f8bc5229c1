// The start-up scene's goal and wall, which the window, the command modes, the map and the
// command line's help all take as their defaults, and the wall plate's size. Model units, world
// frame (z up, floor z = 0).
#pragma once

// The goal of the workpiece's centre on the floor and the height of its underside (on the floor).
constexpr double kDefaultGoalX = -0.6;
constexpr double kDefaultGoalY = 2.2;
constexpr double kDefaultGoalUnderside = 0;
// The y of the wall edge.
constexpr double kDefaultWallY = 1.3;
// Side of the square wall plate, which stands behind its edge (towards -x) and above its lower
// end: the plate the window draws, the map shows and the workcell checks against.
constexpr double kWallPlateSize = 4.0;
