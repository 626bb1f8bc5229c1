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
  double acc[kBodySlots], floorAcc[kBodySlots];  // bounds on |p''| (per unit t squared)
  WallRect plate;
  int obstacleCount;
  OrientedBox obstacles[kMaxObstacles];
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

void set_up_bound(const RobotModel& robot, const Workcell& cell, const Kinematics& kin,
                  const double q0[], const double q1[], MotionBound& m) {
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
    m.Amax[k] = 0;
    for (int i = 1; i <= m.body[k].last; i++) m.Amax[k] += m.rate[i] * m.body[k].R[i];
    m.floorB[k] = growth(m.body[k], m.floorRate);
    m.acc[k] = acceleration(m.body[k], m.rate);
    m.floorAcc[k] = acceleration(m.body[k], m.floorRate);
  }
  m.plate = wall_plate(cell.rh);
  m.obstacleCount = std::min(std::max(cell.obstacleCount, 0), kMaxObstacles);
  for (int j = 0; j < m.obstacleCount; j++) m.obstacles[j] = obstacle_box(cell.obstacles[j]);
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

// The advance over which no corner of a body, less `beyond`, can cross the plane n . x =
// offset, by the corners' velocities and the body's acceleration bound acc.
double plane_advance(const Vec3 corners[], const Vec3 velocities[], int count, double beyond,
                     const Vec3& n, double offset, double acc) {
  double h = INFINITY;
  for (int c = 0; c < count; c++) {
    const double g = vdot(n, corners[c]) - offset - beyond + kWorkcellTolerance;
    h = min_of(h, step_above(g, vdot(n, velocities[c]), acc));
  }
  return h;
}

// Distance of p from the axis through o along the unit vector a.
double axis_distance(const Vec3& p, const Vec3& o, const Vec3& a) {
  const double rx = p.x - o.x, ry = p.y - o.y, rz = p.z - o.z;
  const double s = rx * a.x + ry * a.y + rz * a.z;
  return std::sqrt(max_of(0.0, rx * rx + ry * ry + rz * rz - s * s));
}

// The largest h with A h + B h^2 / 2 <= g (infinite when nothing moves).
double advance_within(double A, double B, double g) {
  const double denominator = A + std::sqrt(A * A + 2 * B * g);
  return denominator > 0 ? 2 * g / denominator : INFINITY;
}

// The advance in t that no body can use to pass below the contact band, from the pose in kin.
// Each body and obstacle gets the larger of two safe advances: by its distances to the axes
// (A h + B h^2 / 2), and by a plane that parts it from the obstacle (its corners' velocities and
// the acceleration bound), which follows a body that heads for a touch closely.
// A and its floor counterpart for body k in the pose in kin: the body's farthest reach from
// each axis that moves it, weighted by that joint's rate.
void lever_sums(const MotionBound& m, const Kinematics& kin, int k, double& A, double& floorA) {
  const BodyReach& b = m.body[k];
  const Vec3& from = b.from > m.N ? kin.rw : kin.Jpos[b.from];
  const Vec3& to = b.to > m.N ? kin.rw : kin.Jpos[b.to];
  A = floorA = 0;
  for (int i = 1; i <= b.last; i++) {
    const Vec3 a = {kin.E[i].m[2], kin.E[i].m[5], kin.E[i].m[8]};
    const double lever =
        max_of(axis_distance(from, kin.Jpos[i], a), axis_distance(to, kin.Jpos[i], a)) + b.beyond;
    A += m.rate[i] * lever;
    floorA += m.floorRate[i] * lever;
  }
}

double safe_advance(const MotionBound& m, const Kinematics& kin, const BodyClearances& c) {
  Twist tw[kJointSlots];
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
  const Vec3 up = {0, 0, 1};
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
      lever_sums(m, kin, k, A, floorA);
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
        if (std::isnan(A)) lever_sums(m, kin, k, A, floorA);
        box = max_of(box, advance_within(A, m.B[k], c.obstacle[k][j] + kWorkcellTolerance));
      }
      h = min_of(h, box);
    }
    if (k == 1) continue;  // arm 1 stands on the floor
    double floor = plane_advance(corners, velocities, count, cornerBeyond, up, 0, m.floorAcc[k]);
    if (!(floor >= h)) {
      if (std::isnan(floorA)) lever_sums(m, kin, k, A, floorA);
      floor = max_of(floor, advance_within(floorA, m.floorB[k], c.floor[k] + kWorkcellTolerance));
    }
    h = min_of(h, floor);
  }
  return h;
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
    if (out.poses == 0) set_up_bound(robot, cell, kin, q0, q1, bound);
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

void motion_body_bound(const RobotModel& robot, const Workcell& cell, const double q0[],
                       const double q1[], const Kinematics& kin, int k, BodyMotionBound& out) {
  MotionBound m;
  set_up_bound(robot, cell, kin, q0, q1, m);
  lever_sums(m, kin, k, out.A, out.floorA);
  out.B = m.B[k];
  out.acc = m.acc[k];
  out.floorB = m.floorB[k];
  out.floorAcc = m.floorAcc[k];
}
