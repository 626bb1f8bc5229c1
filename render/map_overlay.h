// The feasibility map drawn over the floor of the 3-D scene: each cell in reach as a translucent
// quad in the picture's palette (render/map_picture.h) just above the floor, so the grid lines show
// through and the robot stands on it; a black point on each cell where Method B reaches a final
// pose. Cells out of reach are left out: the coloured area's border is the reach. And its legend
// in a corner of the window: the picture's entries for the cells, each symbol as the floor shows
// it.
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

// Whether the floor shows cells of this class as quads (every finished class but out of reach).
bool map_floor_draws(MapClass cls);

// Draws the cells of map in the current modelview frame (the scene's view frame), through
// draw_scale like every model point. Blended, unlit, writing no depth (as the wall), with the
// depth test as the caller left it. Expects lighting on; leaves lighting on, blending off and
// depth writes on. A map with a cell list not matching its grid draws nothing.
void draw_map_floor(const FeasibilityMap& map);

// The window's legend, in window pixels: a white panel with a grey frame holding the heading
// kMapFloorLegendHeading and, one row each, the cell entries of kMapLegend in their order. A row
// shows the entry's symbol in a kMapFloorSwatch square as the floor shows it (the class's quad
// colour blended over white, nothing for a class the floor leaves out, Method B's mark on its
// class's swatch) with a dark outline, and the entry's name in Helvetica 12 beside it.
constexpr char kMapFloorLegendHeading[] = "Feasibility map ('M' hides it)";
constexpr int kMapFloorLegendPad = 6;   // panel edge to the rows
constexpr int kMapFloorLegendRow = 18;  // row height
constexpr int kMapFloorSwatch = 12;     // swatch side, outline included
constexpr int kMapFloorSwatchGap = 6;   // swatch to name

// Rows of the legend: the heading and the cell entries.
int map_floor_legend_rows();
// Width and height of the legend's panel, pixels (needs the toolkit's fonts, so a window).
void map_floor_legend_size(int& width, int& height);
// The lower-left corner of row `row`'s swatch (row 1 the first entry; row 0, the heading, has
// none) when the panel's lower-left corner is at (0, 0); y upwards.
void map_floor_legend_swatch(int row, int& x, int& y);

// Draws the legend with its panel's lower-left corner at window pixel (x, y) (origin at the
// window's lower left, as the viewport), on top of whatever is there, in a pixel frame of its
// own. Leaves the matrices, their mode, the current colour, lighting, depth test, blending and
// point size as it found them.
void draw_map_floor_legend(int x, int y);

// The legend's white panel with its grey frame over the window pixels [x, x + w) x [y, y + h),
// for what is shown in the legend's place while the map is computed; state as the legend.
void draw_map_floor_panel(int x, int y, int w, int h);
