// Helpers of the contact tests: an independent measure of the distance between an arm's axis
// and the wall's edge line.
#pragma once

#include <cmath>

#include "core_state.h"

// Distance of arm M's axis from the edge line for the pose of the last forward kinematics,
// from the joint positions alone: triple product for skew lines, the horizontal distance from
// joint M for an arm within 1e-6 of vertical. Negative when the common normal from the arm to
// the edge points toward +x (arm on the wall side). t: arm-line point nearest the edge.
struct EdgeGap {
  double dist;
  double t;
};

inline EdgeGap edge_gap(int M) {
  const Vec3 p = kin.Jpos[M], end = kin.Jpos[M + 1], rh = cell.rh;
  const double len = std::sqrt((end.x - p.x) * (end.x - p.x) + (end.y - p.y) * (end.y - p.y) +
                               (end.z - p.z) * (end.z - p.z));
  const Vec3 u = {(end.x - p.x) / len, (end.y - p.y) / len, (end.z - p.z) / len};
  const Vec3 w = {rh.x - p.x, rh.y - p.y, rh.z - p.z};
  if (std::fabs(std::fabs(u.z) - 1) < 1e-6) {
    const double h = std::hypot(w.x, w.y);
    return {w.x > 0 ? -h : h, 0};
  }
  // n = u x (0, 0, 1); the common normal's direction.
  const Vec3 n = {u.y, -u.x, 0};
  const double nn = n.x * n.x + n.y * n.y;
  const double s = (w.x * n.x + w.y * n.y) / nn;  // arm-to-edge offset is s * n
  const double h = std::fabs(s) * std::sqrt(nn);
  // t = ((rh - p) x ez) . n / |n|^2
  const double t = (w.y * n.x - w.x * n.y) / nn;
  return {s * n.x > 0 ? -h : h, t};
}
