#include "collision/edge_clearance.h"

#include <cmath>

namespace {

// Squared distance of the point w + s d (relative to rh) from the edge ray: horizontal offset,
// plus the height below rh when the point lies lower than the ray's start.
double ray_distance2(double wx, double wy, double wz, double dx, double dy, double dz, double s) {
  const double ex = wx + s * dx, ey = wy + s * dy, ez = wz + s * dz;
  const double below = ez < 0 ? ez : 0;
  return ex * ex + ey * ey + below * below;
}

double clamp(double x, double lo, double hi) {
  return x < lo ? lo : (x > hi ? hi : x);
}

}  // namespace

void segment_edge_clearance(const Vec3& a, const Vec3& b, const Vec3& rh, double radius,
                            SegmentClearance& out) {
  const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  const double wx = a.x - rh.x, wy = a.y - rh.y, wz = a.z - rh.z;
  const double yb = b.y - rh.y;
  // Through the wall plate: the ends on either side of the plane (or one on it), the crossing
  // behind the edge and not below it.
  if (((wy <= 0 && yb >= 0) || (wy >= 0 && yb <= 0)) && wy != yb) {
    const double s = wy / (wy - yb);
    const double x = a.x + s * dx, z = a.z + s * dz;
    if (x <= rh.x && z >= rh.z) {
      out.value = -(radius + (rh.x - x));
      out.along = s;
      out.height = z - rh.z;
      out.crossing = 1;
      return;
    }
  }
  // The squared distance to the ray is convex in s: the horizontal distance where the segment
  // runs at or above rh (region A), the distance to rh itself below it (region B). The minimum
  // is the smaller of the two regions' minima, each a clamped quadratic minimum.
  double loA = 0, hiA = 1, loB = 0, hiB = 1;
  if (dz > 0) {
    const double s0 = -wz / dz;
    loA = std::fmax(loA, s0);
    hiB = std::fmin(hiB, s0);
  } else if (dz < 0) {
    const double s0 = -wz / dz;
    hiA = std::fmin(hiA, s0);
    loB = std::fmax(loB, s0);
  } else if (wz >= 0) {
    loB = 1, hiB = 0;  // the whole segment at or above rh
  } else {
    loA = 1, hiA = 0;  // the whole segment below rh
  }
  double bestS = 0, best2 = INFINITY;
  if (loA <= hiA) {
    const double hh = dx * dx + dy * dy;
    const double s = clamp(hh > 0 ? -(wx * dx + wy * dy) / hh : loA, loA, hiA);
    const double f = ray_distance2(wx, wy, wz, dx, dy, dz, s);
    if (f < best2) best2 = f, bestS = s;
  }
  if (loB <= hiB) {
    const double dd = dx * dx + dy * dy + dz * dz;
    const double s = clamp(dd > 0 ? -(wx * dx + wy * dy + wz * dz) / dd : loB, loB, hiB);
    const double f = ray_distance2(wx, wy, wz, dx, dy, dz, s);
    if (f < best2) best2 = f, bestS = s;
  }
  out.value = std::sqrt(best2) - radius;
  out.along = bestS;
  out.height = std::fmax(0.0, wz + bestS * dz);
  out.crossing = 0;
}

double arms_edge_clearance(const Vec3 Jpos[], const double Llen[], int first, int last,
                           const Vec3& rh, double radius, ArmClearance& out) {
  out.c = INFINITY;
  out.arm = 0;
  out.place = kContactInside;
  out.along = 0;
  out.height = 0;
  out.crossing = 0;
  for (int m = first; m <= last; m++) {
    SegmentClearance seg;
    segment_edge_clearance(Jpos[m], Jpos[m + 1], rh, radius, seg);
    // A NaN value is taken, so that it is never hidden behind a finite one.
    if (seg.value < out.c || std::isnan(seg.value)) {
      out.c = seg.value;
      out.arm = m;
      out.place =
          seg.along <= 0 ? kContactAtStart : (seg.along >= 1 ? kContactAtEnd : kContactInside);
      out.along = seg.along * Llen[m + 1];
      out.height = seg.height;
      out.crossing = seg.crossing;
      if (std::isnan(seg.value)) break;
    }
  }
  return out.c;
}
