// Speed of the workcell's pose check (forward kinematics and the closed-form clearances) beside
// FCL on the same shapes and poses (forward kinematics, moving the collision objects, then
// collide or distance against plate and floor), with and without eight boxes, and of the
// certified motion check.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "collision/fcl_workcell.h"
#include "collision/motion_check.h"
#include "collision/workcell_check.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

RobotModel robot;
Kinematics kin;
Workcell cell;

constexpr int kPoses = 256;
double poses[kPoses][kJointSlots];

// Robot type 1 before the start-up wall (edge at (0, 1.3, 0)), and seeded random poses.
void set_up() {
  robot_setup(1, robot);
  kin = Kinematics(robot);
  cell = {};
  cell.rh = {0, 1.3, 0};
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (auto& q : poses) {
    for (double& v : q) v = 0;
    for (int i = 1; i <= robot.N; i++) q[i] = angle(rng);
  }
}

void BM_PoseCheck(benchmark::State& state) {
  set_up();
  WorkcellClearance c;
  int k = 0, valid = 0;
  for (auto _ : state) {
    valid += pose_check(robot, cell, poses[k], kin, c);
    benchmark::DoNotOptimize(c.least);
    k = (k + 1) % kPoses;
  }
  state.counters["valid_share"] = static_cast<double>(valid) / state.iterations();
}

void BM_FclPoseCollide(benchmark::State& state) {
  set_up();
  forward_kinematics(robot, poses[0], kin);
  FclWorkcell fcl(robot, kin, cell.rh);
  int k = 0;
  for (auto _ : state) {
    forward_kinematics(robot, poses[k], kin);
    fcl.set_pose(kin);
    bool hit = fcl.wall_hit() || fcl.floor_hit();
    benchmark::DoNotOptimize(hit);
    k = (k + 1) % kPoses;
  }
}

void BM_FclPoseDistance(benchmark::State& state) {
  set_up();
  forward_kinematics(robot, poses[0], kin);
  FclWorkcell fcl(robot, kin, cell.rh);
  int k = 0;
  for (auto _ : state) {
    forward_kinematics(robot, poses[k], kin);
    fcl.set_pose(kin);
    double d = fcl.least_distance();
    benchmark::DoNotOptimize(d);
    k = (k + 1) % kPoses;
  }
}

// The three in turn on the same poses (and forward kinematics alone, which all three pay),
// kPoses calls each per iteration, so that the ratios are not skewed by the load of a shared
// machine changing between benchmarks (counters in ns per pose check). FCL's collide stops at
// the first body that hits; the closed form always gives every clearance.
void BM_PoseCheckVsFcl(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  set_up();
  forward_kinematics(robot, poses[0], kin);
  FclWorkcell fcl(robot, kin, cell.rh);
  WorkcellClearance c;
  double fk = 0, ours = 0, collide = 0, distance = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (const auto& q : poses) {
      forward_kinematics(robot, q, kin);
      benchmark::DoNotOptimize(kin.rw);
    }
    const auto t0 = Clock::now();
    for (const auto& q : poses) {
      pose_check(robot, cell, q, kin, c);
      benchmark::DoNotOptimize(c.least);
    }
    const auto t1 = Clock::now();
    for (const auto& q : poses) {
      forward_kinematics(robot, q, kin);
      fcl.set_pose(kin);
      bool hit = fcl.wall_hit() || fcl.floor_hit();
      benchmark::DoNotOptimize(hit);
    }
    const auto t2 = Clock::now();
    for (const auto& q : poses) {
      forward_kinematics(robot, q, kin);
      fcl.set_pose(kin);
      double d = fcl.least_distance();
      benchmark::DoNotOptimize(d);
    }
    const auto t3 = Clock::now();
    fk += std::chrono::duration<double, std::nano>(t0 - start).count();
    ours += std::chrono::duration<double, std::nano>(t1 - t0).count();
    collide += std::chrono::duration<double, std::nano>(t2 - t1).count();
    distance += std::chrono::duration<double, std::nano>(t3 - t2).count();
  }
  const double calls = static_cast<double>(state.iterations()) * kPoses;
  state.counters["fk_ns"] = fk / calls;
  state.counters["ours_ns"] = ours / calls;
  state.counters["fcl_collide_ns"] = collide / calls;
  state.counters["fcl_distance_ns"] = distance / calls;
  state.counters["collide_over_ours"] = collide / ours;
}

// Eight seeded boxes (sides 0.3..1, any orientation) about the robot, 1.2..3 from its base
// column, 0..4.5 high: each pose comes near a few of them.
void set_boxes(Workcell& boxed) {
  boxed = cell;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> radius(1.2, 3), turn(-PI, PI), z(0, 4.5), size(0.3, 1);
  std::normal_distribution<double> n;
  boxed.obstacleCount = 8;
  for (int j = 0; j < 8; j++) {
    Obstacle& o = boxed.obstacles[j];
    std::snprintf(o.name, sizeof o.name, "box %d", j);
    const double r = radius(rng), a = turn(rng);
    o.centre = {r * std::cos(a), r * std::sin(a), z(rng)};
    for (double& side : o.size) side = size(rng);
    double w = n(rng), x = n(rng), y = n(rng), v = n(rng);
    const double k = 1 / std::sqrt(w * w + x * x + y * y + v * v);
    w *= k, x *= k, y *= k, v *= k;
    o.R = {{1 - 2 * (y * y + v * v), 2 * (x * y - w * v), 2 * (x * v + w * y),  //
            2 * (x * y + w * v), 1 - 2 * (x * x + v * v), 2 * (y * v - w * x),  //
            2 * (x * v - w * y), 2 * (y * v + w * x), 1 - 2 * (x * x + y * y)}};
  }
}

// The yes/no check a planner asks, with no boxes (state.range(0) = 0) or the eight of set_boxes.
void BM_PoseValid(benchmark::State& state) {
  set_up();
  static Workcell boxed;
  set_boxes(boxed);
  const Workcell& w = state.range(0) ? boxed : cell;
  int k = 0, valid = 0;
  for (auto _ : state) {
    valid += pose_valid(robot, w, poses[k], kin);
    k = (k + 1) % kPoses;
  }
  state.counters["valid_share"] = static_cast<double>(valid) / state.iterations();
}

// The pose check without boxes and with the eight of set_boxes, and FCL's collide and distance
// with the same eight, in turn on the same poses, kPoses calls each per iteration (counters in
// ns per pose check, forward kinematics included). FCL's collide stops at the first hit, as
// does the yes/no check a planner asks (valid_only).
void BM_PoseCheckBoxesVsFcl(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  set_up();
  static Workcell boxed;
  set_boxes(boxed);
  forward_kinematics(robot, poses[0], kin);
  FclWorkcell fcl(robot, kin, cell.rh);
  fcl.set_obstacles(boxed);
  WorkcellClearance c;
  double none = 0, eight = 0, collide = 0, distance = 0, quick = 0, quickBoxed = 0;
  long valid = 0, validBoxed = 0, validQuick = 0, validQuickBoxed = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (const auto& q : poses) {
      valid += pose_check(robot, cell, q, kin, c);
      benchmark::DoNotOptimize(c.least);
    }
    const auto t0 = Clock::now();
    for (const auto& q : poses) {
      validBoxed += pose_check(robot, boxed, q, kin, c);
      benchmark::DoNotOptimize(c.least);
    }
    const auto t1 = Clock::now();
    for (const auto& q : poses) {
      forward_kinematics(robot, q, kin);
      fcl.set_pose(kin);
      bool hit = fcl.wall_hit() || fcl.floor_hit() || fcl.obstacle_hit();
      benchmark::DoNotOptimize(hit);
    }
    const auto t2 = Clock::now();
    for (const auto& q : poses) {
      forward_kinematics(robot, q, kin);
      fcl.set_pose(kin);
      double d = std::fmin(fcl.least_distance(), fcl.obstacle_distance());
      benchmark::DoNotOptimize(d);
    }
    const auto t3 = Clock::now();
    for (const auto& q : poses) validQuick += pose_valid(robot, cell, q, kin);
    const auto t4 = Clock::now();
    for (const auto& q : poses) validQuickBoxed += pose_valid(robot, boxed, q, kin);
    const auto t5 = Clock::now();
    none += std::chrono::duration<double, std::nano>(t0 - start).count();
    quick += std::chrono::duration<double, std::nano>(t4 - t3).count();
    quickBoxed += std::chrono::duration<double, std::nano>(t5 - t4).count();
    eight += std::chrono::duration<double, std::nano>(t1 - t0).count();
    collide += std::chrono::duration<double, std::nano>(t2 - t1).count();
    distance += std::chrono::duration<double, std::nano>(t3 - t2).count();
  }
  const double calls = static_cast<double>(state.iterations()) * kPoses;
  state.counters["no_boxes_ns"] = none / calls;
  state.counters["8_boxes_ns"] = eight / calls;
  state.counters["fcl_collide_8_ns"] = collide / calls;
  state.counters["fcl_distance_8_ns"] = distance / calls;
  state.counters["valid_only_ns"] = quick / calls;
  state.counters["valid_only_8_ns"] = quickBoxed / calls;
  state.counters["valid_share"] = valid / calls;
  state.counters["valid_share_8"] = validBoxed / calls;
  state.counters["verdicts_agree"] = validQuick == valid && validQuickBoxed == validBoxed;
}

// The motion check on segments between valid random poses: whole (state.range(0) = 0) or a
// short move of at most 0.05 rad per joint (1). Counters: poses evaluated per check, and ns per
// pose evaluated.
void run_motion_checks(benchmark::State& state, const Workcell& w, bool verdictOnly) {
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> angle(-PI, PI), small(-0.05, 0.05);
  constexpr int kSegments = 64;
  static double from[kSegments][kJointSlots], to[kSegments][kJointSlots];
  WorkcellClearance c;
  for (int s = 0; s < kSegments; s++) {
    for (double* q : {from[s], to[s]}) {
      do {
        for (int i = 0; i < kJointSlots; i++) q[i] = 0;
        for (int i = 1; i <= robot.N; i++)
          q[i] = q == to[s] && state.range(0) ? from[s][i] + small(rng) : angle(rng);
      } while (!pose_check(robot, w, q, kin, c));
    }
  }
  MotionCheck m;
  MotionVerdict v;
  long poses = 0, collides = 0;
  int s = 0;
  for (auto _ : state) {
    if (verdictOnly) {
      collides += motion_verdict(robot, w, from[s], to[s], kin, v);
      poses += v.poses;
    } else {
      collides += motion_check(robot, w, from[s], to[s], kin, m);
      poses += m.poses;
    }
    s = (s + 1) % kSegments;
  }
  state.counters["poses_per_check"] = static_cast<double>(poses) / state.iterations();
  state.counters["colliding_share"] = static_cast<double>(collides) / state.iterations();
  state.counters["ns_per_pose"] = benchmark::Counter(
      static_cast<double>(poses), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MotionCheck(benchmark::State& state) {
  set_up();
  run_motion_checks(state, cell, false);
}

// The yes/no form a planner asks, on the same segments.
void BM_MotionVerdict(benchmark::State& state) {
  set_up();
  run_motion_checks(state, cell, true);
}

// The same among the eight boxes of set_boxes.
void BM_MotionCheckBoxes(benchmark::State& state) {
  set_up();
  static Workcell boxed;
  set_boxes(boxed);
  run_motion_checks(state, boxed, false);
}

void BM_MotionVerdictBoxes(benchmark::State& state) {
  set_up();
  static Workcell boxed;
  set_boxes(boxed);
  run_motion_checks(state, boxed, true);
}

}  // namespace

BENCHMARK(BM_PoseCheck);
BENCHMARK(BM_PoseValid)->Arg(0)->Arg(8);
BENCHMARK(BM_FclPoseCollide);
BENCHMARK(BM_FclPoseDistance);
BENCHMARK(BM_PoseCheckVsFcl);
BENCHMARK(BM_PoseCheckBoxesVsFcl);
BENCHMARK(BM_MotionCheck)->Arg(0)->Arg(1);
BENCHMARK(BM_MotionCheckBoxes)->Arg(0)->Arg(1);
BENCHMARK(BM_MotionVerdict)->Arg(0)->Arg(1);
BENCHMARK(BM_MotionVerdictBoxes)->Arg(0)->Arg(1);
