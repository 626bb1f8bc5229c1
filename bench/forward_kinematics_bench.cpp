// Speed of forward kinematics, per call, over a set of random poses of robot type 1.
#include <benchmark/benchmark.h>

#include <kdl/chain.hpp>
#include <kdl/chainfksolverpos_recursive.hpp>
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

// KDL's recursive forward kinematics on the same chain and poses (the work frame at the tip):
// the reference the closed-form routine is compared with in the same run.
KDL::Frame kdl_frame(const Mat3& R, const Vec3& p) {
  const double* m = R.m;
  return KDL::Frame(KDL::Rotation(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]),
                    KDL::Vector(p.x, p.y, p.z));
}

void BM_KdlForwardKinematics(benchmark::State& state) {
  robot_setup(1, robot);
  KDL::Chain chain;
  chain.addSegment(
      KDL::Segment(KDL::Joint(KDL::Joint::None), kdl_frame(robot.Erel[1], robot.Lloc[1])));
  for (int i = 1; i <= 7; i++) {
    const KDL::Frame tip = i < 7 ? kdl_frame(robot.Erel[i + 1], robot.Lloc[i + 1])
                                 : kdl_frame(robot.EwLoc, robot.rwLoc);
    chain.addSegment(KDL::Segment(KDL::Joint(KDL::Joint::RotZ), tip));
  }
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
}  // namespace

BENCHMARK(BM_ForwardKinematics);
BENCHMARK(BM_KdlForwardKinematics);
