// The feasibility map on the floor of the 3-D scene: each cell in reach as a translucent quad in
// the picture's palette (render/map_picture.h) just above the floor, so the grid lines show
// through and the robot stands on it; a black point on each cell where Method B reaches a final
// pose. Cells out of reach are left out: the coloured area's border is the reach.
#pragma once

#include "render/map_picture.h"

// Height of the quads above the floor, model units: above the floor grid (z = 0), far below
// the workpiece's underside.
constexpr double kMapFloorHeight = 0.004;
// Opacity of the quads.
constexpr float kMapFloorAlpha = 0.6f;
// Size of Method B's mark, pixels.
constexpr float kMapFloorMarkSize = 3.0f;

// The quad colour (RGBA, 0..1) of a class: kMapClassRgb at opacity kMapFloorAlpha.
void map_floor_colour(MapClass cls, float colour[4]);

// Draws the cells of map in the current modelview frame (the scene's view frame), through
// draw_scale like every model point. Blended, unlit, writing no depth (as the wall), with the
// depth test as the caller left it. Expects lighting on; leaves lighting on, blending off and
// depth writes on. A map with a cell list not matching its grid draws nothing.
void draw_map_floor(const FeasibilityMap& map);
