// The feasibility map's data: for one robot type and wall edge, a grid of goals (x, y) on the
// floor, each cell classed by what the placement solver finds there and marked with Method B's
// outcome and the motion that reaches it. Plain data with its names and checks, inline so that
// code that draws the map (render/map_picture.h) and code that builds it
// (task/feasibility_map.h) share it without linking each other.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "math/vecmat.h"
#include "model/state.h"

// What the complete solver finds for a goal. kMapPending marks a reachable cell that has not
// been evaluated yet; a finished map has none.
enum MapClass {
  kMapTouch,        // at least one pose touches the wall edge
  kMapClear,        // positioned poses clear of the wall, none touching
  kMapBlocked,      // positioned poses exist, every one cuts into the wall
  kMapUnreachable,  // out of reach (the goal dialog's test, or the solver for every theta)
  kMapPending,
};
constexpr int kMapClassCount = 4;  // the classes a finished map shows

// How a cell's goal is reached from the initial pose (task/motion/motion_choice.h).
enum MapMotion {
  kMapMotionUnset,     // no valid goal pose: nothing to reach
  kMapMotionStraight,  // the straight joint line to a listed pose is free
  kMapMotionPlanned,   // a planned motion
  kMapMotionNone,      // valid goal poses, but no collision-free motion found
};

struct MapCell {
  double x, y;        // goal of the workpiece's centre on the floor (underside at z = 0)
  MapClass cls;       // the solver's outcome
  int touchCount;     // touching poses found
  int clearCount;     // clear solution families found
  bool methodBFinal;  // Method B reached a final pose within its step limit
  int methodBSteps;   // its steps ('a' and 'b') up to the final pose or the limit
  MapMotion motion;   // how the initial pose reaches a valid goal pose without collision
};

struct FeasibilityMap {
  int type;                     // robot type 1..4
  char jointLetters[8];         // the seven axis letters of joints 1..7 and a NUL, e.g. "RQRPRPR"
  double wallY;                 // y of the wall edge
  Vec3 rh;                      // lower end of the wall edge: (0, wallY, 0)
  std::vector<Obstacle> boxes;  // the workcell's boxes every cell is judged against
  double step;                  // cell size and spacing, model units
  double xMin, yMin;  // centre of cell (0, 0); cell (i, j) is at (xMin + i step, yMin + j step)
  int nx, ny;         // cells along x and along y
  std::vector<MapCell> cells;  // nx * ny cells, row-major with y outer: index j * nx + i
};

// The short names of the classes, as in the CSV table: "touch", "clear", "blocked",
// "unreachable" ("pending" for kMapPending).
inline const char* map_class_name(MapClass cls) {
  switch (cls) {
    case kMapTouch:
      return "touch";
    case kMapClear:
      return "clear";
    case kMapBlocked:
      return "blocked";
    case kMapUnreachable:
      return "unreachable";
    default:
      return "pending";
  }
}

// The short names of the motions, as in the CSV table: "straight", "planned", "none", "-".
inline const char* map_motion_name(MapMotion motion) {
  switch (motion) {
    case kMapMotionStraight:
      return "straight";
    case kMapMotionPlanned:
      return "planned";
    case kMapMotionNone:
      return "none";
    default:
      return "-";
  }
}

// The index of the cell whose centre is nearest (x, y), or -1 when (x, y) lies outside the grid
// by more than half a step.
inline int map_cell_index(const FeasibilityMap& map, double x, double y) {
  if (!(map.step > 0) || map.nx < 1 || map.ny < 1) return -1;
  const double u = std::round((x - map.xMin) / map.step);
  const double v = std::round((y - map.yMin) / map.step);
  if (!(u >= 0 && u < map.nx && v >= 0 && v < map.ny)) return -1;
  return static_cast<int>(v) * map.nx + static_cast<int>(u);
}

// Whether a map can be drawn or tabled: a type 1..4, a grid of nx * ny >= 1 cells matching the
// cell list, finite positive step, finite bounds and wall, and no pending cell. Returns 1 or 0
// with why set.
inline int map_is_complete(const FeasibilityMap& map, std::string& why) {
  if (map.type < 1 || map.type > 4) {
    why = "the map's robot type " + std::to_string(map.type) + " is not 1..4";
    return 0;
  }
  if (!(std::isfinite(map.step) && map.step > 0 && std::isfinite(map.xMin) &&
        std::isfinite(map.yMin) && std::isfinite(map.wallY) && std::isfinite(map.rh.x) &&
        std::isfinite(map.rh.y))) {
    why = "the map's step, bounds or wall are not finite numbers";
    return 0;
  }
  if (map.nx < 1 || map.ny < 1 ||
      map.cells.size() != static_cast<size_t>(map.nx) * static_cast<size_t>(map.ny)) {
    why = "the map's cell list does not match its grid";
    return 0;
  }
  for (const MapCell& c : map.cells)
    if (c.cls < kMapTouch || c.cls > kMapUnreachable) {
      why = "the map has cells that were not evaluated";
      return 0;
    }
  return 1;
}
