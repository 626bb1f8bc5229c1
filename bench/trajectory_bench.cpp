// Timing planned paths: seeded scenes whose straight line from the initial pose to the best goal
// pose collides, planned with RRTConnect (five scenes a robot type). For each path: the time to
// time it (time_trajectory) and to sample it at 1,000 points, median and largest over the
// paths; beside it orocos KDL's trapezoidal velocity profile (VelocityProfile_Trap: speed and
// acceleration limits, no jerk limit) stopping at every waypoint, set up and sampled the same
// way. Durations: ours against stopping at every waypoint with the same jerk-limited profile
// (below 1 only where collinear segments merge) and against KDL's trapezoids.
#include <benchmark/benchmark.h>
#include <ompl/util/Console.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <kdl/velocityprofile_trap.hpp>
#include <random>
#include <vector>

#include "contact/placement.h"
#include "model/robot_catalogue.h"
#include "planning/motion_plan.h"
#include "planning/trajectory.h"
#include "task/workcell_setup.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kScenesPerType = 5;
constexpr int kMaxDraws = 300;  // per type, before settling for fewer scenes
constexpr unsigned kSceneSeed = 4100;
constexpr int kSamples = 1000;
constexpr int kRepeats = 200;  // timings of one path, the median kept

// A planned path of a scene whose straight line collides; false when the scene has none.
bool planned_path(int type, double x, double y, double z, double wallY, JointPath& path) {
  static PlacementResult placements;
  RobotModel robot;
  robot_setup(type, robot);
  Workcell cell = {};
  cell.rwG = goal_centre(robot, x, y, z);
  cell.EwG = kGoalOrientation;
  cell.rh = {0, wallY, 0};
  const double* qInit = robot.qInit;
  if (placement_solve(robot, cell, qInit, PlacementOptions(), placements) != kPlacementFound)
    return false;
  Kinematics kin(robot);
  MotionCheck line;
  if (!motion_check(robot, cell, qInit, placements.poses[0].q, kin, line)) return false;
  PlanRequest request;
  for (int i = 1; i <= robot.N; i++) {
    request.start[i] = qInit[i];
    request.goal[i] = placements.poses[0].q[i];
  }
  PlanResult result;
  if (plan_motion(robot, cell, request, result) != kPlanFound) return false;
  path = result.path;
  return true;
}

const std::vector<JointPath>& paths() {
  static std::vector<JointPath> set;
  if (!set.empty()) return set;
  ompl::msg::setLogLevel(ompl::msg::LOG_NONE);
  seed_planning_process(1);
  for (int type = 1; type <= kRobotTypes; type++) {
    std::mt19937 rng(kSceneSeed + type);
    std::uniform_real_distribution<double> x(-1.5, 1.5), y(-0.5, 2.5), z(0.0, 1.2), wall(0.8, 2.2);
    int kept = 0;
    JointPath path;
    for (int draw = 0; draw < kMaxDraws && kept < kScenesPerType; draw++) {
      const double gx = x(rng), gy = y(rng), gz = z(rng), wy = wall(rng);
      if (planned_path(type, gx, gy, gz, wy, path)) set.push_back(path), kept++;
    }
  }
  return set;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double largest(const std::vector<double>& v) {
  return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// The median over kRepeats runs of `work`, microseconds.
double median_us(const std::function<void()>& work) {
  std::vector<double> us(kRepeats);
  for (double& u : us) {
    const Clock::time_point start = Clock::now();
    work();
    u = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  }
  return median(us);
}

// The arc's limits of a segment, as time_trajectory takes them.
void arc_limits(const JointVector& a, const JointVector& b, const JointLimits& limits, double& L,
                double& V, double& A, double& J) {
  L = 0;
  for (int i = 1; i <= kMaxJoints; i++) L += (b[i] - a[i]) * (b[i] - a[i]);
  L = std::sqrt(L);
  V = A = J = INFINITY;
  for (int i = 1; i <= kMaxJoints; i++) {
    const double share = std::fabs(b[i] - a[i]) / L;
    if (share == 0) continue;
    V = std::fmin(V, limits.velocity[i] / share);
    A = std::fmin(A, limits.acceleration[i] / share);
    J = std::fmin(J, limits.jerk[i] / share);
  }
}

// Stopping at every waypoint: the sum of the segments' jerk-limited rest-to-rest durations.
double stop_everywhere_duration(const JointPath& path, const JointLimits& limits) {
  double total = 0;
  for (size_t k = 1; k < path.size(); k++) {
    double L, V, A, J;
    arc_limits(path[k - 1], path[k], limits, L, V, A, J);
    if (!(L > 0)) continue;
    DoubleS profile;
    double_s_profile(L, V, A, J, profile);
    total += profile.duration;
  }
  return total;
}

void BM_TimePlannedPaths(benchmark::State& state) {
  const std::vector<JointPath>& set = paths();
  const JointLimits limits = default_joint_limits();
  std::vector<double> timeUs, sampleUs, ratio;
  for (auto _ : state) {
    for (const JointPath& path : set) {
      Trajectory trajectory;
      timeUs.push_back(median_us([&] {
        time_trajectory(kMaxJoints, path, limits, trajectory);
        benchmark::DoNotOptimize(trajectory.duration);
      }));
      double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
      sampleUs.push_back(median_us([&] {
        for (int k = 0; k < kSamples; k++) {
          trajectory_at(trajectory, trajectory.duration * k / (kSamples - 1), q, qd, qdd);
          benchmark::DoNotOptimize(q[1]);
        }
      }));
      ratio.push_back(trajectory.duration / stop_everywhere_duration(path, limits));
    }
  }
  state.counters["paths"] = static_cast<double>(set.size());
  state.counters["time_median_us"] = median(timeUs);
  state.counters["time_max_us"] = largest(timeUs);
  state.counters["sample1000_median_us"] = median(sampleUs);
  state.counters["sample1000_max_us"] = largest(sampleUs);
  state.counters["duration_vs_stop_everywhere"] = median(ratio);
  std::vector<double> waypoints;
  for (const JointPath& path : set) waypoints.push_back(static_cast<double>(path.size()));
  state.counters["waypoints_median"] = median(waypoints);
  state.counters["waypoints_max"] = largest(waypoints);
}
BENCHMARK(BM_TimePlannedPaths)->Iterations(1)->Unit(benchmark::kMillisecond);

// KDL's trapezoids on the same arcs and limits (its jerk unbounded), one profile a segment, set
// up and sampled at 1,000 points over the whole path.
void BM_KdlTrapezoidPlannedPaths(benchmark::State& state) {
  const std::vector<JointPath>& set = paths();
  const JointLimits limits = default_joint_limits();
  std::vector<double> timeUs, sampleUs, ratio;
  for (auto _ : state) {
    for (const JointPath& path : set) {
      std::vector<KDL::VelocityProfile_Trap> profiles;
      std::vector<double> starts;
      double duration = 0;
      timeUs.push_back(median_us([&] {
        profiles.clear();
        starts.clear();
        duration = 0;
        for (size_t k = 1; k < path.size(); k++) {
          double L, V, A, J;
          arc_limits(path[k - 1], path[k], limits, L, V, A, J);
          profiles.emplace_back(V, A);
          profiles.back().SetProfile(0, L);
          starts.push_back(duration);
          duration += profiles.back().Duration();
        }
        benchmark::DoNotOptimize(duration);
      }));
      double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
      sampleUs.push_back(median_us([&] {
        for (int k = 0; k < kSamples; k++) {
          const double t = duration * k / (kSamples - 1);
          const size_t s = std::upper_bound(starts.begin(), starts.end(), t) - starts.begin() - 1;
          const double u = t - starts[s];
          const double p = profiles[s].Pos(u), v = profiles[s].Vel(u), a = profiles[s].Acc(u);
          // The joints, as trajectory_at gives them.
          const JointVector &from = path[s], &to = path[s + 1];
          const double L = profiles[s].Pos(profiles[s].Duration());
          for (int i = 1; i <= kMaxJoints; i++) {
            const double ui = (to[i] - from[i]) / L;
            q[i] = from[i] + p * ui, qd[i] = v * ui, qdd[i] = a * ui;
          }
          benchmark::DoNotOptimize(q[1] + qd[1] + qdd[1]);
        }
      }));
      Trajectory trajectory;
      time_trajectory(kMaxJoints, path, limits, trajectory);
      ratio.push_back(trajectory.duration / duration);
    }
  }
  state.counters["paths"] = static_cast<double>(set.size());
  state.counters["time_median_us"] = median(timeUs);
  state.counters["time_max_us"] = largest(timeUs);
  state.counters["sample1000_median_us"] = median(sampleUs);
  state.counters["sample1000_max_us"] = largest(sampleUs);
  state.counters["ours_vs_trapezoid_duration"] = median(ratio);
}
BENCHMARK(BM_KdlTrapezoidPlannedPaths)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
