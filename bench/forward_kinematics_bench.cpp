// Speed of forward kinematics, per call, over a set of random poses of robot type 1.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <random>

#include "bench/kdl_chain.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

RobotModel robot;
Kinematics kin;

void BM_ForwardKinematics(benchmark::State& state) {
  robot_setup(1, robot);
  kin = Kinematics(robot);
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

// KDL's recursive forward kinematics on the same chain and poses (the work frame at the tip):
// the reference the closed-form routine is compared with in the same run.
KDL::Chain kdl_chain() {
  return kdl_chain(robot, KDL::Frame::Identity(), 0, 0);
}

void BM_KdlForwardKinematics(benchmark::State& state) {
  robot_setup(1, robot);
  const KDL::Chain chain = kdl_chain();
  KDL::ChainFkSolverPos_recursive fk(chain);
  constexpr int kPoses = 64;
  static KDL::JntArray poses[kPoses];
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (auto& q : poses) {
    q.resize(7);
    for (int i = 0; i < 7; i++) q(i) = angle(rng);
  }
  KDL::Frame work;
  int k = 0;
  for (auto _ : state) {
    fk.JntToCart(poses[k], work);
    benchmark::DoNotOptimize(work.p);
    k = (k + 1) % kPoses;
  }
}
// Both routines in turn on the same poses, 64 calls each per iteration, so that the ratio is
// not skewed by the load of a shared machine changing between two benchmarks; also the time of
// the seven cosine/sine pairs alone, which both pay, and of the segment check's fast kinematics
// (counters in ns per call).
void BM_ForwardKinematicsVsKdl(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  robot_setup(1, robot);
  kin = Kinematics(robot);
  const KDL::Chain chain = kdl_chain();
  KDL::ChainFkSolverPos_recursive fk(chain);
  constexpr int kPoses = 64;
  static double poses[kPoses][kJointSlots];
  static KDL::JntArray kdlPoses[kPoses];
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (int k = 0; k < kPoses; k++) {
    kdlPoses[k].resize(7);
    for (int i = 1; i <= 7; i++) kdlPoses[k](i - 1) = poses[k][i] = angle(rng);
  }
  KDL::Frame work;
  QuarterTurns turns;
  quarter_turns(robot, turns);
  double ours = 0, theirs = 0, trig = 0, fast = 0, sink = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int k = 0; k < kPoses; k++) {
      forward_kinematics(robot, poses[k], kin);
      benchmark::DoNotOptimize(kin.rw);
    }
    const auto t1 = Clock::now();
    for (int k = 0; k < kPoses; k++) {
      fk.JntToCart(kdlPoses[k], work);
      benchmark::DoNotOptimize(work.p);
    }
    const auto t2 = Clock::now();
    for (int k = 0; k < kPoses; k++)
      for (int i = 1; i <= 7; i++) sink += std::cos(poses[k][i]) + std::sin(poses[k][i]);
    benchmark::DoNotOptimize(sink);
    const auto t3 = Clock::now();
    for (int k = 0; k < kPoses; k++) {
      forward_kinematics_fast(robot, turns, poses[k], kin);
      benchmark::DoNotOptimize(kin.rw);
    }
    const auto t4 = Clock::now();
    fast += std::chrono::duration<double, std::nano>(t4 - t3).count();
    ours += std::chrono::duration<double, std::nano>(t1 - t0).count();
    theirs += std::chrono::duration<double, std::nano>(t2 - t1).count();
    trig += std::chrono::duration<double, std::nano>(t3 - t2).count();
  }
  const double calls = static_cast<double>(state.iterations()) * kPoses;
  state.counters["ours_ns"] = ours / calls;
  state.counters["kdl_ns"] = theirs / calls;
  state.counters["trig_ns"] = trig / calls;
  state.counters["fast_ns"] = fast / calls;
  state.counters["kdl_over_ours"] = theirs / ours;
}
}  // namespace

BENCHMARK(BM_ForwardKinematics);
BENCHMARK(BM_KdlForwardKinematics);
BENCHMARK(BM_ForwardKinematicsVsKdl);
