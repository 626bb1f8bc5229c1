// Boxes for the drawing tests, and where a box is, found independently of the drawing code: a
// straight line along a world axis meets the box when clipping it against the box's three slabs
// (in the box's own frame) leaves a piece of it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "math/vecmat.h"
#include "model/state.h"

// The rotation by angle (radians) about the direction of axis (Rodrigues' formula).
inline Mat3 turn_about(const Vec3& axis, double angle) {
  const double n = vnorm(axis), x = axis.x / n, y = axis.y / n, z = axis.z / n;
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  return {{t * x * x + c, t * x * y - s * z, t * x * z + s * y, t * x * y + s * z, t * y * y + c,
           t * y * z - s * x, t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
}

// A box named name, of sides a x b x c along the columns of R, centred on centre.
inline Obstacle make_box(const char* name, double a, double b, double c, const Vec3& centre,
                         const Mat3& R) {
  Obstacle box;
  std::snprintf(box.name, sizeof box.name, "%s", name);
  box.size[0] = a;
  box.size[1] = b;
  box.size[2] = c;
  box.centre = centre;
  box.R = R;
  return box;
}

// Whether the line through p along world axis `axis` (0 x, 1 y, 2 z) meets the box grown by
// margin on every face (shrunk when margin < 0). Grown by r, a miss means every line within r
// misses the box; shrunk by r, a hit means every line within r hits it.
inline bool line_meets_box(const Obstacle& box, const Vec3& p, int axis, double margin) {
  const Vec3 d = {p.x - box.centre.x, p.y - box.centre.y, p.z - box.centre.z};
  double lo = -INFINITY, hi = INFINITY;
  for (int i = 0; i < 3; i++) {
    const Vec3 u = {box.R.m[i], box.R.m[3 + i], box.R.m[6 + i]};
    const double h = box.size[i] / 2 + margin;
    if (h < 0) return false;                                       // shrunk to nothing
    const double at = vdot(u, d);                                  // where the line starts
    const double along = axis == 0 ? u.x : axis == 1 ? u.y : u.z;  // and how it moves
    if (std::fabs(along) < 1e-12) {
      if (std::fabs(at) > h) return false;  // parallel to the slab and outside it
      continue;
    }
    const double t0 = (-h - at) / along, t1 = (h - at) / along;
    lo = std::max(lo, std::min(t0, t1));
    hi = std::min(hi, std::max(t0, t1));
  }
  return lo <= hi;
}
