// Timed motion along joint paths, judged by the test's own computations: fine samples stay on the
// path's straight segments and move forward along them, keep every joint's speed, acceleration
// and jerk (analytic and by finite differences), start and end at rest; a straight segment takes
// the least rest-to-rest time found here by bisection on the peak speed; a path takes the sum of
// its segments' times, less where collinear segments merge; awkward paths and limits stay sound.
#include "planning/trajectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>

namespace {

constexpr int N = 7;

JointVector pose(std::initializer_list<double> values) {
  JointVector q{};
  int i = 1;
  for (double v : values) q[i++] = v;
  return q;
}

double distance(const JointVector& a, const JointVector& b) {
  double s = 0;
  for (int i = 1; i <= N; i++) s += (b[i] - a[i]) * (b[i] - a[i]);
  return std::sqrt(s);
}

// Distance from q to the segment a-b and the arc length of its foot from a.
double segment_distance(const JointVector& q, const JointVector& a, const JointVector& b,
                        double& along) {
  const double L = distance(a, b);
  double dot = 0;
  for (int i = 1; i <= N; i++) dot += (q[i] - a[i]) * (b[i] - a[i]);
  along = L > 0 ? std::clamp(dot / L, 0.0, L) : 0;
  JointVector foot{};
  for (int i = 1; i <= N; i++) foot[i] = a[i] + (L > 0 ? along / L : 0) * (b[i] - a[i]);
  return distance(q, foot);
}

// Peak speed reached from rest with acceleration A and jerk J at most, and the time and distance
// the ramp to speed v takes.
void ramp(double v, double A, double J, double& time, double& dist) {
  if (v <= A * A / J) {
    time = 2 * std::sqrt(v / J);
    dist = v * time / 2;
  } else {
    time = v / A + A / J;
    dist = v * time / 2;
  }
}

// The least rest-to-rest time over length L: the highest peak speed v <= V whose ramp up and
// down fits in L (bisection), cruising over what is left.
double least_time(double L, double V, double A, double J) {
  double time, dist;
  ramp(V, A, J, time, dist);
  double v = V;
  if (2 * dist > L) {
    double lo = 0, hi = V;
    for (int k = 0; k < 200; k++) {
      const double mid = (lo + hi) / 2;
      ramp(mid, A, J, time, dist);
      (2 * dist <= L ? lo : hi) = mid;
    }
    v = lo;
    ramp(v, A, J, time, dist);
  }
  return v > 0 ? 2 * time + (L - 2 * dist) / v : 0;
}

// The least time to stop at every waypoint: each segment's least time with the arc's limits.
double stop_at_every_waypoint(const JointPath& path, const JointLimits& limits) {
  double total = 0;
  for (size_t k = 1; k < path.size(); k++) {
    const double L = distance(path[k - 1], path[k]);
    if (L == 0) continue;
    double V = INFINITY, A = INFINITY, J = INFINITY;
    for (int i = 1; i <= N; i++) {
      const double share = std::fabs(path[k][i] - path[k - 1][i]) / L;
      if (share == 0) continue;
      V = std::fmin(V, limits.velocity[i] / share);
      A = std::fmin(A, limits.acceleration[i] / share);
      J = std::fmin(J, limits.jerk[i] / share);
    }
    total += least_time(L, V, A, J);
  }
  return total;
}

JointLimits uniform_limits(double v, double a, double j) {
  JointLimits limits{};
  for (int i = 1; i <= N; i++) limits.velocity[i] = v, limits.acceleration[i] = a;
  for (int i = 1; i <= N; i++) limits.jerk[i] = j;
  return limits;
}

struct Sample {
  JointVector q{}, qd{}, qdd{};
};

Sample at(const Trajectory& trajectory, double t) {
  Sample s;
  trajectory_at(trajectory, t, s.q.data(), s.qd.data(), s.qdd.data());
  return s;
}

// Samples the trajectory at `count` equal steps and checks it against the path and the limits:
// finite values; each joint within its limits, analytically and by differences of neighbouring
// samples (the jerk as the change of acceleration); speeds and accelerations matching central
// differences; every sample on a segment of the path, never going back along it nor skipping a
// corner; at rest at the path's ends.
void judge(const Trajectory& trajectory, const JointPath& path, const JointLimits& limits,
           int count = 20000) {
  const double T = trajectory.duration;
  ASSERT_TRUE(std::isfinite(T) && T >= 0);
  const Sample first = at(trajectory, 0), last = at(trajectory, T);
  for (int i = 1; i <= N; i++) {
    EXPECT_EQ(first.q[i], path.front()[i]);
    EXPECT_EQ(last.q[i], path.back()[i]);
    EXPECT_EQ(first.qd[i], 0);
    EXPECT_EQ(last.qd[i], 0);
    EXPECT_EQ(first.qdd[i], 0);
    EXPECT_EQ(last.qdd[i], 0);
  }
  if (T == 0) return;
  const double h = T / count;
  // Roundoff of joint values near 10 rad, over a difference step.
  const double noise = 1e-14 * 10;
  double speed = 0;  // the most any joint speeds allow together
  for (int i = 1; i <= N; i++) speed += limits.velocity[i] * limits.velocity[i];
  const double reach = std::sqrt(speed) * h * (1 + 1e-9) + 1e-9;
  size_t segment = 1;
  double before = 0;
  Sample previous = first;
  for (int k = 0; k <= count; k++) {
    const double t = T * k / count;
    const Sample s = at(trajectory, t);
    for (int i = 1; i <= N; i++) {
      ASSERT_TRUE(std::isfinite(s.q[i]) && std::isfinite(s.qd[i]) && std::isfinite(s.qdd[i]))
          << "t " << t;
      const double v = limits.velocity[i], a = limits.acceleration[i], j = limits.jerk[i];
      ASSERT_LE(std::fabs(s.qd[i]), v * (1 + 1e-9)) << "joint " << i << " t " << t;
      ASSERT_LE(std::fabs(s.qdd[i]), a * (1 + 1e-9)) << "joint " << i << " t " << t;
      ASSERT_LE(std::fabs(s.q[i] - previous.q[i]), v * h * (1 + 1e-9) + noise);
      ASSERT_LE(std::fabs(s.qd[i] - previous.qd[i]), a * h * (1 + 1e-9) + noise);
      ASSERT_LE(std::fabs(s.qdd[i] - previous.qdd[i]), j * h * (1 + 1e-6) + noise)
          << "joint " << i << " t " << t;
      if (k > 0 && k < count) {
        const double e = h / 100;
        const Sample lo = at(trajectory, t - e), hi = at(trajectory, t + e);
        EXPECT_NEAR((hi.q[i] - lo.q[i]) / (2 * e), s.qd[i], j * e * e + noise / e) << "t " << t;
        EXPECT_NEAR((hi.qd[i] - lo.qd[i]) / (2 * e), s.qdd[i], j * e + noise / e) << "t " << t;
        // The acceleration from the values alone, over a wider step for the rounding's sake.
        const Sample earlier = at(trajectory, t - h), later = at(trajectory, t + h);
        EXPECT_NEAR((later.q[i] - 2 * s.q[i] + earlier.q[i]) / (h * h), s.qdd[i],
                    j * h + 4 * noise / (h * h))
            << "t " << t;
      }
    }
    // On the path: the first segment from the current one on that holds the sample without
    // going back along it; a segment is left only from its end, within one step's reach.
    double along = 0;
    while (segment < path.size()) {
      const bool on = segment_distance(s.q, path[segment - 1], path[segment], along) < 1e-9;
      if (on && along >= before - 1e-9) break;
      ASSERT_LE(distance(previous.q, path[segment]), reach) << "t " << t << " skips a corner";
      segment++, before = 0;
    }
    ASSERT_LT(segment, path.size()) << "t " << t << " lies off the path or goes back along it";
    before = along;
    previous = s;
  }
}

// A seeded random path of `count` waypoints within +-3 rad.
JointPath random_path(std::mt19937& rng, int count) {
  std::uniform_real_distribution<double> value(-3, 3);
  JointPath path(count);
  for (JointVector& q : path)
    for (int i = 1; i <= N; i++) q[i] = value(rng);
  return path;
}

// Each regime of the straight rest-to-rest profile: at full speed after reaching full
// acceleration; at full speed without it; with no cruise but full acceleration; with neither.
// The duration is the least time found by bisection; the peaks sampled say which regime ran.
TEST(Trajectory, StraightSegmentTakesTheLeastTime) {
  struct Case {
    const char* name;
    double length, V, A, J;
    bool reachesV, reachesA;
  };
  const Case cases[] = {
      {"cruise, A reached", 10, 1, 2, 10, true, true},
      {"cruise, A not reached", 10, 1, 5, 10, true, false},
      {"no cruise, A reached", 0.6, 1, 2, 10, false, true},
      {"no cruise, A not reached", 0.01, 1, 2, 10, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Along joint 3 alone, the other joints' limits far lower: they must not bind.
    JointLimits limits = uniform_limits(1e-3, 1e-3, 1e-3);
    limits.velocity[3] = c.V, limits.acceleration[3] = c.A, limits.jerk[3] = c.J;
    const JointPath path = {pose({0.1, 0.2, -1, 0, 0, 0, 0}),
                            pose({0.1, 0.2, -1 + c.length, 0, 0, 0, 0})};
    Trajectory trajectory;
    ASSERT_EQ(time_trajectory(N, path, limits, trajectory), kTrajectoryOk);
    EXPECT_NEAR(trajectory.duration, least_time(c.length, c.V, c.A, c.J), 1e-9);
    double vPeak = 0, aPeak = 0;
    for (int k = 0; k <= 10000; k++) {
      const Sample s = at(trajectory, trajectory.duration * k / 10000);
      vPeak = std::fmax(vPeak, std::fabs(s.qd[3]));
      aPeak = std::fmax(aPeak, std::fabs(s.qdd[3]));
    }
    EXPECT_EQ(vPeak > c.V * (1 - 1e-6), c.reachesV) << vPeak;
    EXPECT_EQ(aPeak > c.A * (1 - 1e-6), c.reachesA) << aPeak;
    judge(trajectory, path, limits);
  }
}

// Random paths with limits that differ from joint to joint: sound under the judge, and as long
// as stopping at every waypoint with the least time (no two random segments are collinear).
TEST(Trajectory, RandomPathsStopAtEveryCornerWithinLimits) {
  for (unsigned seed = 1; seed <= 12; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> factor(0.3, 3);
    JointLimits limits = default_joint_limits();
    for (int i = 1; i <= N; i++) {
      limits.velocity[i] *= factor(rng);
      limits.acceleration[i] *= factor(rng);
      limits.jerk[i] *= factor(rng);
    }
    const JointPath path = random_path(rng, 2 + static_cast<int>(seed % 5));
    Trajectory trajectory;
    ASSERT_EQ(time_trajectory(N, path, limits, trajectory), kTrajectoryOk);
    EXPECT_NEAR(trajectory.duration, stop_at_every_waypoint(path, limits),
                1e-9 * trajectory.duration);
    judge(trajectory, path, limits);
  }
}

// Waypoints on one straight line, in order, are passed without stopping: the run takes the
// straight segment's least time from its first to its last waypoint, and the speed at the inner
// waypoints is not zero. A turn after the run is still a stop.
TEST(Trajectory, CollinearSegmentsMerge) {
  const JointVector a = pose({0, 0.5, 1, -1, 0.2, 0, 3}), b = pose({1, -0.5, 2, 0, 0.7, 1, 2});
  JointPath path;
  const double fractions[] = {0, 0.1, 0.45, 0.5, 1};
  for (double f : fractions) {
    JointVector q{};
    for (int i = 1; i <= N; i++) q[i] = a[i] + f * (b[i] - a[i]);
    path.push_back(q);
  }
  path.push_back(pose({2, -0.5, 2, 0, 0.7, 1, 2}));
  const JointLimits limits = default_joint_limits();
  Trajectory trajectory;
  ASSERT_EQ(time_trajectory(N, path, limits, trajectory), kTrajectoryOk);
  const JointPath merged = {a, b, path.back()};
  EXPECT_NEAR(trajectory.duration, stop_at_every_waypoint(merged, limits), 1e-9);
  EXPECT_LT(trajectory.duration, stop_at_every_waypoint(path, limits) - 0.1);
  judge(trajectory, path, limits);
  // The speed where the path passes its inner waypoints: the samples nearest each.
  for (size_t k = 1; k + 2 < path.size(); k++) {
    double nearest = INFINITY, speed = 0;
    for (int s = 0; s <= 20000; s++) {
      const Sample sample = at(trajectory, trajectory.duration * s / 20000);
      const double d = distance(sample.q, path[k]);
      if (d < nearest) nearest = d, speed = distance(sample.qd, JointVector{});
    }
    EXPECT_GT(speed, 0.1) << "waypoint " << k;
  }
}

// Awkward paths and limits: each is timed soundly under the judge, within the time of stopping
// at every waypoint, and at once.
TEST(Trajectory, AwkwardPathsStaySound) {
  std::mt19937 rng(7);
  const JointVector a = pose({0.3, 1.2, -0.4, 0.8, 0, -1, 2});
  const JointVector b = pose({-1, 2, 0.5, 0.1, 1, 0.5, -2});
  JointVector aTiny = a, aNear = a, there = a, back = a, offLine = a;
  for (int i = 1; i <= N; i++) there[i] += 0.7 * (b[i] - a[i]), back[i] += 0.3 * (b[i] - a[i]);
  for (int i = 1; i <= N; i++) offLine[i] += 0.5 * (b[i] - a[i]);
  offLine[3] += 1e-6;
  aTiny[4] += 1e-9;
  aNear[2] += 1e-9, aNear[6] -= 1e-9;
  JointLimits spread = default_joint_limits();
  spread.velocity[2] *= 1e4, spread.acceleration[5] /= 1e4, spread.jerk[7] *= 1e4;
  spread.jerk[1] /= 1e2;
  struct Case {
    const char* name;
    JointPath path;
    JointLimits limits;
  };
  const Case cases[] = {
      {"identical consecutive waypoints", {a, a, b, b, b, a}, default_joint_limits()},
      {"segments of 1e-9 rad", {a, aTiny, b, aTiny, a}, default_joint_limits()},
      {"full reversal", {a, b, a, b}, default_joint_limits()},
      {"back and forth along one line", {a, there, back, b}, default_joint_limits()},
      {"a corner 1e-6 rad off the line", {a, offLine, b}, default_joint_limits()},
      {"back near the start", {a, b, aNear}, default_joint_limits()},
      {"one waypoint", {b}, default_joint_limits()},
      {"the same waypoint twice", {b, b}, default_joint_limits()},
      {"100 waypoints", random_path(rng, 100), default_joint_limits()},
      {"limits 1e4 apart", random_path(rng, 6), spread},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Trajectory trajectory;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(time_trajectory(N, c.path, c.limits, trajectory), kTrajectoryOk);
    // A hang, not a speed: a path of 100 waypoints takes microseconds.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
    EXPECT_LE(trajectory.duration, stop_at_every_waypoint(c.path, c.limits) * (1 + 1e-9));
    judge(trajectory, c.path, c.limits, c.path.size() > 10 ? 100000 : 20000);
  }
}

// Refused: no waypoint, a value that is no number, and limits that are zero, negative or not
// finite.
TEST(Trajectory, BadInputIsRefused) {
  Trajectory trajectory;
  const JointLimits limits = default_joint_limits();
  EXPECT_EQ(time_trajectory(N, JointPath(), limits, trajectory), kTrajectoryBadPath);
  JointPath path = {pose({0, 0, 0, 0, 0, 0, 0}), pose({1, 0, 0, 0, 0, 0, 0})};
  path[1][5] = NAN;
  EXPECT_EQ(time_trajectory(N, path, limits, trajectory), kTrajectoryBadPath);
  path[1][5] = 0;
  const double bad[] = {0, -1, INFINITY, NAN};
  for (double value : bad) {
    JointLimits wrong = limits;
    wrong.jerk[6] = value;
    EXPECT_EQ(time_trajectory(N, path, wrong, trajectory), kTrajectoryBadLimits) << value;
  }
}

}  // namespace
