// The picture of feasibility maps (their data: task/map_data.h), a PNG drawn with cairo: the
// floor seen from above with axes in model units, the cells in a colour-blind-safe palette
// (Okabe-Ito), the robot's base, the wall plate and its edge, the default goal, the footprints
// of the workcell's boxes, a legend and a title. Several maps go side by side in one image.
#pragma once

#include <string>

#include "math/vecmat.h"
#include "model/scene_defaults.h"
#include "model/state.h"
#include "task/map_data.h"

// The default goal of the start-up scene, marked on every map.
constexpr double kMapDefaultGoalX = kDefaultGoalX;
constexpr double kMapDefaultGoalY = kDefaultGoalY;

// Cell colours, 0..255 RGB, opaque in the picture: Okabe-Ito bluish green, sky blue and
// vermillion, and a neutral light grey for out of reach. Indexed by MapClass.
constexpr unsigned char kMapClassRgb[kMapClassCount][3] = {
    {0, 158, 115},    // touch: bluish green #009E73
    {86, 180, 233},   // clear: sky blue #56B4E9
    {213, 94, 0},     // blocked: vermillion #D55E00
    {221, 221, 221},  // unreachable: light grey #DDDDDD
};
// Method B's mark: a black dot of radius kMapMarkRadius steps (at least 1.2 pixels) around the
// centre of each cell where Method B reaches a final pose.
constexpr unsigned char kMapMarkRgb[3] = {0, 0, 0};
constexpr double kMapMarkRadius = 0.18;
// A box's footprint (the outline of the box seen from above: the convex hull of its corners'
// x, y) is filled with kMapBoxRgb at opacity kMapBoxAlpha over the cells, so their classes show
// through, and outlined in kMapBoxRgb, kMapBoxLineWidth pixels wide. Okabe-Ito reddish purple
// #CC79A7, the window's box colour.
constexpr unsigned char kMapBoxRgb[3] = {204, 121, 167};
constexpr double kMapBoxAlpha = 0.5;
constexpr double kMapBoxLineWidth = 2.0;

// The legend: one table of entries for the picture's legend and the window's
// (render/map_overlay.h), so both show the same colours under the same names. The picture shows
// every entry, the window only those that explain the cells (classes and marks): base, wall and
// goal are the 3-D scene's own. One more mark of the cells is one more row here (cellEntry true)
// with its symbol drawn by both legends (draw_legend in map_picture.cpp, draw_legend_symbol in
// map_overlay.cpp).
enum MapLegendSymbol {
  kMapLegendClass,     // a swatch in the colour of the entry's class
  kMapLegendMethodB,   // Method B's mark on a swatch of the entry's class
  kMapLegendNoMotion,  // the hatch of a cell with valid poses but no collision-free motion
  kMapLegendBase,      // the robot's base (picture only)
  kMapLegendWall,      // the wall plate and its edge (picture only)
  kMapLegendGoal,      // the default goal (picture only)
  kMapLegendBox,       // a box's footprint (picture only, when the workcell has boxes)
};
struct MapLegendEntry {
  MapLegendSymbol symbol;
  MapClass cls;      // the swatch's class: the class shown, or the one under a mark
  const char* name;  // the text beside the symbol
  bool cellEntry;    // explains the cells: shown in the window's legend as well
};
// A cell entry's name fits the window's legend under its heading (at most 139 pixels in its
// font); the blocked class takes the table's name for it.
constexpr MapLegendEntry kMapLegend[] = {
    {kMapLegendClass, kMapTouch, "touching pose", true},
    {kMapLegendClass, kMapClear, "clear pose only", true},
    {kMapLegendClass, kMapBlocked, "blocked: cut wall or floor", true},
    {kMapLegendClass, kMapUnreachable, "out of reach", true},
    {kMapLegendMethodB, kMapTouch, "Method B final pose", true},
    {kMapLegendNoMotion, kMapTouch, "no collision-free motion", true},
    {kMapLegendBase, kMapTouch, "robot base", false},
    {kMapLegendWall, kMapTouch, "wall and its edge", false},
    {kMapLegendGoal, kMapTouch, "default goal", false},
    {kMapLegendBox, kMapTouch, "box", false},
};
constexpr int kMapLegendCount = sizeof kMapLegend / sizeof kMapLegend[0];

// Where things are in the picture of count maps. Panel k spans x in [k * panelWidth,
// (k + 1) * panelWidth); inside each panel the plot (the floor) is the same rectangle, showing
// the same model window at the same scale, so the maps compare directly. Pixel (0, 0) is the
// top-left corner; y grows downwards while the model's y grows upwards.
struct MapPictureLayout {
  int width, height;          // image size, pixels
  int panelWidth;             // width of one map's panel
  int plotLeft, plotTop;      // plot rectangle of panel 0
  int plotWidth, plotHeight;  // plot size
  double xLo, xHi, yLo, yHi;  // model window the plot shows
  double scale;               // pixels per model unit (the same along x and y)
};
// Plot size: the longer side of the model window spans this many pixels.
constexpr int kMapPlotPixels = 520;

// Computes the layout of the picture of maps[0..count-1] (1 <= count <= 8) with the workcell's
// boxes[0..boxCount-1] (boxes may be null when boxCount is 0). Returns 1, or 0 when count is
// out of range or a map is not complete.
int map_picture_layout(const FeasibilityMap maps[], int count, const Obstacle boxes[], int boxCount,
                       MapPictureLayout& layout);

// Pixel coordinates (continuous: pixel (i, j) covers [i, i+1) x [j, j+1)) of model point (x, y)
// in panel `panel`.
void map_model_to_pixel(const MapPictureLayout& layout, int panel, double x, double y, double& px,
                        double& py);

// The pixel containing the centre of cell `index` of `map`, drawn in panel `panel`: it shows the
// cell's class colour, or the mark colour when Method B reaches a final pose there. Kept (with
// map_cell_colour_pixel) for the tests, which find each cell in the picture by the same layout.
void map_cell_centre_pixel(const MapPictureLayout& layout, int panel, const FeasibilityMap& map,
                           int index, int& px, int& py);
// A pixel of cell `index` that shows the cell's class colour whether it is marked or not (a
// third of a step towards -x and -y from the centre). Returns 1, or 0 when cells are smaller
// than 6 pixels and no such pixel is certain.
int map_cell_colour_pixel(const MapPictureLayout& layout, int panel, const FeasibilityMap& map,
                          int index, int& px, int& py);

// Draws the picture of maps[0..count-1] side by side, each with the footprints of the workcell's
// boxes[0..boxCount-1] and, when there are boxes, their legend entry; without boxes the picture
// is that of the maps alone. Writes it as a PNG to path, through a temporary file in the same
// directory renamed at the end: a failure leaves no file (and an existing file at path
// unchanged). Needs no display. Returns 1, or 0 with *why (when given) set to one line: an
// incomplete map, a bad count (of maps, or boxes outside 0..kMaxObstacles), a drawing failure or
// the path's error.
int write_map_png(const FeasibilityMap maps[], int count, const Obstacle boxes[], int boxCount,
                  const char* path, std::string* why = nullptr);
