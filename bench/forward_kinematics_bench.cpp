// Speed of forward kinematics, per call, over a set of random poses of robot type 1.
#include <benchmark/benchmark.h>

#include <random>

#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

RobotModel robot;
Kinematics kin;

void BM_ForwardKinematics(benchmark::State& state) {
  robot_setup(1, robot);
  kinematics_at_base(robot, kin);
  constexpr int kPoses = 64;
  static double poses[kPoses][kJointSlots];
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (auto& q : poses)
    for (int i = 1; i <= 7; i++) q[i] = angle(rng);
  int k = 0;
  for (auto _ : state) {
    forward_kinematics(robot, poses[k], kin);
    benchmark::DoNotOptimize(kin.rw);
    k = (k + 1) % kPoses;
  }
}

}  // namespace

BENCHMARK(BM_ForwardKinematics);
