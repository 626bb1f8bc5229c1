#include "planning/trajectory.h"

#include <algorithm>
#include <cmath>

namespace {

// How far a waypoint may lie from the straight line of its run's ends to be passed without
// stopping: far below any clearance the workcell certifies.
constexpr double kCollinearTolerance = 1e-12;  // radians

// The Euclidean length of joints 1..N of b - a, scaled by the largest difference so that
// differences near the smallest doubles neither underflow nor lose their digits.
double joint_distance(int N, const JointVector& a, const JointVector& b) {
  double largest = 0;
  for (int i = 1; i <= N; i++) largest = std::fmax(largest, std::fabs(b[i] - a[i]));
  if (!(largest > 0)) return 0;
  double sum = 0;
  for (int i = 1; i <= N; i++) {
    const double d = (b[i] - a[i]) / largest;
    sum += d * d;
  }
  return largest * std::sqrt(sum);
}

// Whether every waypoint strictly between `first` and `last` lies within the tolerance of their
// straight line, in order along it and strictly between its ends.
bool collinear_run(int N, const JointPath& path, size_t first, size_t last) {
  const double L = joint_distance(N, path[first], path[last]);
  if (!(L > 0)) return false;
  double before = 0;
  for (size_t k = first + 1; k < last; k++) {
    double along = 0;
    for (int i = 1; i <= N; i++)
      along += (path[k][i] - path[first][i]) * (path[last][i] - path[first][i]) / L;
    if (!(along > before) || !(along < L)) return false;
    JointVector foot{};
    for (int i = 1; i <= N; i++)
      foot[i] = path[first][i] + along / L * (path[last][i] - path[first][i]);
    if (joint_distance(N, foot, path[k]) > kCollinearTolerance) return false;
    before = along;
  }
  return true;
}

bool path_finite(int N, const JointPath& path) {
  for (const JointVector& q : path)
    for (int i = 1; i <= N; i++)
      if (!std::isfinite(q[i])) return false;
  return true;
}

bool limits_valid(int N, const JointLimits& limits) {
  for (int i = 1; i <= N; i++) {
    const double values[3] = {limits.velocity[i], limits.acceleration[i], limits.jerk[i]};
    for (double value : values)
      if (!(value > 0) || !std::isfinite(value)) return false;
  }
  return true;
}

// The run from waypoint `from` to `to` with the arc's limits: the least over the joints that
// move of the joint's limit over its share |u_i| of the arc, so that each joint keeps its own.
void make_segment(int N, const JointVector& from, const JointVector& to, const JointLimits& limits,
                  double start, TrajectorySegment& segment) {
  const double L = joint_distance(N, from, to);
  segment.from = from;
  segment.to = to;
  segment.start = start;
  double V = INFINITY, A = INFINITY, J = INFINITY;
  for (int i = 1; i <= N; i++) {
    segment.u[i] = (to[i] - from[i]) / L;
    const double share = std::fabs(segment.u[i]);
    if (share == 0) continue;
    V = std::fmin(V, limits.velocity[i] / share);
    A = std::fmin(A, limits.acceleration[i] / share);
    J = std::fmin(J, limits.jerk[i] / share);
  }
  double_s_profile(L, V, A, J, segment.profile);
}

// The profile's first half (0 <= t <= duration / 2): the acceleration, then half the cruise.
// The acceleration is symmetric about its middle, so its second half mirrors its first.
void first_half_at(const DoubleS& p, double t, double& s, double& sd, double& sdd) {
  const double J = p.jerk, tj = p.tj, ta = p.ta, vPeak = p.vPeak;
  if (t >= ta) {
    s = vPeak * ta / 2 + vPeak * (t - ta);
    sd = vPeak;
    sdd = 0;
    return;
  }
  // The first half of the acceleration at u: jerk for tj, then aPeak held.
  const double u = t <= ta / 2 ? t : ta - t;
  double su, sdu, sddu;
  if (u <= tj) {
    su = J * u * u * u / 6;
    sdu = J * u * u / 2;
    sddu = J * u;
  } else {
    const double w = u - tj;
    su = J * tj * tj * tj / 6 + J * tj * tj / 2 * w + p.aPeak * w * w / 2;
    sdu = J * tj * tj / 2 + p.aPeak * w;
    sddu = p.aPeak;
  }
  if (t <= ta / 2) {
    s = su, sd = sdu, sdd = sddu;
    return;
  }
  // Mirrored about ta / 2: the speed rises as much in the second half as in the first.
  s = vPeak * ta / 2 - vPeak * u + su;
  sd = vPeak - sdu;
  sdd = sddu;
}

}  // namespace

JointLimits default_joint_limits() {
  JointLimits limits{};
  for (int i = 1; i <= kMaxJoints; i++) {
    limits.velocity[i] = kDefaultMaxVelocity[i];
    limits.acceleration[i] = kDefaultMaxAcceleration[i];
    limits.jerk[i] = kDefaultMaxJerk[i];
  }
  return limits;
}

void double_s_profile(double length, double V, double A, double J, DoubleS& p) {
  p = DoubleS();
  p.length = length;
  p.jerk = J;
  if (!(length > 0)) return;
  // Peak speed V reached: with A too when V J >= A^2, else the jerk phases meet.
  // (Ratios rather than products, which limits near the largest doubles would overflow.)
  const bool reachesA = V / A >= A / J;
  p.tj = reachesA ? A / J : std::sqrt(V / J);
  p.ta = reachesA ? p.tj + V / A : 2 * p.tj;
  p.tv = length / V - p.ta;
  if (p.tv < 0) {
    p.tv = 0;
    if (length / A >= 2 * (A / J) * (A / J)) {
      // No cruise, A reached: length = A (ta - tj) ta.
      p.tj = A / J;
      p.ta = (p.tj + std::sqrt(p.tj * p.tj + 4 * length / A)) / 2;
    } else {
      // No cruise and A not reached: length = 2 J tj^3.
      p.tj = std::cbrt(length / (2 * J));
      p.ta = 2 * p.tj;
    }
  }
  p.aPeak = J * p.tj;
  p.vPeak = p.aPeak * (p.ta - p.tj);
  p.duration = 2 * p.ta + p.tv;
}

void double_s_at(const DoubleS& p, double t, double& s, double& sd, double& sdd) {
  if (!(t > 0) || !(p.duration > 0)) {
    s = sd = sdd = 0;
    if (t >= p.duration) s = p.length;
    return;
  }
  if (t >= p.duration) {
    s = p.length, sd = sdd = 0;
    return;
  }
  if (t <= p.duration / 2) {
    first_half_at(p, t, s, sd, sdd);
    return;
  }
  // The deceleration mirrors the acceleration in time.
  double r;
  first_half_at(p, p.duration - t, r, sd, sdd);
  s = p.length - r;
  sdd = -sdd;
}

int time_trajectory(int N, const JointPath& path, const JointLimits& limits,
                    Trajectory& trajectory) {
  trajectory = Trajectory();
  if (N < 1 || N > kMaxJoints || path.empty() || !path_finite(N, path)) return kTrajectoryBadPath;
  if (!limits_valid(N, limits)) return kTrajectoryBadLimits;
  trajectory.N = N;
  trajectory.rest = path.front();
  // The distinct waypoints, in order.
  JointPath corners;
  corners.reserve(path.size());
  for (const JointVector& q : path)
    if (corners.empty() || joint_distance(N, corners.back(), q) > 0) corners.push_back(q);
  trajectory.segments.reserve(corners.size());
  double t = 0;
  size_t first = 0;
  while (first + 1 < corners.size()) {
    size_t last = first + 1;
    while (last + 1 < corners.size() && collinear_run(N, corners, first, last + 1)) last++;
    TrajectorySegment segment;
    make_segment(N, corners[first], corners[last], limits, t, segment);
    t += segment.profile.duration;
    trajectory.segments.push_back(segment);
    first = last;
  }
  trajectory.duration = t;
  return kTrajectoryOk;
}

void trajectory_at(const Trajectory& trajectory, double t, double q[], double qd[], double qdd[]) {
  const int N = trajectory.N;
  const std::vector<TrajectorySegment>& segments = trajectory.segments;
  // At rest before the start and from the duration on (which the runs' times, summed, may
  // miss by a rounding).
  if (segments.empty() || !(t > 0) || t >= trajectory.duration) {
    const JointVector& at = segments.empty() || !(t > 0) ? trajectory.rest : segments.back().to;
    for (int i = 1; i <= N; i++) q[i] = at[i], qd[i] = qdd[i] = 0;
    return;
  }
  // The last run starting at or before t (the first before it starts).
  const auto after = std::upper_bound(
      segments.begin(), segments.end(), t,
      [](double time, const TrajectorySegment& segment) { return time < segment.start; });
  const TrajectorySegment& segment = after == segments.begin() ? segments.front() : *(after - 1);
  double s, sd, sdd;
  double_s_at(segment.profile, t - segment.start, s, sd, sdd);
  // From the nearer end, so that each end is met exactly.
  const double L = segment.profile.length;
  for (int i = 1; i <= N; i++) {
    q[i] = s <= L / 2 ? segment.from[i] + s * segment.u[i] : segment.to[i] - (L - s) * segment.u[i];
    qd[i] = sd * segment.u[i];
    qdd[i] = sdd * segment.u[i];
  }
}
