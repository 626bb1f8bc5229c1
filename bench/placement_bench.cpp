// Speed of the complete placement solver: one complete solve (default grid of 1440 samples) of
// each robot type's start-up scene, and the mean over seeded random reachable scenes (the goal
// at a random pose's work pose, a random wall edge). The argument is the robot type. Counters:
// pinv4 evaluations per solve and poses listed.
#include <benchmark/benchmark.h>

#include <random>

#include "contact/placement.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

RobotModel model;
Workcell work;
PlacementResult result;

// The start-up scene of app/scene_state.cpp (goal, its orientation, wall edge) for a type.
void default_scene(int type) {
  robot_setup(type, model);
  work = {};
  work.rwG = {-0.6, 2.2, 0.2 / 2};
  work.EwG = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};
  work.rh = {0, 1.3, 0};
}

void BM_PlacementDefaultScene(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  default_scene(type);
  const PlacementOptions options;
  for (auto _ : state) {
    placement_solve(model, work, model.qInit, options, result);
    benchmark::DoNotOptimize(result.count);
  }
  state.counters["evaluations"] = static_cast<double>(result.evaluations);
  state.counters["poses"] = result.count;
  state.counters["touching"] = result.touchCount;
}
BENCHMARK(BM_PlacementDefaultScene)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

constexpr int kScenes = 32;

struct Scene {
  Vec3 rwG;
  Mat3 EwG;
  Vec3 rh;
};

void BM_PlacementRandomScenes(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  default_scene(type);
  std::mt19937 rng(1400 + type);
  std::uniform_real_distribution<double> angle(-PI, PI), x(-1.5, 1.5), y(0.3, 2.5), z(0, 1);
  Scene scenes[kScenes];
  Kinematics kinematics(model);
  for (Scene& sc : scenes) {
    double q[kJointSlots] = {};
    for (int i = 1; i <= model.N; i++) q[i] = angle(rng);
    forward_kinematics(model, q, kinematics);
    sc = {kinematics.rw, kinematics.Ew, {x(rng), y(rng), z(rng)}};
  }
  const PlacementOptions options;
  long evaluations = 0, solves = 0;
  int c = 0;
  for (auto _ : state) {
    work.rwG = scenes[c].rwG;
    work.EwG = scenes[c].EwG;
    work.rh = scenes[c].rh;
    placement_solve(model, work, model.qInit, options, result);
    benchmark::DoNotOptimize(result.count);
    evaluations += result.evaluations;
    solves++;
    c = (c + 1) % kScenes;
  }
  state.counters["evaluations"] = solves ? static_cast<double>(evaluations) / solves : 0;
}
BENCHMARK(BM_PlacementRandomScenes)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

}  // namespace
