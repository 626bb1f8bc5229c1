#include "contact/line_contact.h"

#include <cmath>

#include "contact/line_contact4.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"

namespace {

// Candidates no nearer than this to the start value are never chosen.
constexpr double kFarAngle = 100;

// The candidate among those flagged whose joint K is nearest qK0 (one turn at most); the earlier
// one on a tie. Returns -1 when none is flagged.
int nearest_candidate(int n, const double cand[4][kJointSlots], const bool eligible[4], int K,
                      double qK0) {
  int best = -1;
  double bestGap = kFarAngle;
  for (int i = 0; i < n; i++) {
    if (!eligible[i]) continue;
    const double gap = std::fabs(angle_diff(cand[i][K], qK0));
    if (gap < bestGap) {
      bestGap = gap;
      best = i;
    }
  }
  return best;
}

// Centre Ps and radius of the circle joint s describes when joint K turns about the unit axis a.
double circle_about(const Vec3& a, const Vec3& jointK, const Vec3& jointS, Vec3& Ps) {
  Vec3 rel;
  vsub(jointS, jointK, rel);
  const double along = vdot(rel, a);
  vadd(jointK, {a.x * along, a.y * along, a.z * along}, Ps);
  vsub(jointS, Ps, rel);
  return vnorm(rel);
}

// Whether joint s, turning about joint K's axis a (not perpendicular to the edge), can reach
// the edge line: the circle it describes against the point where the edge pierces its plane.
bool reaches_across(const Vec3& rh, const Vec3& a, const Vec3& jointK, const Vec3& jointS) {
  Vec3 Ps, X, tmp;
  const double r1 = circle_about(a, jointK, jointS, Ps);
  vsub(Ps, rh, tmp);
  const double mu = vdot(tmp, a) / vdot(kEhz, a);
  vadd(rh, {0, 0, mu}, X);
  vsub(X, Ps, tmp);
  return r1 >= vnorm(tmp);
}

// The same when the axis a is perpendicular to the edge, so the edge runs along the circle's
// plane: the circle against the edge line projected into that plane.
bool reaches_along(const Vec3& rh, const Vec3& a, const Vec3& jointK, const Vec3& jointS) {
  Vec3 Ps;
  const double r1 = circle_about(a, jointK, jointS, Ps);
  // Edge direction within the plane, and the edge point relative to the centre within it.
  const double ea = vdot(kEhz, a);
  Vec3 u = {-ea * a.x, -ea * a.y, 1 - ea * a.z};
  const double ulen = vnorm(u);
  u = {u.x / ulen, u.y / ulen, u.z / ulen};
  Vec3 p;
  vsub(rh, Ps, p);
  const double pa = vdot(p, a), pu = vdot(p, u);
  const Vec3 offLine = {p.x - pa * a.x - pu * u.x, p.y - pa * a.y - pu * u.y,
                        p.z - pa * a.z - pu * u.z};
  return r1 >= vnorm(offLine);
}

// First arm s - 1 (s = 2..N-2) whose end joint s can reach the edge as joint K turns, or N+1.
int nearest_arm(const RobotModel& robot, const Vec3& rh, const Kinematics& kin, int K) {
  const int N = robot.N;
  const Vec3 a = {kin.E[K].m[2], kin.E[K].m[5], kin.E[K].m[8]};
  const bool across = std::fabs(vdot(a, kEhz)) >= 1e-5;
  for (int s = 2; s <= N - 2; s++) {
    const bool reach = across ? reaches_across(rh, a, kin.Jpos[K], kin.Jpos[s])
                              : reaches_along(rh, a, kin.Jpos[K], kin.Jpos[s]);
    if (reach) return s - 1;
  }
  return N + 1;
}

// The class of an arm at signed distance dist from the edge line.
ContactClass contact_class(double linkRadius, double dist) {
  const double g = dist - linkRadius;
  if (g + 1e-5 <= 0) return kContactCuts;
  if (std::fabs(g) < 1e-5) return kContactTouches;
  return kContactApart;
}

// First arm s (2..N-1) whose segment passes through the wall plate, with the crossing's place
// along the arm and its depth behind the edge; 0 when none does. Reads the kinematic state.
int crossing_arm(const RobotModel& robot, const Vec3& rh, const Kinematics& kin, double& mu,
                 double& depth) {
  for (int s = 2; s <= robot.N - 1; s++) {
    const Vec3& u = kin.LU[s + 1];
    // An arm parallel to the wall plane never crosses it.
    if (std::fabs(u.y) < 1e-5) continue;
    Vec3 w;
    vsub(rh, kin.Jpos[s], w);
    const double m = w.y / u.y;
    const double k = w.x - m * u.x;
    if (m >= 0 && m <= robot.Llen[s + 1] && k >= 0) {
      mu = m;
      depth = k;
      return s;
    }
  }
  return 0;
}

// First arm s (1..N-1) whose segment passes the edge line closer than the link radius allows
// (the contact class "cuts in"), with that distance and the place of the nearest point along the
// arm; 0 when none does. The nearest-arm classification looks at one arm's axis line only, so
// without this a link tube lying across the edge could be reported as apart from the wall.
// Reads the kinematic state.
int overlapping_arm(const RobotModel& robot, const Vec3& rh, const Kinematics& kin, double& dist,
                    double& along) {
  for (int s = 1; s <= robot.N - 1; s++) {
    const Vec3& a = kin.Jpos[s];
    const Vec3& b = kin.Jpos[s + 1];
    // The edge is vertical: measure in the horizontal projection.
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double f = len2 > 0 ? ((rh.x - a.x) * dx + (rh.y - a.y) * dy) / len2 : 0;
    f = std::fmin(std::fmax(f, 0.0), 1.0);
    const double gap = std::hypot(a.x + f * dx - rh.x, a.y + f * dy - rh.y);
    if (contact_class(robot.linkRadius, gap) == kContactCuts) {
      dist = gap;
      along = f * robot.Llen[s + 1];
      return s;
    }
  }
  return 0;
}

}  // namespace

int line_contact(const RobotModel& robot, const Vec3& rh, const double q[], int K, int M,
                 Kinematics& kin, double qout[], double& d, double& t, MessageLog* log) {
  const int N = robot.N;
  qcopy(N, q, qout);
  double cand[4][kJointSlots], dist[4], tpar[4];
  const int n = line_contact4(robot, rh, q, K, M, kin, cand, dist, tpar, log);
  // An arm beyond the contact arms has no candidates either.
  if (n == 0 || n == kArmBeyondContact) {
    log_printf(log, "\n直線接触の解なし");
    return 0;
  }
  // q[K] before qout, which may be q, is overwritten.
  const double qK0 = qout[K];
  const double len = robot.Llen[M + 1];
  int chosen = -1;
  bool beyond[4];
  for (int i = 0; i < n; i++) {
    const bool onArm = tpar[i] >= 0 && tpar[i] <= len;
    if (onArm && dist[i] > 0) chosen = i;
    beyond[i] = !onArm && dist[i] > 0;
  }
  if (chosen < 0) chosen = nearest_candidate(n, cand, beyond, K, qK0);
  if (chosen < 0) {
    const bool all[4] = {true, true, true, true};
    chosen = nearest_candidate(n, cand, all, K, qK0);
  }
  // The start value is NaN or so far out that no candidate is within the bound: the first.
  if (chosen < 0) chosen = 0;
  qcopy(N, cand[chosen], qout);
  d = dist[chosen];
  t = tpar[chosen];
  return 1;
}

int contact_check(const RobotModel& robot, const Vec3& rh, int K, double q[], Kinematics& kin,
                  int& mc, ContactClass& sgnCONTACT, double& d, double& t) {
  const int N = robot.N;
  forward_kinematics(robot, q, kin);
  // Without a joint K nothing turns toward the edge.
  const int m0 = K >= 1 && K <= N ? nearest_arm(robot, rh, kin, K) : N + 1;
  if (m0 > N) {
    sgnCONTACT = kContactApart;
  } else {
    d = arm_line_distance(robot, rh, m0, q, kin, t);
    sgnCONTACT = contact_class(robot.linkRadius, d);
  }
  double gap, along;
  mc = overlapping_arm(robot, rh, kin, gap, along);
  if (mc != 0) {
    sgnCONTACT = kContactCuts;
    t = along;
    d = gap;
  }
  double mu, depth;
  const int crossing = crossing_arm(robot, rh, kin, mu, depth);
  if (crossing != 0) {
    mc = crossing;
    sgnCONTACT = kContactCuts;
    t = mu;
    d = -depth;
  }
  return m0;
}
