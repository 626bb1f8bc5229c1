// Speed of the line contact of one arm, the contact solver and the contact check, per call,
// over seeded random poses and wall edges; the argument is the robot type. Arms run from the
// type's contact joint to 5. The solvers' notes are discarded (no message log).
#include <benchmark/benchmark.h>

#include <random>

#include "contact/line_contact.h"
#include "contact/line_contact4.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

RobotModel robot;
Kinematics kin;

constexpr int kCases = 64;

struct ContactCase {
  double q[kJointSlots];
  Vec3 rh;
  int M;
};

ContactCase cases[kCases];

// Seeded poses and edges for robot type `type`; sets the robot model up.
void prepare_cases(int type) {
  robot_setup(type, robot);
  kin = Kinematics(robot);
  std::mt19937 rng(type);
  std::uniform_real_distribution<double> angle(-PI, PI), coord(-2, 2), height(0, 1);
  for (int c = 0; c < kCases; c++) {
    for (int k = 0; k < kJointSlots; k++) cases[c].q[k] = 0;
    for (int i = 1; i <= robot.N; i++) cases[c].q[i] = angle(rng);
    cases[c].rh = {coord(rng), coord(rng), height(rng)};
    cases[c].M = robot.Lcont + c % (6 - robot.Lcont);
  }
}

void BM_LineContact4(benchmark::State& state) {
  prepare_cases(static_cast<int>(state.range(0)));
  double cand[4][kJointSlots], dist[4], tpar[4];
  int c = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(line_contact4(robot, cases[c].rh, cases[c].q, robot.Lcont, cases[c].M,
                                           kin, cand, dist, tpar));
    c = (c + 1) % kCases;
  }
}

void BM_LineContact(benchmark::State& state) {
  prepare_cases(static_cast<int>(state.range(0)));
  double qout[kJointSlots], d = 0, t = 0;
  int c = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        line_contact(robot, cases[c].rh, cases[c].q, robot.Lcont, cases[c].M, kin, qout, d, t));
    c = (c + 1) % kCases;
  }
}

void BM_ContactCheck(benchmark::State& state) {
  prepare_cases(static_cast<int>(state.range(0)));
  int mc;
  ContactClass sgn;
  double d = 0, t = 0;
  int c = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        contact_check(robot, cases[c].rh, robot.Lcont, cases[c].q, kin, mc, sgn, d, t));
    c = (c + 1) % kCases;
  }
}

}  // namespace

BENCHMARK(BM_LineContact4)->DenseRange(1, 4);
BENCHMARK(BM_LineContact)->DenseRange(1, 4);
BENCHMARK(BM_ContactCheck)->DenseRange(1, 4);
