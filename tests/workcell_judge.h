// An independent judge of poses against the workcell, for the tests: its own forward kinematics
// from the model's tables, Ericson's closest points of two segments, and distances found by
// golden-section search on convex functions rather than by the closed forms of collision/. The wall
// plate is the 4 x 4 square behind the edge at rh, the floor z = 0, and (the overloads taking a
// Workcell) the cell's solid boxes; the bodies are the tubes of arms 1..6 (arm 1 exempt from the
// floor), the hand tube (joint 7 to the work point) and the workpiece box at the work point,
// numbered 1..8. How deep a body reaches into a box is found by brute force on the hull of the
// differences of their corners.
#pragma once

#include <algorithm>
#include <cmath>

#include "model/state.h"

namespace judge {

struct P {
  double x, y, z;
};
inline P operator+(P a, P b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline P operator-(P a, P b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline P operator*(double k, P a) {
  return {k * a.x, k * a.y, k * a.z};
}
inline double dot(P a, P b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double norm(P a) {
  return std::sqrt(dot(a, a));
}
inline P of(const Vec3& v) {
  return {v.x, v.y, v.z};
}

struct Rot {  // row-major
  double m[9];
};
inline Rot mul(const Rot& a, const Rot& b) {
  Rot c;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      c.m[3 * i + j] =
          a.m[3 * i] * b.m[j] + a.m[3 * i + 1] * b.m[3 + j] + a.m[3 * i + 2] * b.m[6 + j];
  return c;
}
inline P apply(const Rot& a, P v) {
  return {a.m[0] * v.x + a.m[1] * v.y + a.m[2] * v.z, a.m[3] * v.x + a.m[4] * v.y + a.m[5] * v.z,
          a.m[6] * v.x + a.m[7] * v.y + a.m[8] * v.z};
}
inline Rot of(const Mat3& M) {
  Rot r;
  for (int k = 0; k < 9; k++) r.m[k] = M.m[k];
  return r;
}

// Shortest distance between segments p1-q1 and p2-q2 (Ericson, Real-Time Collision Detection).
inline double segment_distance(P p1, P q1, P p2, P q2) {
  const P d1 = q1 - p1, d2 = q2 - p2, r = p1 - p2;
  const double a = dot(d1, d1), e = dot(d2, d2), f = dot(d2, r);
  auto clamp01 = [](double x) { return x < 0 ? 0.0 : (x > 1 ? 1.0 : x); };
  double s, t;
  if (a == 0) {
    s = 0, t = clamp01(f / e);
  } else {
    const double c = dot(d1, r), b = dot(d1, d2), denom = a * e - b * b;
    s = denom != 0 ? clamp01((b * f - c * e) / denom) : 0;
    t = (b * s + f) / e;
    if (t < 0)
      t = 0, s = clamp01(-c / a);
    else if (t > 1)
      t = 1, s = clamp01((b - c) / a);
  }
  return norm((p1 + s * d1) - (p2 + t * d2));
}

// Joint positions 0..7, work point and work orientation of pose q.
struct Pose {
  P joint[8];
  P work;
  Rot Ew;
};
inline Pose fk(const RobotModel& robot, const double q[]) {
  Pose f;
  Rot E = of(robot.Erel[0]);
  f.joint[0] = of(robot.Lloc[0]);
  for (int i = 1; i <= 7; i++) {
    f.joint[i] = f.joint[i - 1] + apply(E, of(robot.Lloc[i]));
    const double c = std::cos(q[i]), s = std::sin(q[i]);
    E = mul(mul(E, of(robot.Erel[i])), Rot{{c, -s, 0, s, c, 0, 0, 0, 1}});
  }
  f.work = f.joint[7] + apply(E, of(robot.rwLoc));
  f.Ew = mul(E, of(robot.EwLoc));
  return f;
}

// The least of a convex function over [0, 1] by golden-section search.
template <class F>
double convex_min(F f) {
  double lo = 0, hi = 1;
  const double g = 0.3819660112501051;
  for (int it = 0; it < 64; it++) {  // 0.618^64 < 1e-13 of the interval
    const double a = lo + g * (hi - lo), b = hi - g * (hi - lo);
    if (f(a) < f(b))
      hi = b;
    else
      lo = a;
  }
  return std::min({f(0.0), f(1.0), f(0.5 * (lo + hi))});
}

struct Plate {
  double y, x0, x1, z0, z1;
};
inline Plate plate_of(const Vec3& rh) {
  return {rh.y, rh.x - 4, rh.x, rh.z, rh.z + 4};
}
inline double point_plate(P p, const Plate& w) {
  const P c = {std::clamp(p.x, w.x0, w.x1), w.y, std::clamp(p.z, w.z0, w.z1)};
  return norm(p - c);
}
// How far inside the plate's rim segment a..b passes through it (>= 0), or -1 when it does not.
inline double pierce_depth(P a, P b, const Plate& w) {
  const double ha = a.y - w.y, hb = b.y - w.y;
  if (ha * hb > 0 || ha == hb) return -1;
  const P x = a + (ha / (ha - hb)) * (b - a);
  if (x.x < w.x0 || x.x > w.x1 || x.z < w.z0 || x.z > w.z1) return -1;
  return std::min({x.x - w.x0, w.x1 - x.x, x.z - w.z0, w.z1 - x.z});
}
inline double segment_plate(P a, P b, const Plate& w) {
  if (pierce_depth(a, b, w) >= 0) return 0;
  return convex_min([&](double t) { return point_plate(a + t * (b - a), w); });
}
// A tube's signed clearance from the plate: its distance less the radius, or for a tube through
// the plate minus (radius + how far inside the rim it passes).
inline double tube_plate(P a, P b, double r, const Plate& w) {
  const double e = pierce_depth(a, b, w);
  return e >= 0 ? -(r + e) : segment_plate(a, b, w) - r;
}

struct Box {
  P c;
  P axis[3];
  double h[3];
};
inline Box work_box(const RobotModel& robot, const Pose& f) {
  Box b;
  b.c = f.work;
  for (int i = 0; i < 3; i++) {
    b.axis[i] = {f.Ew.m[i], f.Ew.m[3 + i], f.Ew.m[6 + i]};
    b.h[i] = robot.workSize[i] / 2;
  }
  return b;
}
inline double point_box(P p, const Box& b) {
  double s = 0;
  for (int i = 0; i < 3; i++) {
    const double out = std::fabs(dot(p - b.c, b.axis[i])) - b.h[i];
    if (out > 0) s += out * out;
  }
  return std::sqrt(s);
}
// Distance of box and plate (0 when they meet): box edges against the plate, plate edges
// against the box.
inline double box_plate(const Box& b, const Plate& w) {
  double best = INFINITY;
  for (int i = 0; i < 3; i++) {
    const int j = (i + 1) % 3, k = (i + 2) % 3;
    for (double sj : {-1.0, 1.0})
      for (double sk : {-1.0, 1.0}) {
        const P mid = b.c + (sj * b.h[j]) * b.axis[j] + (sk * b.h[k]) * b.axis[k];
        best = std::min(best, segment_plate(mid - b.h[i] * b.axis[i], mid + b.h[i] * b.axis[i], w));
      }
  }
  const P corner[4] = {{w.x1, w.y, w.z0}, {w.x1, w.y, w.z1}, {w.x0, w.y, w.z1}, {w.x0, w.y, w.z0}};
  for (int k = 0; k < 4; k++) {
    const P a = corner[k], d = corner[(k + 1) % 4] - a;
    best = std::min(best, convex_min([&](double t) { return point_box(a + t * d, b); }));
  }
  return best;
}
// How far the box would have to move along the plate's normal or out past one of its edges to
// leave it: at least its depth in the plate.
inline double box_overlap_bound(const Box& b, const Plate& w) {
  double ext[3] = {0, 0, 0};  // half-extent of the box along world x, y, z
  for (int i = 0; i < 3; i++) {
    ext[0] += b.h[i] * std::fabs(b.axis[i].x);
    ext[1] += b.h[i] * std::fabs(b.axis[i].y);
    ext[2] += b.h[i] * std::fabs(b.axis[i].z);
  }
  return std::min({b.c.y + ext[1] - w.y, w.y - (b.c.y - ext[1]), w.x1 - (b.c.x - ext[0]),
                   b.c.x + ext[0] - w.x0, w.z1 - (b.c.z - ext[2]), b.c.z + ext[2] - w.z0});
}

struct Verdict {
  double wall;                 // least signed clearance from the plate
  double floor;                // least height above the floor
  double obstacle = INFINITY;  // least signed clearance from the boxes
  bool valid(double tolerance = 1e-5) const {
    return wall >= -tolerance && floor >= -tolerance && obstacle >= -tolerance;
  }
};

inline Verdict judge_pose(const RobotModel& robot, const Vec3& rh, const double q[]) {
  const Pose f = fk(robot, q);
  const Plate w = plate_of(rh);
  const double r = robot.linkRadius;
  Verdict v = {INFINITY, INFINITY};
  for (int m = 1; m <= 7; m++) {
    const P a = f.joint[m], b = m < 7 ? f.joint[m + 1] : f.work;
    v.wall = std::min(v.wall, tube_plate(a, b, r, w));
    if (m != 1) v.floor = std::min(v.floor, std::min(a.z, b.z) - r);
  }
  const Box box = work_box(robot, f);
  const double d = box_plate(box, w);
  v.wall = std::min(v.wall, d > 0 ? d : -box_overlap_bound(box, w));
  for (int i = 0; i < 8; i++) {
    P corner = box.c;
    for (int k = 0; k < 3; k++)
      corner = corner + (((i >> k) & 1 ? 1 : -1) * box.h[k]) * box.axis[k];
    v.floor = std::min(v.floor, corner.z);
  }
  return v;
}

// judge_pose(...).valid(), quicker where bodies are far from the plate: the distance from the
// plate changes by at most the distance moved, so a tube whose ends lie far enough from it, or a
// box whose centre does, cannot reach it and needs no search.
inline bool valid_pose(const RobotModel& robot, const Vec3& rh, const double q[]) {
  const Pose f = fk(robot, q);
  const Plate w = plate_of(rh);
  const double r = robot.linkRadius, margin = 1e-3;
  bool near = false;
  for (int m = 1; m <= 7 && !near; m++) {
    const P a = f.joint[m], b = m < 7 ? f.joint[m + 1] : f.work;
    if (m != 1 && std::min(a.z, b.z) - r < -1e-5) return false;
    near = (point_plate(a, w) + point_plate(b, w) - norm(b - a)) / 2 - r < margin;
  }
  const Box box = work_box(robot, f);
  const double halfDiagonal = norm(P{box.h[0], box.h[1], box.h[2]});
  near = near || point_plate(box.c, w) - halfDiagonal < margin;
  if (near) return judge_pose(robot, rh, q).valid();
  for (int i = 0; i < 8; i++) {
    P corner = box.c;
    for (int k = 0; k < 3; k++)
      corner = corner + (((i >> k) & 1 ? 1 : -1) * box.h[k]) * box.axis[k];
    if (corner.z < -1e-5) return false;
  }
  return true;
}

// The corners of box b.
inline void corners(const Box& b, P corner[8]) {
  for (int i = 0; i < 8; i++) {
    corner[i] = b.c;
    for (int k = 0; k < 3; k++)
      corner[i] = corner[i] + (((i >> k) & 1 ? 1 : -1) * b.h[k]) * b.axis[k];
  }
}

// A box of the cell.
inline Box obstacle_of(const Obstacle& o) {
  Box b;
  b.c = of(o.centre);
  for (int i = 0; i < 3; i++) {
    b.axis[i] = {o.R.m[i], o.R.m[3 + i], o.R.m[6 + i]};
    b.h[i] = o.size[i] / 2;
  }
  return b;
}

// The distance of the origin from the boundary of the hull of p[0..n-1], when the origin lies
// inside: for the differences of two convex shapes' corners, the least translation that parts
// them. Brute force over the planes through three points that have all points on one side.
inline double difference_depth(const P p[], int n) {
  double depth = INFINITY;
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++)
      for (int k = j + 1; k < n; k++) {
        const P u = p[j] - p[i], v = p[k] - p[i];
        P nrm = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        const double len = norm(nrm);
        if (len < 1e-12) continue;  // three points on a line
        nrm = (1 / len) * nrm;
        const double d = dot(nrm, p[i]);
        bool above = false, below = false;
        for (int m = 0; m < n && !(above && below); m++) {
          const double off = dot(nrm, p[m]) - d;
          above |= off > 1e-12, below |= off < -1e-12;
        }
        if (!(above && below)) depth = std::min(depth, std::fabs(d));
      }
  return depth;
}

// Distances the search finds below this count as meeting: where a segment crosses a box over a
// short stretch, its last sample may fall a rounding error outside.
constexpr double kMeets = 1e-10;

// A tube's signed clearance from a solid box: its axis' distance less the radius, or for an axis
// that meets the box minus (radius + how far the axis must move to leave it).
inline double tube_box(P a, P b, double r, const Box& box) {
  const double d = convex_min([&](double t) { return point_box(a + t * (b - a), box); });
  if (d > kMeets) return d - r;
  P c[8], diff[16];
  corners(box, c);
  for (int k = 0; k < 8; k++) diff[2 * k] = a - c[k], diff[2 * k + 1] = b - c[k];
  return -(r + difference_depth(diff, 16));
}

// Two solid boxes' signed clearance: the distance (each box's edges against the other), or
// minus the least translation that parts them.
inline double box_box(const Box& body, const Box& obstacle) {
  P cb[8], co[8];
  corners(body, cb);
  corners(obstacle, co);
  static const int kEdge[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                   {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  double d = INFINITY;
  for (const auto& e : kEdge) {
    d = std::min(d, convex_min([&](double t) {
                   return point_box(cb[e[0]] + t * (cb[e[1]] - cb[e[0]]), obstacle);
                 }));
    d = std::min(d, convex_min([&](double t) {
                   return point_box(co[e[0]] + t * (co[e[1]] - co[e[0]]), body);
                 }));
  }
  if (d > kMeets) return d;
  P diff[64];
  for (int i = 0; i < 8; i++)
    for (int k = 0; k < 8; k++) diff[8 * i + k] = cb[i] - co[k];
  return -difference_depth(diff, 64);
}

// Body k's shape in pose f (k = 1..7 tubes, 8 the workpiece): the tube's ends.
inline void tube_ends(const Pose& f, int k, P& a, P& b) {
  a = f.joint[k];
  b = k < 7 ? f.joint[k + 1] : f.work;
}

// The clearance of body k (1..8) in pose f from box `box`.
inline double body_box(const RobotModel& robot, const Pose& f, int k, const Box& box) {
  if (k == 8) return box_box(work_box(robot, f), box);
  P a, b;
  tube_ends(f, k, a, b);
  return tube_box(a, b, robot.linkRadius, box);
}

// Body k's (1..8) signed clearance from the plate w in pose f: a tube's as tube_plate gives it;
// the workpiece's distance when apart, else minus box_overlap_bound, which lies at or below it.
inline double body_plate(const RobotModel& robot, const Pose& f, int k, const Plate& w) {
  if (k == 8) {
    const Box box = work_box(robot, f);
    const double d = box_plate(box, w);
    return d > 0 ? d : -box_overlap_bound(box, w);
  }
  P a, b;
  tube_ends(f, k, a, b);
  return tube_plate(a, b, robot.linkRadius, w);
}

// Body k's (1..8) height above the floor in pose f: its lowest point (infinite for arm 1, which
// stands on the floor).
inline double body_floor(const RobotModel& robot, const Pose& f, int k) {
  if (k == 1) return INFINITY;
  if (k == 8) {
    P c[8];
    corners(work_box(robot, f), c);
    double low = INFINITY;
    for (const P& p : c) low = std::min(low, p.z);
    return low;
  }
  P a, b;
  tube_ends(f, k, a, b);
  return std::min(a.z, b.z) - robot.linkRadius;
}

// The least clearance of any body from any box in pose q, and the body (1..8) and box giving it
// (0 and -1 without boxes).
struct ObstacleVerdict {
  double least = INFINITY;
  int body = 0, index = -1;
};
inline ObstacleVerdict judge_obstacles(const RobotModel& robot, const Workcell& cell,
                                       const double q[]) {
  const Pose f = fk(robot, q);
  ObstacleVerdict v;
  for (int j = 0; j < cell.obstacleCount; j++) {
    const Box box = obstacle_of(cell.obstacles[j]);
    for (int k = 1; k <= 8; k++) {
      const double c = body_box(robot, f, k, box);
      if (c < v.least) v = {c, k, j};
    }
  }
  return v;
}

// judge_pose against the plate, the floor and the cell's boxes.
inline Verdict judge_pose(const RobotModel& robot, const Workcell& cell, const double q[]) {
  Verdict v = judge_pose(robot, cell.rh, q);
  v.obstacle = judge_obstacles(robot, cell, q).least;
  return v;
}

// valid_pose with the cell's boxes: a body whose bounding sphere (about a tube's middle, or the
// workpiece's centre) lies farther than a margin from a box's is not measured against it.
inline bool valid_pose(const RobotModel& robot, const Workcell& cell, const double q[]) {
  if (!valid_pose(robot, cell.rh, q)) return false;
  if (cell.obstacleCount == 0) return true;
  const Pose f = fk(robot, q);
  const double margin = 1e-3, tolerance = 1e-5;
  for (int j = 0; j < cell.obstacleCount; j++) {
    const Box box = obstacle_of(cell.obstacles[j]);
    const double boxReach = norm(P{box.h[0], box.h[1], box.h[2]});
    for (int k = 1; k <= 8; k++) {
      double reach;
      P centre;
      if (k == 8) {
        const Box work = work_box(robot, f);
        centre = work.c, reach = norm(P{work.h[0], work.h[1], work.h[2]});
      } else {
        P a, b;
        tube_ends(f, k, a, b);
        centre = 0.5 * (a + b), reach = 0.5 * norm(b - a) + robot.linkRadius;
      }
      if (norm(centre - box.c) - reach - boxReach > margin) continue;
      if (body_box(robot, f, k, box) < -tolerance) return false;
    }
  }
  return true;
}

// Whether a pose on the straight joint line from a to b, sampled at 0.001 rad of the largest
// joint change, cuts into the wall, the floor or one of the cell's boxes.
inline bool line_collides(const RobotModel& robot, const Workcell& cell, const double a[],
                          const double b[]) {
  double largest = 0;
  for (int i = 1; i <= 7; i++) largest = std::fmax(largest, std::fabs(b[i] - a[i]));
  const int steps = std::max(1, static_cast<int>(std::ceil(largest / 0.001)));
  for (int j = 0; j <= steps; j++) {
    double q[kJointSlots] = {};
    for (int i = 1; i <= 7; i++) q[i] = a[i] + (b[i] - a[i]) * j / steps;
    if (!valid_pose(robot, cell, q)) return true;
  }
  return false;
}

// The same without boxes: against the wall whose edge's lower end is rh, and the floor.
inline bool line_collides(const RobotModel& robot, const Vec3& rh, const double a[],
                          const double b[]) {
  Workcell cell = {};
  cell.rh = rh;
  return line_collides(robot, cell, a, b);
}

}  // namespace judge
