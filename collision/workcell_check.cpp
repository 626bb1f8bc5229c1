#include "collision/workcell_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/forward_kinematics.h"

namespace {

WorkcellFeature wall_feature(RectFeature f) {
  switch (f) {
    case kRectEdgeX1:
      return kFeatureWallEdge;
    case kRectEdgeX0:
      return kFeatureWallFarEdge;
    case kRectEdgeZ1:
      return kFeatureWallTop;
    case kRectEdgeZ0:
      return kFeatureWallBottom;
    case kRectFace:
      break;
  }
  return kFeatureWallFace;
}

// Keeps the smaller clearance; a NaN is taken so that it is never hidden behind a number.
void keep_least(double c, int body, double& least, int& leastBody) {
  if (c < least || std::isnan(c)) least = c, leastBody = body;
}

// Keeps the smaller wall clearance with its body and feature.
void keep_least_wall(double c, int body, WorkcellFeature feature, WorkcellClearance& out) {
  if (c < out.wall || std::isnan(c)) out.wall = c, out.wallBody = body, out.wallFeature = feature;
}

// Least and validity from the wall, floor and box clearances.
int finish(WorkcellClearance& out) {
  out.least = min_of(min_of(out.wall, out.floor), out.obstacle);
  out.valid = std::isfinite(out.wall) && std::isfinite(out.floor) && !std::isnan(out.obstacle) &&
              out.least >= -kWorkcellTolerance;
  return out.valid;
}

// The cell's boxes and their world bounding boxes.
struct ObstacleSet {
  int count;
  OrientedBox box[kMaxObstacles];
  Vec3 lo[kMaxObstacles], hi[kMaxObstacles];
};

// A body's shape: the tube a..b of radius r, or the workpiece box when `box` is set.
struct BodyShape {
  Vec3 a, b;
  double r;
  const OrientedBox* box;
};

}  // namespace

WallRect wall_plate(const Vec3& rh) {
  return {rh.y, rh.x - kWallPlateSize, rh.x, rh.z, rh.z + kWallPlateSize};
}

OrientedBox obstacle_box(const Obstacle& obstacle) {
  return {obstacle.centre,
          obstacle.R,
          {obstacle.size[0] / 2, obstacle.size[1] / 2, obstacle.size[2] / 2}};
}

OrientedBox workpiece_box(const RobotModel& robot, const Vec3& rw, const Mat3& Ew) {
  return {rw, Ew, {robot.workSize[0] / 2, robot.workSize[1] / 2, robot.workSize[2] / 2}};
}

namespace {

// The unit vector from w towards p, or zero when they coincide.
Vec3 unit_from(const Vec3& w, const Vec3& p) {
  Vec3 d;
  vsub(p, w, d);
  const double n = vnorm(d);
  if (!(n > 0)) return {0, 0, 0};
  return {d.x / n, d.y / n, d.z / n};
}

}  // namespace

double tube_plate_clearance(const Vec3& a, const Vec3& b, double radius, const WallRect& plate,
                            WorkcellFeature& feature, Vec3& away) {
  SegmentRect sr;
  segment_rect(a, b, plate, sr);
  feature = wall_feature(sr.feature);
  away = {0, 0, 0};
  if (!(sr.distance > 0)) return -(radius + sr.depth);
  Vec3 ab, aw;
  vsub(b, a, ab);
  vsub(sr.onRect, a, aw);
  const double ab2 = vdot(ab, ab);
  const double t = ab2 > 0 ? min_of(1.0, max_of(0.0, vdot(aw, ab) / ab2)) : 0;
  away = unit_from(sr.onRect, {a.x + t * ab.x, a.y + t * ab.y, a.z + t * ab.z});
  return sr.distance - radius;
}

namespace {

void set_obstacles(const Workcell& cell, ObstacleSet& set) {
  set.count = std::min(std::max(cell.obstacleCount, 0), kMaxObstacles);
  for (int j = 0; j < set.count; j++) {
    set.box[j] = obstacle_box(cell.obstacles[j]);
    box_bounds(set.box[j], set.lo[j], set.hi[j]);
  }
}

// The bounding box lo..hi of a body.
void body_bounds(const BodyShape& body, Vec3& lo, Vec3& hi) {
  if (body.box) {
    box_bounds(*body.box, lo, hi);
    return;
  }
  lo = {std::min(body.a.x, body.b.x) - body.r, std::min(body.a.y, body.b.y) - body.r,
        std::min(body.a.z, body.b.z) - body.r};
  hi = {std::max(body.a.x, body.b.x) + body.r, std::max(body.a.y, body.b.y) + body.r,
        std::max(body.a.z, body.b.z) + body.r};
}

// Body k against every box, into bodies and out. A pair that a cheap lower bound shows farther
// apart than the least so far cannot give the least (nor tie with it): the bound stands in for its
// clearance. First the gap of the bounding boxes (when they lie apart), then the separating axes.
void body_obstacles(int k, const BodyShape& body, const ObstacleSet& set, BodyClearances& bodies,
                    WorkcellClearance& out) {
  Vec3 lo, hi;
  body_bounds(body, lo, hi);
  for (int j = 0; j < set.count; j++) {
    const Vec3 gap = bounds_gap(set.lo[j], set.hi[j], lo, hi);
    double& c = bodies.obstacle[k][j];
    Vec3& away = bodies.obstacleAway[k][j];
    c = vnorm(gap);
    if (c > 0 && c > out.obstacle) {
      away = {gap.x / c, gap.y / c, gap.z / c};
      continue;
    }
    c = body.box ? box_box_bound(*body.box, set.box[j], away)
                 : tube_box_bound(body.a, body.b, body.r, set.box[j], away);
    if (c > out.obstacle) continue;
    c = body.box ? box_box_clearance_from(*body.box, set.box[j], c, away)
                 : tube_box_clearance_from(body.a, body.b, body.r, set.box[j], c, away);
    if (c < out.obstacle || std::isnan(c))
      out.obstacle = c, out.obstacleBody = k, out.obstacleIndex = j;
  }
}

// The hand and the workpiece: their clearances into out and bodies (see held_work_clearance).
void held_bodies(const RobotModel& robot, const Vec3& jointN, const Vec3& rw, const Mat3& Ew,
                 const WallRect& plate, BodyClearances& bodies, WorkcellClearance& out) {
  const double r = robot.linkRadius;
  WorkcellFeature feature;
  out.wall = tube_plate_clearance(jointN, rw, r, plate, feature, bodies.wallAway[kBodyHand]);
  out.wallBody = kBodyHand;
  out.wallFeature = feature;
  out.floor = min_of(jointN.z, rw.z) - r;
  out.floorBody = kBodyHand;
  bodies.wall[kBodyHand] = out.wall;
  bodies.floor[kBodyHand] = out.floor;
  const OrientedBox box = workpiece_box(robot, rw, Ew);
  // The box lies within its half-diagonal of the work point: when not even that comes nearer the
  // plate than the hand, the hand keeps the least and the box's exact distance is not needed.
  bodies.wall[kBodyWorkpiece] = box_rect_bound(box, plate, bodies.wallAway[kBodyWorkpiece]);
  if (!(bodies.wall[kBodyWorkpiece] > out.wall)) {
    RectFeature rf;
    // The clearance first: it writes the feature the next call reads.
    const double cBox = box_rect_clearance(box, plate, rf);
    bodies.wall[kBodyWorkpiece] = cBox;
    keep_least_wall(cBox, kBodyWorkpiece, wall_feature(rf), out);
  }
  bodies.floor[kBodyWorkpiece] = box_bottom(box);
  keep_least(bodies.floor[kBodyWorkpiece], kBodyWorkpiece, out.floor, out.floorBody);
}

// The hand, the workpiece and (when Jpos is given, joint positions 1..N) the arms against every
// box, into bodies and out.
void bodies_obstacles(const RobotModel& robot, const Vec3& jointN, const Vec3& rw, const Mat3& Ew,
                      const Vec3* Jpos, const ObstacleSet& set, BodyClearances& bodies,
                      WorkcellClearance& out) {
  out.obstacle = INFINITY;
  out.obstacleBody = 0;
  out.obstacleIndex = -1;
  if (set.count == 0) return;
  const double r = robot.linkRadius;
  // The tubes first: their least prunes the workpiece, the dearest to measure.
  for (int m = 1; Jpos && m < robot.N; m++)
    body_obstacles(m, {Jpos[m], Jpos[m + 1], r, nullptr}, set, bodies, out);
  body_obstacles(kBodyHand, {jointN, rw, r, nullptr}, set, bodies, out);
  const OrientedBox box = workpiece_box(robot, rw, Ew);
  body_obstacles(kBodyWorkpiece, {rw, rw, 0, &box}, set, bodies, out);
}

}  // namespace

int held_work_clearance(const RobotModel& robot, const Workcell& cell, const Vec3& jointN,
                        const Vec3& rw, const Mat3& Ew, WorkcellClearance& out) {
  ObstacleSet set;
  set_obstacles(cell, set);
  BodyClearances bodies;
  held_bodies(robot, jointN, rw, Ew, wall_plate(cell.rh), bodies, out);
  bodies_obstacles(robot, jointN, rw, Ew, nullptr, set, bodies, out);
  return finish(out);
}

int workcell_body_clearances(const RobotModel& robot, const Kinematics& kin, const Workcell& cell,
                             BodyClearances& bodies, WorkcellClearance& out) {
  const WallRect plate = wall_plate(cell.rh);
  const double r = robot.linkRadius;
  held_bodies(robot, kin.Jpos[robot.N], kin.rw, kin.Ew, plate, bodies, out);
  bodies.floor[1] = INFINITY;
  for (int m = 1; m < robot.N; m++) {
    const Vec3 &a = kin.Jpos[m], &b = kin.Jpos[m + 1];
    // An arm whose bounding box alone keeps it farther than the least so far cannot give the
    // least (nor tie with it): its bound stands in for its distance.
    bodies.wall[m] = segment_rect_bound(a, b, plate, bodies.wallAway[m]) - r;
    if (!(bodies.wall[m] > out.wall)) {
      WorkcellFeature f;
      bodies.wall[m] = tube_plate_clearance(a, b, r, plate, f, bodies.wallAway[m]);
      keep_least_wall(bodies.wall[m], m, f, out);
    }
    if (m == 1) continue;
    bodies.floor[m] = min_of(a.z, b.z) - r;
    keep_least(bodies.floor[m], m, out.floor, out.floorBody);
  }
  ObstacleSet set;
  set_obstacles(cell, set);
  bodies_obstacles(robot, kin.Jpos[robot.N], kin.rw, kin.Ew, kin.Jpos, set, bodies, out);
  return finish(out);
}

int workcell_clearance(const RobotModel& robot, const Kinematics& kin, const Workcell& cell,
                       WorkcellClearance& out) {
  BodyClearances bodies;
  return workcell_body_clearances(robot, kin, cell, bodies, out);
}

int pose_check(const RobotModel& robot, const Workcell& cell, const double q[], Kinematics& kin,
               WorkcellClearance& out) {
  forward_kinematics(robot, q, kin);
  return workcell_clearance(robot, kin, cell, out);
}

namespace {

// Whether a clearance, or a lower bound of it, keeps out of cutting in (false for NaN).
bool clear(double c) {
  return c >= -kWorkcellTolerance;
}

// Whether the body keeps clear of every box.
bool clear_of_boxes(const BodyShape& body, const ObstacleSet& set) {
  Vec3 lo, hi, away;
  body_bounds(body, lo, hi);
  for (int j = 0; j < set.count; j++) {
    const Vec3 gap = bounds_gap(set.lo[j], set.hi[j], lo, hi);
    if (vdot(gap, gap) > 0) continue;  // their bounding boxes lie apart
    const double bound = body.box ? box_box_bound(*body.box, set.box[j], away)
                                  : tube_box_bound(body.a, body.b, body.r, set.box[j], away);
    if (clear(bound)) continue;
    const double c = body.box
                         ? box_box_clearance_from(*body.box, set.box[j], bound, away)
                         : tube_box_clearance_from(body.a, body.b, body.r, set.box[j], bound, away);
    if (!clear(c)) return false;
  }
  return true;
}

}  // namespace

int workcell_valid(const RobotModel& robot, const Kinematics& kin, const Workcell& cell) {
  const WallRect plate = wall_plate(cell.rh);
  const double r = robot.linkRadius;
  const int N = robot.N;
  ObstacleSet set;
  set_obstacles(cell, set);
  // A box that is no number: its bounds could not rule a pair out.
  for (int j = 0; j < set.count; j++) {
    const Vec3 &lo = set.lo[j], &hi = set.hi[j];
    if (!std::isfinite(lo.x + lo.y + lo.z + hi.x + hi.y + hi.z)) return 0;
  }
  // The tubes: arms 1..N-1 and the hand (joint N to the work point); arm 1 stands on the floor.
  for (int m = 1; m <= N; m++) {
    const Vec3 &a = kin.Jpos[m], &b = m < N ? kin.Jpos[m + 1] : kin.rw;
    WorkcellFeature f;
    Vec3 away;
    if (!clear(segment_rect_bound(a, b, plate, away) - r) &&
        !clear(tube_plate_clearance(a, b, r, plate, f, away)))
      return 0;
    if (m > 1 && !clear(min_of(a.z, b.z) - r)) return 0;
    if (!clear_of_boxes({a, b, r, nullptr}, set)) return 0;
  }
  // The workpiece lies within its half-diagonal of the work point.
  const OrientedBox box = workpiece_box(robot, kin.rw, kin.Ew);
  Vec3 away;
  RectFeature rf;
  if (!clear(box_rect_bound(box, plate, away)) && !clear(box_rect_clearance(box, plate, rf)))
    return 0;
  if (!clear(box_bottom(box))) return 0;
  return clear_of_boxes({kin.rw, kin.rw, 0, &box}, set);
}

int pose_valid(const RobotModel& robot, const Workcell& cell, const double q[], Kinematics& kin) {
  forward_kinematics(robot, q, kin);
  return workcell_valid(robot, kin, cell);
}

int pose_valid_fast(const RobotModel& robot, const QuarterTurns& turns, const Workcell& cell,
                    const double q[], Kinematics& kin) {
  forward_kinematics_fast(robot, turns, q, kin);
  return workcell_valid(robot, kin, cell);
}

void body_name(int body, char text[16]) {
  if (body == kBodyHand)
    std::snprintf(text, 16, "hand");
  else if (body == kBodyWorkpiece)
    std::snprintf(text, 16, "workpiece");
  else
    std::snprintf(text, 16, "arm %d", body);
}

const char* feature_name(WorkcellFeature feature) {
  switch (feature) {
    case kFeatureWallEdge:
      return "wall edge";
    case kFeatureWallFace:
      return "wall face";
    case kFeatureWallTop:
      return "wall top";
    case kFeatureWallFarEdge:
      return "wall far edge";
    case kFeatureWallBottom:
      return "wall bottom";
    case kFeatureFloor:
      return "floor";
  }
  return "unknown feature";
}
