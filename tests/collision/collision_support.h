// Helpers of the collision tests: exact point distances, dense-sample distances between the
// workcell's shapes, and a judge of a whole pose built from them. Nothing here calls the
// routines under test; a sampled distance is an upper bound of the true one and at most half a
// sample step above it, so every judgement comes as an interval [lo, hi] the true value lies in.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "collision/geometry.h"
#include "model/state.h"

// Cases per property are divided by this under the sanitizers, which run many times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kSlowdown = 4;
#else
constexpr int kSlowdown = 1;
#endif
#else
constexpr int kSlowdown = 1;
#endif

namespace judge {

inline Vec3 add(const Vec3& a, const Vec3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 sub(const Vec3& a, const Vec3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 scale(double k, const Vec3& a) {
  return {k * a.x, k * a.y, k * a.z};
}
inline double dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double norm(const Vec3& a) {
  return std::sqrt(dot(a, a));
}
inline Vec3 lerp(const Vec3& a, const Vec3& b, double t) {
  return add(a, scale(t, sub(b, a)));
}
inline Vec3 axis(const Mat3& R, int i) {
  return {R.m[i], R.m[3 + i], R.m[6 + i]};
}

// Exact distance of point p from segment a..b (a point when a == b).
inline double point_segment(const Vec3& p, const Vec3& a, const Vec3& b) {
  const Vec3 d = sub(b, a);
  const double dd = dot(d, d);
  const double t = dd > 0 ? std::clamp(dot(sub(p, a), d) / dd, 0.0, 1.0) : 0.0;
  return norm(sub(p, lerp(a, b, t)));
}

// Exact distance of point p from the rectangle (0 on it).
inline double point_rect(const Vec3& p, const WallRect& r) {
  const Vec3 q = {std::clamp(p.x, r.x0, r.x1), r.y, std::clamp(p.z, r.z0, r.z1)};
  return norm(sub(p, q));
}

// Exact distance of point p from the solid box (0 inside).
inline double point_box(const Vec3& p, const OrientedBox& b) {
  const Vec3 w = sub(p, b.c);
  double s = 0;
  for (int i = 0; i < 3; i++) {
    const double out = std::fabs(dot(w, axis(b.R, i))) - b.h[i];
    if (out > 0) s += out * out;
  }
  return std::sqrt(s);
}

// How deep p lies inside the box: the radius of the largest ball about p within it (<= 0
// outside).
inline double point_box_depth(const Vec3& p, const OrientedBox& b) {
  const Vec3 w = sub(p, b.c);
  double d = INFINITY;
  for (int i = 0; i < 3; i++) d = std::min(d, b.h[i] - std::fabs(dot(w, axis(b.R, i))));
  return d;
}

// The least of f over points of a..b spaced at most `step` apart (ends included).
template <class F>
double sample_segment(const Vec3& a, const Vec3& b, double step, F f) {
  const int n = std::max(1, static_cast<int>(std::ceil(norm(sub(b, a)) / step)));
  double best = INFINITY;
  for (int k = 0; k <= n; k++) best = std::min(best, f(lerp(a, b, static_cast<double>(k) / n)));
  return best;
}

// The box's eight corners, and its twelve edges as corner pairs.
inline void box_corners(const OrientedBox& b, Vec3 corner[8]) {
  for (int k = 0; k < 8; k++) {
    Vec3 p = b.c;
    for (int i = 0; i < 3; i++) p = add(p, scale(((k >> i) & 1 ? 1 : -1) * b.h[i], axis(b.R, i)));
    corner[k] = p;
  }
}
constexpr int kBoxEdge[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                 {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// Whether segment a..b meets the plane of r in one point that lies on the closed rectangle.
inline bool crosses(const Vec3& a, const Vec3& b, const WallRect& r) {
  const double ha = a.y - r.y, hb = b.y - r.y;
  if (ha == hb || (ha > 0 && hb > 0) || (ha < 0 && hb < 0)) return false;
  const Vec3 p = lerp(a, b, ha / (ha - hb));
  return p.x >= r.x0 && p.x <= r.x1 && p.z >= r.z0 && p.z <= r.z1;
}

// Sampled distance between the box and the rectangle (an upper bound, at most step / 2 above
// the true one). Two convex polytopes have a nearest pair with a point on an edge of one of
// them, so the box's edges are sampled against the rectangle and the rectangle's edges
// against the box; on a rectangle edge only the stretch within reach of the box is sampled.
inline double box_rect_sampled(const OrientedBox& b, const WallRect& r, double step) {
  Vec3 c[8];
  box_corners(b, c);
  double best = INFINITY;
  for (const auto& e : kBoxEdge)
    best = std::min(best, sample_segment(c[e[0]], c[e[1]], step,
                                         [&](const Vec3& p) { return point_rect(p, r); }));
  const double reach = best + norm(Vec3{b.h[0], b.h[1], b.h[2]});
  const Vec3 rc[4] = {{r.x0, r.y, r.z0}, {r.x1, r.y, r.z0}, {r.x1, r.y, r.z1}, {r.x0, r.y, r.z1}};
  for (int k = 0; k < 4; k++) {
    // The part of the edge within `reach` of the box centre.
    const Vec3 a = rc[k], d = sub(rc[(k + 1) % 4], a);
    const double dd = dot(d, d), t0 = dot(sub(b.c, a), d) / dd;
    const double perp2 = std::max(0.0, dot(sub(b.c, a), sub(b.c, a)) - t0 * t0 * dd);
    if (perp2 > reach * reach) continue;
    const double half = std::sqrt((reach * reach - perp2) / dd);
    const double lo = std::max(0.0, t0 - half), hi = std::min(1.0, t0 + half);
    if (lo > hi) continue;
    best = std::min(best, sample_segment(lerp(a, rc[(k + 1) % 4], lo), lerp(a, rc[(k + 1) % 4], hi),
                                         step, [&](const Vec3& p) { return point_box(p, b); }));
  }
  return best;
}

// A lower bound on how far the box must move to leave the rectangle: a point of the rectangle
// at depth d inside the box stays inside under any shorter move. Samples a grid of the
// rectangle around the box's centre; 0 when no sample lies inside.
inline double box_rect_depth_lower(const OrientedBox& b, const WallRect& r, double step) {
  const double reach = norm(Vec3{b.h[0], b.h[1], b.h[2]});
  if (std::fabs(b.c.y - r.y) > reach) return 0;
  const double xlo = std::max(r.x0, b.c.x - reach), xhi = std::min(r.x1, b.c.x + reach);
  const double zlo = std::max(r.z0, b.c.z - reach), zhi = std::min(r.z1, b.c.z + reach);
  double best = 0;
  for (double x = xlo; x <= xhi; x += step)
    for (double z = zlo; z <= zhi; z += step)
      best = std::max(best, point_box_depth({x, r.y, z}, b));
  return best;
}

struct Bounds {
  double lo, hi;
};

// The judge of one pose: bounds on each body's wall clearance (bodies 1..N-1, N the hand, N+1
// the workpiece), each body's floor clearance (exact; arm 1 exempt, +inf) and the least of each.
struct PoseJudge {
  Bounds wall[kMaxJoints + 2];
  double floor[kMaxJoints + 2];
  Bounds wallLeast, least;
  double floorLeast;
};

// Judges the pose in kin: tubes of `radius` from Jpos[m] to Jpos[m+1] (m = 1..N-1) and from
// Jpos[N] to rw, the box of size `work` at rw with orientation Ew, the plate of the edge rh
// (side 4), the floor z = 0. Sample steps: `step` on tube axes and box/plate edges. A body whose
// quick bound (by its centre) already exceeds `refineAbove` is not sampled: its bounds stay
// loose, which a verdict near zero never needs.
inline PoseJudge judge_pose(int N, const Kinematics& kin, double radius, const double work[3],
                            const Vec3& rh, double step, double refineAbove = INFINITY) {
  const WallRect plate = {rh.y, rh.x - 4, rh.x, rh.z, rh.z + 4};
  PoseJudge j;
  j.wallLeast = j.least = {INFINITY, INFINITY};
  j.floorLeast = INFINITY;
  for (int body = 1; body <= N + 1; body++) {
    Bounds w;
    double floor;
    if (body <= N) {
      const Vec3 a = kin.Jpos[body], b = body < N ? kin.Jpos[body + 1] : kin.rw;
      const Vec3 mid = lerp(a, b, 0.5);
      const double half = 0.5 * norm(sub(b, a));
      const double quick = point_rect(mid, plate) - half - radius;
      if (crosses(a, b, plate)) {
        w = {-INFINITY, -radius};  // through the plate: at least the radius deep
      } else if (quick > refineAbove) {
        w = {quick, std::min(point_rect(a, plate), point_rect(b, plate)) - radius};
      } else {
        const double s =
            sample_segment(a, b, step, [&](const Vec3& p) { return point_rect(p, plate); });
        w = {s - 0.5 * step - radius, s - radius};
      }
      floor = body == 1 ? INFINITY : std::min(a.z, b.z) - radius;
    } else {
      const OrientedBox box = {kin.rw, kin.Ew, {work[0] / 2, work[1] / 2, work[2] / 2}};
      const double reach = norm(Vec3{box.h[0], box.h[1], box.h[2]});
      const double quick = point_rect(box.c, plate) - reach;
      Vec3 c[8];
      box_corners(box, c);
      floor = INFINITY;
      for (const Vec3& p : c) floor = std::min(floor, p.z);
      if (quick > refineAbove) {
        w = {quick, point_rect(box.c, plate)};
      } else {
        const double s = box_rect_sampled(box, plate, step);
        if (s > 0.5 * step) {
          w = {s - 0.5 * step, s};
        } else {
          const double depth = box_rect_depth_lower(box, plate, step);
          w = {-INFINITY, depth > 0 ? -depth : s};
        }
      }
    }
    j.wall[body] = w;
    j.floor[body] = floor;
    j.wallLeast = {std::min(j.wallLeast.lo, w.lo), std::min(j.wallLeast.hi, w.hi)};
    j.floorLeast = std::min(j.floorLeast, floor);
  }
  j.least = {std::min(j.wallLeast.lo, j.floorLeast), std::min(j.wallLeast.hi, j.floorLeast)};
  return j;
}

// One to eight random boxes (sides 0.1..1.5, any orientation) about the robot's reach, into
// cell. Boxes whose bounding sphere comes within `column` of the z axis are drawn again, so
// that the base column (fixed in every pose) can be kept free.
inline void random_boxes(std::mt19937& rng, double column, Workcell& cell) {
  std::uniform_real_distribution<double> xy(-3, 3), z(-0.5, 4.5), size(0.1, 1.5);
  std::normal_distribution<double> n;
  cell.obstacleCount = std::uniform_int_distribution<int>(1, 8)(rng);
  for (int j = 0; j < cell.obstacleCount; j++) {
    Obstacle& o = cell.obstacles[j];
    do {
      o.size[0] = size(rng), o.size[1] = size(rng), o.size[2] = size(rng);
      o.centre = {xy(rng), xy(rng), z(rng)};
    } while (column > 0 && std::hypot(o.centre.x, o.centre.y) <
                               column + 0.5 * norm({o.size[0], o.size[1], o.size[2]}));
    std::snprintf(o.name, sizeof o.name, "box %d", j);
    double w = n(rng), x = n(rng), y = n(rng), v = n(rng);
    const double k = 1 / std::sqrt(w * w + x * x + y * y + v * v);
    w *= k, x *= k, y *= k, v *= k;
    o.R = {{1 - 2 * (y * y + v * v), 2 * (x * y - w * v), 2 * (x * v + w * y),  //
            2 * (x * y + w * v), 1 - 2 * (x * x + v * v), 2 * (y * v - w * x),  //
            2 * (x * v - w * y), 2 * (y * v + w * x), 1 - 2 * (x * x + y * y)}};
  }
}

}  // namespace judge
