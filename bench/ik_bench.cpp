// Speed of the closed-form inverse kinematics per robot type (pinv4, oinv2, poinv), and a
// comparison of poinv with orocos KDL's numerical solvers on the same chains, goals and starts.
#include <benchmark/benchmark.h>

#include <Eigen/Core>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <kdl/chainiksolverpos_lma.hpp>
#include <kdl/chainiksolverpos_nr_jl.hpp>
#include <kdl/chainiksolvervel_pinv.hpp>
#include <random>
#include <vector>

#include "bench/kdl_chain.h"
#include "ik/oinv.h"
#include "ik/pinv.h"
#include "ik/poinv.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

RobotModel robot;
Kinematics kin;
Workcell cell;

constexpr int kGoals = 256;
constexpr double kHeldValue = 0.4;  // the joint that neither step moves, in every problem

// One reachable goal (the work pose of `pose`) and a start within 0.3 rad per solved joint.
struct Problem {
  double pose[kJointSlots];
  double start[kJointSlots];
  double wristStart[kJointSlots];  // pose's joints 1..4 with start's wrist: oinv2's input
  Vec3 rwG;
  Mat3 EwG;
};

struct TypeProblems {
  bool ready = false;
  Problem problems[kGoals];
};
TypeProblems catalogue[5];

int held_joint() {
  return robot.posJoints[0] == 1 ? 2 : 1;
}

// Builds the robot model of `type` and, once, its seeded problem set.
const Problem* setup_type(int type) {
  robot_setup(type, robot);
  kin = Kinematics(robot);
  TypeProblems& set = catalogue[type];
  if (set.ready) return set.problems;
  std::mt19937 rng(500 + type);
  std::uniform_real_distribution<double> angle(-PI, PI), nudge(-0.3, 0.3);
  for (Problem& p : set.problems) {
    for (int i = 0; i < kJointSlots; i++) p.pose[i] = 0;
    for (int i = 1; i <= 7; i++) p.pose[i] = angle(rng);
    p.pose[held_joint()] = kHeldValue;
    forward_kinematics(robot, p.pose, kin);
    p.rwG = kin.rw;
    p.EwG = kin.Ew;
    qcopy(7, p.pose, p.start);
    for (int i = 1; i <= 7; i++)
      if (i != held_joint()) p.start[i] += nudge(rng);
    qcopy(7, p.pose, p.wristStart);
    for (int i = 5; i <= 7; i++) p.wristStart[i] = p.start[i];
  }
  set.ready = true;
  return set.problems;
}

void use_goal(const Problem& p) {
  cell.rwG = p.rwG;
  cell.EwG = p.EwG;
}

bool reached(const double q[]) {
  return pos_error(robot, cell.rwG, q, kin) <= 1e-6 && ori_error(robot, cell.EwG, q, kin) <= 1e-6;
}

void BM_Pinv4(benchmark::State& state) {
  const Problem* problems = setup_type(static_cast<int>(state.range(0)));
  const int* ijk = robot.posJoints;
  double cand[4][kJointSlots];
  int k = 0, solved = 0, calls = 0;
  for (auto _ : state) {
    use_goal(problems[k]);
    solved += pinv4(robot, problems[k].start, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG,
                    cell.EwG, cand) > 0;
    benchmark::DoNotOptimize(cand);
    calls++;
    k = (k + 1) % kGoals;
  }
  state.counters["success"] = static_cast<double>(solved) / calls;
}

void BM_Oinv2(benchmark::State& state) {
  const Problem* problems = setup_type(static_cast<int>(state.range(0)));
  double cand[2][kJointSlots];
  int k = 0, solved = 0, calls = 0;
  for (auto _ : state) {
    solved += oinv2(robot, problems[k].wristStart, robot.EwLoc, problems[k].EwG, cand) > 0;
    benchmark::DoNotOptimize(cand);
    calls++;
    k = (k + 1) % kGoals;
  }
  state.counters["success"] = static_cast<double>(solved) / calls;
}

void BM_Poinv(benchmark::State& state) {
  const Problem* problems = setup_type(static_cast<int>(state.range(0)));
  const int* ijk = robot.posJoints;
  double qout[kJointSlots];
  int k = 0, solved = 0, calls = 0;
  for (auto _ : state) {
    use_goal(problems[k]);
    solved += poinv(robot, problems[k].start, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG,
                    cell.EwG, kin, qout);
    benchmark::DoNotOptimize(qout);
    calls++;
    k = (k + 1) % kGoals;
  }
  state.counters["success"] = static_cast<double>(solved) / calls;
}

BENCHMARK(BM_Pinv4)->DenseRange(1, 4);
BENCHMARK(BM_Oinv2)->DenseRange(1, 4);
BENCHMARK(BM_Poinv)->DenseRange(1, 4);

// ---- Comparison with KDL ----

// The current robot model as a KDL chain of its six solved joints, the held joint frozen at
// kHeldValue.
KDL::Chain kdl_chain() {
  return kdl_chain(robot, kdl_frame(kin.E[0], kin.Jpos[0]), held_joint(), kHeldValue);
}

// Solved joints in chain order <-> a whole joint vector with the held joint.
void to_kdl(const double q[], KDL::JntArray& a) {
  int j = 0;
  for (int i = 1; i <= 7; i++)
    if (i != held_joint()) a(j++) = q[i];
}
void from_kdl(const KDL::JntArray& a, double q[]) {
  for (int i = 0; i < kJointSlots; i++) q[i] = 0;
  q[held_joint()] = kHeldValue;
  int j = 0;
  for (int i = 1; i <= 7; i++)
    if (i != held_joint()) q[i] = a(j++);
}

struct Tally {
  std::vector<double> ns;
  int reached = 0;
  double median() {
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2];
  }
};

// One solver over a type's problems: the time of each solve and how many reach the goal
// within 1e-6 by poinv's own measures.
Tally run_solver(const Problem* problems,
                 const std::function<void(const Problem&, double[])>& solve) {
  Tally tally;
  double q[kJointSlots];
  for (int round = 0; round < 3; round++) {
    for (int k = 0; k < kGoals; k++) {
      use_goal(problems[k]);
      const auto t0 = std::chrono::steady_clock::now();
      solve(problems[k], q);
      const auto t1 = std::chrono::steady_clock::now();
      tally.ns.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
      if (round == 0) tally.reached += reached(q);
    }
  }
  return tally;
}

// Median time per solve, success rate and the ratio to poinv, per type, as a table.
void BM_KdlComparison(benchmark::State& state) {
  for (auto _ : state) {
    std::printf("\n%-6s %-22s %14s %9s %10s\n", "type", "solver", "median ns", "reached",
                "x poinv");
    for (int type = 1; type <= 4; type++) {
      const Problem* problems = setup_type(type);
      const int* ijk = robot.posJoints;
      KDL::Chain chain = kdl_chain();
      KDL::ChainFkSolverPos_recursive fk(chain);
      KDL::ChainIkSolverVel_pinv vel(chain);
      KDL::JntArray qmin(6), qmax(6), a(6), out(6);
      for (int j = 0; j < 6; j++) qmin(j) = -1e3, qmax(j) = 1e3;
      KDL::ChainIkSolverPos_NR_JL nr(chain, qmin, qmax, fk, vel, 100, 1e-10);
      Eigen::Matrix<double, 6, 1> weights;
      weights.setOnes();
      KDL::ChainIkSolverPos_LMA lma(chain, weights, 1e-12, 500, 1e-15);
      Tally closed = run_solver(problems, [&](const Problem& p, double q[]) {
        if (!poinv(robot, p.start, ijk[0], ijk[1], ijk[2], robot.rwLoc, cell.rwG, cell.EwG, kin, q))
          qcopy(7, p.start, q);
      });
      auto kdl_solve = [&](KDL::ChainIkSolverPos& solver) {
        return [&](const Problem& p, double q[]) {
          to_kdl(p.start, a);
          solver.CartToJnt(a, kdl_frame(p.EwG, p.rwG), out);
          from_kdl(out, q);
        };
      };
      Tally lmaTally = run_solver(problems, kdl_solve(lma));
      Tally nrTally = run_solver(problems, kdl_solve(nr));
      const double base = closed.median();
      const char* names[3] = {"poinv (closed form)", "KDL LMA", "KDL NR_JL"};
      Tally* tallies[3] = {&closed, &lmaTally, &nrTally};
      for (int s = 0; s < 3; s++) {
        const double median = tallies[s]->median();
        std::printf("%-6d %-22s %14.0f %8.1f%% %10.1f\n", type, names[s], median,
                    100.0 * tallies[s]->reached / kGoals, median / base);
      }
    }
    std::printf("\n");
  }
}
BENCHMARK(BM_KdlComparison)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
