// Feasibility maps made up for the drawing tests: a square grid whose cells are classed by
// quadrant, so that a flipped axis, a swapped panel or a wrong colour shows at a known pixel.
#pragma once

#include <cmath>
#include <cstring>

#include "render/map_picture.h"

// The class of cell (x, y) in made_up_map: out of reach beyond radius 2.5, else by quadrant:
// x >= 0, y >= 0 touch; x < 0, y >= 0 blocked; x < 0, y < 0 clear; x >= 0, y < 0 touch again
// with Method B's mark on every other column.
inline MapClass made_up_class(double x, double y) {
  if (std::hypot(x, y) > 2.5) return kMapUnreachable;
  if (y >= 0) return x >= 0 ? kMapTouch : kMapBlocked;
  return x < 0 ? kMapClear : kMapTouch;
}

// Type `type`, wall edge at (0, wallY, 0), cells (i, j) at (-3 + i step, -3 + j step) for
// i, j = 0..n-1 with n = 6 / step + 1.
inline FeasibilityMap made_up_map(int type, double wallY, double step) {
  FeasibilityMap map;
  map.type = type;
  std::strcpy(map.jointLetters, "RQRPRPR");
  map.wallY = wallY;
  map.rh = {0, wallY, 0};
  map.step = step;
  map.nx = map.ny = static_cast<int>(std::lround(6 / step)) + 1;
  map.xMin = map.yMin = -3;
  for (int j = 0; j < map.ny; j++)
    for (int i = 0; i < map.nx; i++) {
      const double x = -3 + i * step, y = -3 + j * step;
      const MapClass cls = made_up_class(x, y);
      const bool marked = cls == kMapTouch && y < 0 && i % 2 == 0;
      map.cells.push_back({x, y, cls, cls == kMapTouch ? 2 : 0, cls == kMapClear ? 1 : 0, marked,
                           marked ? 40 + i : 1000, kMapMotionUnset});
    }
  return map;
}
