#include "collision/motion_check.h"

#include <algorithm>
#include <cmath>

#include "model/forward_kinematics.h"

namespace {

// How one body moves with the joints: the last joint that moves it, the points that span it
// (a tube's two ends, or the work point alone for the box), how far beyond them it reaches
// (radius or half-diagonal), and R[i], how far it can lie from joint i's axis in any pose.
struct BodyReach {
  int last;
  int from, to;
  double beyond;
  double R[kJointSlots];
};

// The bound's constants of one motion: each body's reach and the sums B over joint pairs, for
// the wall (every joint) and the floor (joint 1 left out when its axis is vertical).
struct MotionBound {
  int N;
  bool moving;  // some joint changes
  double workSize[3];
  BodyReach body[kBodySlots];
  double dq[kJointSlots];
  double rate[kJointSlots];       // |dq_i|
  double floorRate[kJointSlots];  // |dq_i|, or 0 for a joint that keeps every height
  double B[kBodySlots], floorB[kBodySlots];
  double Amax[kBodySlots];                       // sum_i rate_i R_i: A's bound over every pose
  double floorAmax[kBodySlots];                  // the same with floorRate
  double acc[kBodySlots], floorAcc[kBodySlots];  // bounds on |p''| (per unit t squared)
  WallRect plate;
  OrientedBox plateBox;  // the plate as a box of no thickness
  int obstacleCount;
  OrientedBox obstacles[kMaxObstacles];
  Vec3 obstacleLo[kMaxObstacles], obstacleHi[kMaxObstacles];  // their bounding boxes
};

void set_reach(const RobotModel& robot, int last, int from, int to, double beyond,
               double spanFromLast, BodyReach& b) {
  b.last = last;
  b.from = from;
  b.to = to;
  b.beyond = beyond;
  double reach = beyond + spanFromLast;
  for (int i = 0; i < kJointSlots; i++) b.R[i] = 0;
  for (int i = last; i >= 1; i--) {
    b.R[i] = reach;
    reach += robot.Llen[i];
  }
}

// sum_i rate_i sum_{i<l<=last} rate_l R_l: how fast the body's distances to the axes can grow.
double growth(const BodyReach& b, const double rate[]) {
  double sum = 0, after = 0;
  for (int i = b.last; i >= 1; i--) {
    sum += rate[i] * after;
    after += rate[i] * b.R[i];
  }
  return sum;
}

// sum_i rate_i (2 R_i sum_{j<i} rate_j + sum_{i<=j<=last} rate_j R_j): a bound on the
// acceleration of any point of the body (the turning axes and the turning arms both count).
// motion_check steps by it, so that the poses its least clearances are taken at stay as they were.
double acceleration(const BodyReach& b, const double rate[]) {
  double acc = 0, before = 0;
  for (int i = 1; i <= b.last; i++) {
    double beyond = 0;
    for (int j = i; j <= b.last; j++) beyond += rate[j] * b.R[j];
    acc += rate[i] * (2 * b.R[i] * before + beyond);
    before += rate[i];
  }
  return acc;
}

// A tighter bound on the acceleration of any point of the body, by Leibniz's rule over the chain
// of turns p = T_1 (T_2 (... x)): the n-th derivative of a turn at rate r is r^n times the point's
// distance from its axis (at most R) on the point, and at most r^n times the length on a vector.
// So for joints i..last the bound on the n-th derivative is D_n(i) = r_i^n R_i +
// sum_{m<n} C(n, m) r_i^m D_{n-m}(i + 1): D_2 = sum_i r_i^2 R_i + 2 sum_{i<j} r_i r_j R_j, less
// than `acceleration` by sum_{i<j} r_i r_j R_j. motion_verdict steps by it.
double chain_acceleration(const BodyReach& b, const double rate[]) {
  double d1 = 0, d2 = 0;  // D_1 and D_2 of joints i + 1..last
  for (int i = b.last; i >= 1; i--) {
    d2 += rate[i] * (rate[i] * b.R[i] + 2 * d1);
    d1 += rate[i] * b.R[i];
  }
  return d2;
}

// The bound's constants for the motion q0 -> q1 from the pose in kin; the acceleration bounds
// motion_verdict's (chain_acceleration) or else motion_check's.
void set_up_bound(const RobotModel& robot, const Workcell& cell, const Kinematics& kin,
                  const double q0[], const double q1[], bool verdict, MotionBound& m) {
  const int N = robot.N;
  m.N = N;
  for (int j = 0; j < 3; j++) m.workSize[j] = robot.workSize[j];
  const double r = robot.linkRadius;
  const double halfDiagonal = 0.5 * std::sqrt(robot.workSize[0] * robot.workSize[0] +
                                              robot.workSize[1] * robot.workSize[1] +
                                              robot.workSize[2] * robot.workSize[2]);
  // Arm k spans joints k and k+1 (link k+1 long); the hand joint N and the work point.
  for (int k = 1; k < N; k++) set_reach(robot, k, k, k + 1, r, robot.Llen[k + 1], m.body[k]);
  set_reach(robot, N, N, N + 1, r, robot.handLength, m.body[kBodyHand]);
  set_reach(robot, N, N + 1, N + 1, halfDiagonal, robot.handLength, m.body[kBodyWorkpiece]);
  const Mat3& E1 = kin.E[1];
  const bool verticalBase = E1.m[2] == 0 && E1.m[5] == 0;
  for (int i = 0; i < kJointSlots; i++) m.dq[i] = m.rate[i] = m.floorRate[i] = 0;
  for (int i = 1; i <= N; i++) {
    m.dq[i] = q1[i] - q0[i];
    m.rate[i] = m.floorRate[i] = std::fabs(m.dq[i]);
  }
  m.moving = false;
  for (int i = 1; i <= N; i++) m.moving = m.moving || m.rate[i] > 0;
  if (verticalBase) m.floorRate[1] = 0;
  for (int k = 1; k < kBodySlots; k++) {
    m.B[k] = growth(m.body[k], m.rate);
    m.Amax[k] = m.floorAmax[k] = 0;
    for (int i = 1; i <= m.body[k].last; i++) {
      m.Amax[k] += m.rate[i] * m.body[k].R[i];
      m.floorAmax[k] += m.floorRate[i] * m.body[k].R[i];
    }
    m.floorB[k] = growth(m.body[k], m.floorRate);
    const auto bound = verdict ? chain_acceleration : acceleration;
    m.acc[k] = bound(m.body[k], m.rate);
    m.floorAcc[k] = bound(m.body[k], m.floorRate);
  }
  m.plate = wall_plate(cell.rh);
  const WallRect& w = m.plate;
  m.plateBox = {{0.5 * (w.x0 + w.x1), w.y, 0.5 * (w.z0 + w.z1)},
                {{1, 0, 0, 0, 1, 0, 0, 0, 1}},
                {0.5 * (w.x1 - w.x0), 0, 0.5 * (w.z1 - w.z0)}};
  m.obstacleCount = std::min(std::max(cell.obstacleCount, 0), kMaxObstacles);
  for (int j = 0; j < m.obstacleCount; j++) {
    m.obstacles[j] = obstacle_box(cell.obstacles[j]);
    box_bounds(m.obstacles[j], m.obstacleLo[j], m.obstacleHi[j]);
  }
}

// The velocity of the points that joints 1..i move, per unit of t: v + w x p.
struct Twist {
  Vec3 w, v;
};

Vec3 velocity(const Twist& tw, const Vec3& p) {
  Vec3 wp;
  vcross(tw.w, p, wp);
  return {tw.v.x + wp.x, tw.v.y + wp.y, tw.v.z + wp.z};
}

// The twists of joints 0..N in the pose kin holds, each joint turning at dq_i per unit of t.
void joint_twists(const MotionBound& m, const Kinematics& kin, Twist tw[]) {
  tw[0] = {{0, 0, 0}, {0, 0, 0}};
  for (int i = 1; i <= m.N; i++) {
    const Vec3 a = {kin.E[i].m[2], kin.E[i].m[5], kin.E[i].m[8]};
    Vec3 ao;
    vcross(a, kin.Jpos[i], ao);
    tw[i].w = {tw[i - 1].w.x + m.dq[i] * a.x, tw[i - 1].w.y + m.dq[i] * a.y,
               tw[i - 1].w.z + m.dq[i] * a.z};
    tw[i].v = {tw[i - 1].v.x - m.dq[i] * ao.x, tw[i - 1].v.y - m.dq[i] * ao.y,
               tw[i - 1].v.z - m.dq[i] * ao.z};
  }
}

// The largest h >= 0 with g + s h - acc h^2 / 2 >= 0 (g >= 0), or 0 when g is not positive.
double step_above(double g, double s, double acc) {
  if (!(g > 0)) return 0;
  if (!(acc > 0)) return s >= 0 ? INFINITY : g / -s;
  const double root = std::sqrt(s * s + 2 * acc * g);
  return s >= 0 ? (s + root) / acc : 2 * g / (root - s);
}

// The plate's extent along n: the largest n . x over its corners.
double plate_support(const WallRect& r, const Vec3& n) {
  return n.y * r.y + max_of(n.x * r.x0, n.x * r.x1) + max_of(n.z * r.z0, n.z * r.z1);
}

// A body's corner points: a tube's two ends (count 2) or the workpiece's eight corners.
int body_corners(const MotionBound& m, const Kinematics& kin, int k, Vec3 corners[8]) {
  const BodyReach& b = m.body[k];
  if (k != kBodyWorkpiece) {
    corners[0] = kin.Jpos[b.from];
    corners[1] = b.to > m.N ? kin.rw : kin.Jpos[b.to];
    return 2;
  }
  for (int c = 0; c < 8; c++) {
    Vec3 p = kin.rw;
    for (int j = 0; j < 3; j++) {
      const double h = (c >> j & 1 ? 0.5 : -0.5) * m.workSize[j];
      p.x += h * kin.Ew.m[j];
      p.y += h * kin.Ew.m[3 + j];
      p.z += h * kin.Ew.m[6 + j];
    }
    corners[c] = p;
  }
  return 8;
}

// How far the corner p, less `beyond`, lies above the plane n . x = offset, give or take the
// contact band's tolerance.
double plane_gap(const Vec3& p, double beyond, const Vec3& n, double offset) {
  return vdot(n, p) - offset - beyond + kWorkcellTolerance;
}

// The advance over which no corner of a body, less `beyond`, can cross the plane n . x =
// offset, by the corners' velocities and the body's acceleration bound acc.
double plane_advance(const Vec3 corners[], const Vec3 velocities[], int count, double beyond,
                     const Vec3& n, double offset, double acc) {
  double h = INFINITY;
  for (int c = 0; c < count; c++) {
    const double g = plane_gap(corners[c], beyond, n, offset);
    h = min_of(h, step_above(g, vdot(n, velocities[c]), acc));
  }
  return h;
}

// Squared distance of p from the axis through o along the unit vector a.
double axis_distance2(const Vec3& p, const Vec3& o, const Vec3& a) {
  const double rx = p.x - o.x, ry = p.y - o.y, rz = p.z - o.z;
  const double s = rx * a.x + ry * a.y + rz * a.z;
  return max_of(0.0, rx * rx + ry * ry + rz * rz - s * s);
}

// The largest h with A h + B h^2 / 2 <= g (infinite when nothing moves).
double advance_within(double A, double B, double g) {
  const double denominator = A + std::sqrt(A * A + 2 * B * g);
  return denominator > 0 ? 2 * g / denominator : INFINITY;
}

// The distances of the pose's points (the joints' positions 1..N, the work point as N + 1) to
// the joints' axes, each measured once and shared by the bodies that end there: axes
// 1..measured[point] so far.
struct AxisDistances {
  int measured[kJointSlots + 1] = {};
  double d[kJointSlots + 1][kJointSlots];
};

// The point's distances to the axes of joints 1..last in the pose in kin.
const double* point_axis_distances(const MotionBound& m, const Kinematics& kin, int point, int last,
                                   AxisDistances& cache) {
  int& measured = cache.measured[point];
  const Vec3& p = point > m.N ? kin.rw : kin.Jpos[point];
  for (int i = measured + 1; i <= last; i++) {
    const Vec3 a = {kin.E[i].m[2], kin.E[i].m[5], kin.E[i].m[8]};
    cache.d[point][i] = std::sqrt(axis_distance2(p, kin.Jpos[i], a));
  }
  if (last > measured) measured = last;
  return cache.d[point];
}

// A and its floor counterpart for body k in the pose in kin: the body's farthest reach from
// each axis that moves it (the farther of its two points, the same as the root of the larger
// square), weighted by that joint's rate.
void lever_sums(const MotionBound& m, const Kinematics& kin, int k, AxisDistances& cache, double& A,
                double& floorA) {
  const BodyReach& b = m.body[k];
  const double* from = point_axis_distances(m, kin, b.from, b.last, cache);
  const double* to = point_axis_distances(m, kin, b.to, b.last, cache);
  A = floorA = 0;
  for (int i = 1; i <= b.last; i++) {
    const double lever = max_of(from[i], to[i]) + b.beyond;
    A += m.rate[i] * lever;
    floorA += m.floorRate[i] * lever;
  }
}

// The advance in t that no body can use to pass below the contact band, from the pose in kin.
// Each body and obstacle gets the larger of two safe advances: by its distances to the axes
// (A h + B h^2 / 2), and by a plane that parts it from the obstacle (its corners' velocities and
// the acceleration bound), which follows a body that heads for a touch closely.
double safe_advance(const MotionBound& m, const Kinematics& kin, const BodyClearances& c) {
  Twist tw[kJointSlots];
  joint_twists(m, kin, tw);
  const Vec3 up = {0, 0, 1};
  AxisDistances axes;
  double h = INFINITY;
  // Per body and obstacle the larger of the two advances; the one by the axes is worked out only
  // where the plane's advance alone would lower h.
  for (int k = 1; k < kBodySlots; k++) {
    const BodyReach& b = m.body[k];
    Vec3 corners[8];
    const int count = body_corners(m, kin, k, corners);
    const double cornerBeyond = k == kBodyWorkpiece ? 0 : b.beyond;
    Vec3 velocities[8];
    for (int i = 0; i < count; i++) velocities[i] = velocity(tw[b.last], corners[i]);
    const Vec3& n = c.wallAway[k];
    double A = NAN, floorA = NAN;
    double wall = n.x != 0 || n.y != 0 || n.z != 0
                      ? plane_advance(corners, velocities, count, cornerBeyond, n,
                                      plate_support(m.plate, n), m.acc[k])
                      : 0;
    if (!(wall >= h)) {
      lever_sums(m, kin, k, axes, A, floorA);
      wall = max_of(wall, advance_within(A, m.B[k], c.wall[k] + kWorkcellTolerance));
    }
    h = min_of(h, wall);
    for (int j = 0; j < m.obstacleCount; j++) {
      // A box that the body cannot reach within h even at its farthest from every axis (Amax
      // for A) cannot lower h: most boxes lie far from most bodies.
      if (m.Amax[k] * h + 0.5 * m.B[k] * h * h <= c.obstacle[k][j] + kWorkcellTolerance) continue;
      const Vec3& away = c.obstacleAway[k][j];
      double box = away.x != 0 || away.y != 0 || away.z != 0
                       ? plane_advance(corners, velocities, count, cornerBeyond, away,
                                       box_support(m.obstacles[j], away), m.acc[k])
                       : 0;
      if (!(box >= h)) {
        if (std::isnan(A)) lever_sums(m, kin, k, axes, A, floorA);
        box = max_of(box, advance_within(A, m.B[k], c.obstacle[k][j] + kWorkcellTolerance));
      }
      h = min_of(h, box);
    }
    if (k == 1) continue;  // arm 1 stands on the floor
    double floor = plane_advance(corners, velocities, count, cornerBeyond, up, 0, m.floorAcc[k]);
    if (!(floor >= h)) {
      if (std::isnan(floorA)) lever_sums(m, kin, k, axes, A, floorA);
      floor = max_of(floor, advance_within(floorA, m.floorB[k], c.floor[k] + kWorkcellTolerance));
    }
    h = min_of(h, floor);
  }
  return h;
}

// The yes/no check keeps a list of body-obstacle pairs still to watch. A pair's obstacle: the
// plate, the floor, or box j as kPairBox + j.
constexpr int kPairWall = 0;
constexpr int kPairFloor = 1;
constexpr int kPairBox = 2;
constexpr int kMaxPairs = (kBodySlots - 1) * (kPairBox + kMaxObstacles);

struct Pair {
  unsigned char body;
  unsigned char obstacle;
};

// A body in one pose: its corners and (the workpiece) its box from the start; the corners'
// velocities, its lever sums and its bounding box once a pair needs them, and the gap to the
// bounds of the box it was last held against (gapBox, -1 for none).
struct PoseBody {
  int count;
  Vec3 corners[8];
  OrientedBox box;
  bool moved, levered, bounded;
  Vec3 velocities[8];
  double A, floorA;
  Vec3 lo, hi;
  int gapBox;
  Vec3 gap;
};

// One pose of the motion and its bodies (set by set_pose_parts, the rest as needed).
struct PoseParts {
  PoseParts(const MotionBound& bound, const Kinematics& pose, double radius)
      : m(bound), kin(pose), r(radius) {}
  const MotionBound& m;
  const Kinematics& kin;
  double r;
  bool twisted;
  Twist tw[kJointSlots];
  PoseBody body[kBodySlots];
  AxisDistances axes;
};

void set_pose_parts(const RobotModel& robot, PoseParts& pose) {
  pose.twisted = false;
  for (int k = 1; k < kBodySlots; k++) {
    PoseBody& b = pose.body[k];
    b.count = body_corners(pose.m, pose.kin, k, b.corners);
    b.moved = b.levered = b.bounded = false;
    b.gapBox = -1;
  }
  pose.body[kBodyWorkpiece].box = workpiece_box(robot, pose.kin.rw, pose.kin.Ew);
}

const Vec3* corner_velocities(PoseParts& pose, int k) {
  PoseBody& b = pose.body[k];
  if (b.moved) return b.velocities;
  if (!pose.twisted) joint_twists(pose.m, pose.kin, pose.tw);
  pose.twisted = true;
  for (int c = 0; c < b.count; c++)
    b.velocities[c] = velocity(pose.tw[pose.m.body[k].last], b.corners[c]);
  b.moved = true;
  return b.velocities;
}

// The gap between box j's bounding box and body k's (a tube's radius included), signed from the
// box towards the body; the body's bounds are found once a pose, and the gap kept for the next
// question about the same pair.
Vec3 body_box_gap(PoseParts& pose, int k, int j) {
  PoseBody& b = pose.body[k];
  if (b.gapBox == j) return b.gap;
  if (!b.bounded) {
    if (k == kBodyWorkpiece) {
      box_bounds(b.box, b.lo, b.hi);
    } else {
      const Vec3 &p = b.corners[0], &q = b.corners[1];
      const double r = pose.r;
      b.lo = {min_of(p.x, q.x) - r, min_of(p.y, q.y) - r, min_of(p.z, q.z) - r};
      b.hi = {max_of(p.x, q.x) + r, max_of(p.y, q.y) + r, max_of(p.z, q.z) + r};
    }
    b.bounded = true;
  }
  b.gapBox = j;
  b.gap = bounds_gap(pose.m.obstacleLo[j], pose.m.obstacleHi[j], b.lo, b.hi);
  return b.gap;
}

// A cheap lower bound of the pair's clearance in this pose (exact for the floor), and a unit
// vector from the obstacle towards the body along which the two lie at least that far apart
// (zero where the bound shows no gap).
double pair_bound(PoseParts& pose, Pair p, Vec3& away) {
  const PoseBody& b = pose.body[p.body];
  const bool box = p.body == kBodyWorkpiece;
  if (p.obstacle == kPairFloor) {
    away = {0, 0, 1};
    return box ? box_bottom(b.box) : min_of(b.corners[0].z, b.corners[1].z) - pose.r;
  }
  if (p.obstacle == kPairWall)
    return box ? box_rect_bound(b.box, pose.m.plate, away)
               : segment_rect_bound(b.corners[0], b.corners[1], pose.m.plate, away) - pose.r;
  const Vec3 gap = body_box_gap(pose, p.body, p.obstacle - kPairBox);
  const double n = vnorm(gap);
  away = n > 0 ? Vec3{gap.x / n, gap.y / n, gap.z / n} : Vec3{0, 0, 0};
  return n;
}

// The obstacle's extent along n: its largest n . x.
double pair_support(const MotionBound& m, Pair p, const Vec3& n) {
  if (p.obstacle == kPairFloor) return 0;
  if (p.obstacle == kPairWall) return plate_support(m.plate, n);
  return box_support(m.obstacles[p.obstacle - kPairBox], n);
}

// A pair's body against the plane normal to n that touches its obstacle: the body (its corners),
// their velocities, how far the body reaches beyond them, the plane's offset and the body's
// acceleration bound.
struct PairPlane {
  const PoseBody& body;
  const Vec3* velocities;
  double beyond, offset, acc;
};

PairPlane pair_plane(PoseParts& pose, Pair p, const Vec3& n) {
  const int k = p.body;
  return {pose.body[k], corner_velocities(pose, k), k == kBodyWorkpiece ? 0 : pose.m.body[k].beyond,
          pair_support(pose.m, p, n),
          p.obstacle == kPairFloor ? pose.m.floorAcc[k] : pose.m.acc[k]};
}

// The advance over which the body keeps to its side of the plane normal to n that touches the
// obstacle (0 for a zero n).
double pair_plane_advance(PoseParts& pose, Pair p, const Vec3& n) {
  if (n.x == 0 && n.y == 0 && n.z == 0) return 0;
  const PairPlane q = pair_plane(pose, p, n);
  return plane_advance(q.body.corners, q.velocities, q.body.count, q.beyond, n, q.offset, q.acc);
}

// Where a pair has one (a body against a box, the workpiece against the plate), a tighter lower
// bound than pair_bound's: the separation along the separating axes (the plate taken as a box
// of no thickness), and that axis, turned towards the body.
bool pair_sat_bound(PoseParts& pose, Pair p, double& lower, Vec3& away) {
  const PoseBody& b = pose.body[p.body];
  const bool box = p.body == kBodyWorkpiece;
  if (p.obstacle == kPairFloor || (p.obstacle == kPairWall && !box)) return false;
  const OrientedBox& obstacle =
      p.obstacle == kPairWall ? pose.m.plateBox : pose.m.obstacles[p.obstacle - kPairBox];
  lower = box ? box_box_bound(b.box, obstacle, away)
              : tube_box_bound(b.corners[0], b.corners[1], pose.r, obstacle, away);
  return true;
}

// A body's clearance from the plate where one feature of the plate alone is nearest: the plate's
// face below the body's nearest corner, or one edge that every corner lies beyond (geometry.h);
// away points from the plate towards the body. False where neither applies.
bool plate_clearance_quick(const PoseParts& pose, int k, double& c, Vec3& away) {
  const PoseBody& b = pose.body[k];
  const WallRect& w = pose.m.plate;
  const double radius = k == kBodyWorkpiece ? 0 : pose.r;
  double d, side;
  if (hull_rect_distance_over_face(b.corners, b.count, w, d, side)) {
    c = d - radius;
    away = {0, side, 0};
    return true;
  }
  Vec3 from, to;
  if (!rect_edge_beyond_hull(b.corners, b.count, w, from, to)) return false;
  if (k == kBodyWorkpiece) {
    c = std::sqrt(segment_box_distance2(from, to, b.box));
    box_rect_bound(b.box, w, away);
    return true;
  }
  Vec3 onBody, onEdge, gap;
  d = std::sqrt(segment_segment_nearest(b.corners[0], b.corners[1], from, to, onBody, onEdge));
  vsub(onBody, onEdge, gap);
  away = d > 0 ? Vec3{gap.x / d, gap.y / d, gap.z / d} : Vec3{0, 0, 0};
  c = d - radius;
  return true;
}

// The pair's exact clearance in this pose, and a unit vector from the obstacle towards the body
// along which they lie apart (zero where none is known). sat is pair_sat_bound's bound for a box.
double pair_clearance(PoseParts& pose, Pair p, double sat, Vec3& away) {
  const PoseBody& b = pose.body[p.body];
  const bool box = p.body == kBodyWorkpiece;
  const Vec3 &a = b.corners[0], &e = b.corners[1];
  if (p.obstacle == kPairFloor) return pair_bound(pose, p, away);
  if (p.obstacle == kPairWall) {
    double quick;
    if (plate_clearance_quick(pose, p.body, quick, away)) return quick;
    if (!box) {
      WorkcellFeature f;
      return tube_plate_clearance(a, e, pose.r, pose.m.plate, f, away);
    }
    RectFeature rf;
    box_rect_bound(b.box, pose.m.plate, away);
    return box_rect_clearance(b.box, pose.m.plate, rf);
  }
  const OrientedBox& obstacle = pose.m.obstacles[p.obstacle - kPairBox];
  return box ? box_box_clearance_from(b.box, obstacle, sat, away)
             : tube_box_clearance_from(a, e, pose.r, obstacle, sat, away);
}

// The body's speed bound A in this pose (lever_sums) and its growth B, for the pair's obstacle.
void pair_levers(PoseParts& pose, Pair p, double& A, double& B) {
  const int k = p.body;
  PoseBody& b = pose.body[k];
  if (!b.levered) lever_sums(pose.m, pose.kin, k, pose.axes, b.A, b.floorA);
  b.levered = true;
  const bool floor = p.obstacle == kPairFloor;
  A = floor ? b.floorA : b.A;
  B = floor ? pose.m.floorB[k] : pose.m.B[k];
}

// The pair's safe advance from its exact clearance c: the largest of the planes' along away and
// along lowerAway (the normal its last lower bound gave) and the axes'; each after the first
// worked out only where those before fall short of h.
double pair_advance(PoseParts& pose, Pair p, double c, const Vec3& away, const Vec3& lowerAway,
                    double h) {
  double plane = pair_plane_advance(pose, p, away);
  if (plane >= h) return plane;
  if (lowerAway.x != away.x || lowerAway.y != away.y || lowerAway.z != away.z)
    plane = max_of(plane, pair_plane_advance(pose, p, lowerAway));
  if (plane >= h) return plane;
  double A, B;
  pair_levers(pose, p, A, B);
  return max_of(plane, advance_within(A, B, c + kWorkcellTolerance));
}

// What a lower bound of a pair's clearance settles for this pose: that the pair stays apart until
// the motion ends (dropped), that it cannot set this pose's step (passed), or neither (open).
enum PairSettled { kPairOpen, kPairPassed, kPairDropped };

// What the plane normal to n that touches the obstacle settles: every corner of the body held to
// its side (less `beyond`) over rest (dropped), or over h < rest (passed). pair_plane_advance's
// test without its roots: a corner's gap g + s x - acc x^2 / 2, concave, is still at least 0 at x.
PairSettled pair_plane_settles(PoseParts& pose, Pair p, const Vec3& n, double rest, double h) {
  if (n.x == 0 && n.y == 0 && n.z == 0) return kPairOpen;
  const PairPlane q = pair_plane(pose, p, n);
  bool dropped = true;  // every corner so far held over rest
  for (int c = 0; c < q.body.count; c++) {
    const double g = plane_gap(q.body.corners[c], q.beyond, n, q.offset);
    const double s = vdot(n, q.velocities[c]);
    if (!(g > 0)) return kPairOpen;
    if (dropped && g + rest * (s - 0.5 * q.acc * rest) >= 0) continue;
    if (!(h < rest) || !(g + h * (s - 0.5 * q.acc * h) >= 0)) return kPairOpen;
    dropped = false;
  }
  return dropped ? kPairDropped : kPairPassed;
}

// No point of the body moves faster than reach; its corners keep to their side of the plane
// normal to away that touches the obstacle while the plane's advance allows; and no point moves
// farther over h than A h + B h^2 / 2 by its levers in this pose. Tried in that order: the plane,
// which most often decides, costs less than the levers.
PairSettled settle_pair(PoseParts& pose, Pair p, double lower, const Vec3& away, double reach,
                        double rest, double h) {
  if (!(lower >= 0)) return kPairOpen;
  if (lower >= reach * rest) return kPairDropped;
  const double g = lower + kWorkcellTolerance;
  if (g >= reach * h) return kPairPassed;
  const PairSettled byPlane = pair_plane_settles(pose, p, away, rest, h);
  if (byPlane != kPairOpen) return byPlane;
  double A, B;
  pair_levers(pose, p, A, B);
  if (lower >= (A + 0.5 * B * rest) * rest) return kPairDropped;
  return g >= (A + 0.5 * B * h) * h ? kPairPassed : kPairOpen;
}

// A body-box pair settled by the squared gap of their bounding boxes alone, without the root
// that pair_bound takes: where the square shows the gap surely (by a relative 1e-12, far beyond
// rounding) at least what the body can cover by the motion's end, or (surely short of that)
// within this pose's step h, settle_pair would decide the same from pair_bound. kPairOpen where
// it may not, for a gap too small for its square to be exact, and for the plate and the floor.
PairSettled settle_box_by_square(PoseParts& pose, Pair p, double reach, double rest, double h) {
  constexpr double kSure = 1 + 1e-12;
  if (p.obstacle < kPairBox) return kPairOpen;
  const Vec3 gap = body_box_gap(pose, p.body, p.obstacle - kPairBox);
  const double gap2 = vdot(gap, gap);
  if (!(gap2 > 1e-200)) return kPairOpen;
  const double drop = reach * rest, pass = reach * h;
  if (gap2 > drop * drop * kSure) return kPairDropped;
  if (gap2 * kSure < drop * drop && gap2 > pass * pass * kSure) return kPairPassed;
  return kPairOpen;
}

// Whether every box's bounds are numbers.
bool finite_obstacles(const MotionBound& m) {
  for (int j = 0; j < m.obstacleCount; j++) {
    const Vec3 &lo = m.obstacleLo[j], &hi = m.obstacleHi[j];
    if (!std::isfinite(lo.x + lo.y + lo.z + hi.x + hi.y + hi.z)) return false;
  }
  return true;
}

// Every pair the check watches at the start: each body against the plate, the floor (not arm 1,
// which stands on it) and each box.
int all_pairs(const MotionBound& m, Pair pairs[]) {
  int n = 0;
  for (int k = 1; k < kBodySlots; k++) {
    if (k >= m.N && k < kBodyHand) continue;
    const unsigned char body = static_cast<unsigned char>(k);
    pairs[n++] = {body, kPairWall};
    if (k != 1) pairs[n++] = {body, kPairFloor};
    for (int j = 0; j < m.obstacleCount; j++)
      pairs[n++] = {body, static_cast<unsigned char>(kPairBox + j)};
  }
  return n;
}

// A motion that heads into an obstacle creeps up to it by ever shorter steps and is refused
// only at the contact band. Where the step shrinks below kShrinkingStep of the last, the pose
// kProbeSteps steps ahead is checked: invalid, it settles the verdict at once.
constexpr double kShrinkingStep = 0.7;
constexpr double kProbeSteps = 4;

// Whether the pose at fraction t (at most 1) of the motion q0 -> q1 is valid, by the fast
// kinematics of the verdict's poses; q is scratch, counted as a pose evaluated.
bool probe_ahead_valid(const RobotModel& robot, const QuarterTurns& turns, const Workcell& cell,
                       const double q0[], const double q1[], double t, Kinematics& kin, double q[],
                       MotionVerdict& out) {
  t = min_of(t, 1.0);
  for (int i = 1; i <= robot.N; i++) q[i] = q0[i] + t * (q1[i] - q0[i]);
  out.poses++;
  return pose_valid_fast(robot, turns, cell, q, kin) != 0;
}

}  // namespace

int motion_check(const RobotModel& robot, const Workcell& cell, const double q0[],
                 const double q1[], Kinematics& kin, MotionCheck& out) {
  double q[kJointSlots] = {};
  out.collides = 0;
  out.firstCollision = -1;
  out.lastFree = -1;
  out.minWall = out.minFloor = out.minObstacle = INFINITY;
  out.poses = 0;
  bool finite = true;
  for (int i = 1; i <= robot.N; i++) finite = finite && std::isfinite(q1[i] - q0[i]);
  if (!finite) {  // a joint value that is no number
    for (int i = 1; i <= robot.N; i++) q[i] = q1[i];
    pose_check(robot, cell, q, kin, out.worst);
    out.collides = 1;
    out.firstCollision = 0;
    return 1;
  }
  MotionBound bound;
  double t = 0;
  for (;;) {
    for (int i = 1; i <= robot.N; i++) q[i] = q0[i] + t * (q1[i] - q0[i]);
    forward_kinematics(robot, q, kin);
    if (out.poses == 0) set_up_bound(robot, cell, kin, q0, q1, false, bound);
    WorkcellClearance c;
    BodyClearances bodies;
    workcell_body_clearances(robot, kin, cell, bodies, c);
    out.poses++;
    out.minWall = min_of(out.minWall, c.wall);
    out.minFloor = min_of(out.minFloor, c.floor);
    out.minObstacle = min_of(out.minObstacle, c.obstacle);
    if (out.poses == 1 || !(c.least >= out.worst.least)) out.worst = c;
    if (!c.valid || !(c.least + kWorkcellTolerance >= kMotionMinAdvance) ||
        out.poses >= kMotionMaxPoses) {
      out.collides = 1;
      out.firstCollision = t;
      out.worst = c;
      return 1;
    }
    if (c.least >= 0) out.lastFree = t;
    // A step that reaches the end covers the end pose too: it is not evaluated on its own.
    const double h = bound.moving ? safe_advance(bound, kin, bodies) : INFINITY;
    if (!(t + h < 1)) {
      out.lastFree = 1;
      return 0;
    }
    t += h;
  }
}

int motion_verdict(const RobotModel& robot, const Workcell& cell, const double q0[],
                   const double q1[], Kinematics& kin, MotionVerdict& out) {
  QuarterTurns turns;
  quarter_turns(robot, turns);
  return motion_verdict(robot, turns, cell, q0, q1, kin, out);
}

int motion_verdict(const RobotModel& robot, const QuarterTurns& turns, const Workcell& cell,
                   const double q0[], const double q1[], Kinematics& kin, MotionVerdict& out) {
  out = {0, -1, 0};
  double q[kJointSlots] = {};
  for (int i = 1; i <= robot.N; i++) {
    if (!std::isfinite(q1[i] - q0[i])) {  // a joint value that is no number
      out.collides = 1;
      return 1;
    }
  }
  MotionBound bound;
  Pair pairs[kMaxPairs];
  int pairCount = 0, lead = 0;
  double t = 0, lastH = INFINITY;
  for (;;) {
    for (int i = 1; i <= robot.N; i++) q[i] = q0[i] + t * (q1[i] - q0[i]);
    forward_kinematics_fast(robot, turns, q, kin);
    if (out.poses == 0) {
      set_up_bound(robot, cell, kin, q0, q1, true, bound);
      pairCount = all_pairs(bound, pairs);
      if (!finite_obstacles(bound)) {  // a box that is no number: no bound can rule it out
        out.collides = 1;
        return 1;
      }
    }
    out.poses++;
    PoseParts pose(bound, kin, robot.linkRadius);
    set_pose_parts(robot, pose);
    // The pair that set the last step most likely sets this one: measured first, it lets the
    // others be passed by their bounds.
    std::swap(pairs[0], pairs[lead]);
    const double rest = 1 - t;
    double h = INFINITY;
    bool free = true;
    int kept = 0;
    lead = 0;
    for (int n = 0; n < pairCount; n++) {
      const Pair p = pairs[n];
      const double reach = p.obstacle == kPairFloor ? bound.floorAmax[p.body] : bound.Amax[p.body];
      Vec3 away;
      double sat = NAN;
      PairSettled settled = settle_box_by_square(pose, p, reach, rest, h);
      if (settled == kPairOpen)
        settled = settle_pair(pose, p, pair_bound(pose, p, away), away, reach, rest, h);
      if (settled == kPairOpen && pair_sat_bound(pose, p, sat, away))
        settled = settle_pair(pose, p, sat, away, reach, rest, h);
      if (settled == kPairDropped) continue;
      pairs[kept++] = p;
      if (settled == kPairPassed) continue;
      const Vec3 lowerAway = away;
      const double c = pair_clearance(pose, p, sat, away);
      if (!(c >= -kWorkcellTolerance) || !(c + kWorkcellTolerance >= kMotionMinAdvance)) {
        out.collides = 1;
        return 1;
      }
      free = free && c >= 0;
      const double advance = pair_advance(pose, p, c, away, lowerAway, h);
      if (advance < h) h = advance, lead = kept - 1;
    }
    pairCount = kept;
    if (out.poses >= kMotionMaxPoses) {
      out.collides = 1;
      return 1;
    }
    if (free) out.lastFree = t;
    if (!(t + h < 1)) {
      out.lastFree = 1;
      return 0;
    }
    if (h < kShrinkingStep * lastH &&
        !probe_ahead_valid(robot, turns, cell, q0, q1, t + kProbeSteps * h, kin, q, out)) {
      out.collides = 1;
      return 1;
    }
    lastH = h;
    t += h;
  }
}

void motion_body_bound(const RobotModel& robot, const Workcell& cell, const double q0[],
                       const double q1[], const Kinematics& kin, int k, BodyMotionBound& out) {
  MotionBound m;
  set_up_bound(robot, cell, kin, q0, q1, true, m);
  out.verdictAcc = m.acc[k];
  out.floorVerdictAcc = m.floorAcc[k];
  set_up_bound(robot, cell, kin, q0, q1, false, m);
  AxisDistances axes;
  lever_sums(m, kin, k, axes, out.A, out.floorA);
  out.B = m.B[k];
  out.acc = m.acc[k];
  out.floorB = m.floorB[k];
  out.floorAcc = m.floorAcc[k];
}
