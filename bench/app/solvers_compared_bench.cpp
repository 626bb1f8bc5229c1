// The complete placement solver against Method B run without a window, and the feasibility map's
// throughput. Counters, not assertions:
//   BM_SolverVersusMethodB/T: over 1000 seeded random reachable scenes of type T (a floor goal the
//     goal dialog accepts, a wall edge the wall dialog accepts), the share the complete solver
//     solves, the share Method B solves within 1000 steps, Method B's median steps when it does,
//     and the scenes Method B solves that the solver does not.
//   BM_MapCells/E: cells per second of a type-1 map at the default step and wall with evaluator
//     E (0 the complete solver, 1 Method B, 2 both, as --map runs) on one thread and on two,
//     timed in turn (so that a change in the load of a shared machine touches both alike), and
//     the speed-up; a coarser map is too short for the threads' start and the last long Method B
//     runs.
//   BM_MapPicture/A: time to the PNG of a default-step map of type 1 (A = 0) or of all four
//     types (A = 1), Method B included, on every core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "app/command_modes.h"
#include "app/scene_state.h"
#include "contact/placement.h"
#include "model/robot_catalogue.h"
#include "task/contact_arm_rules.h"
#include "task/feasibility_map.h"
#include "task/method_b_run.h"
#include "task/motion/map_evaluation.h"
#include "task/workcell_setup.h"

namespace {

// A random scene of the type that the dialogs accept; returns the wall dialog's contact arm.
int random_scene(const RobotModel& robot, std::mt19937& rng, Workcell& cell) {
  std::uniform_real_distribution<double> coordinate(-3.5, 3.5), wallY(-3.0, 3.0);
  for (;;) {
    const double x = coordinate(rng), y = coordinate(rng);
    cell = floor_workcell(robot, x, y, 0);
    double LL1, LL2;
    goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2);
    if (!(LL1 <= LL2)) continue;
    cell.rh.y = wallY(rng);
    const int arm = wall_dialog_contact_arm(robot, cell.rh);
    if (arm <= 5) return arm;
  }
}

void BM_SolverVersusMethodB(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  constexpr int kScenes = 1000;
  RobotModel robot;
  robot_setup(type, robot);
  Kinematics kin(robot);
  static PlacementResult result;
  static MethodBState methodB;
  for (auto _ : state) {
    std::mt19937 rng(2600 + type);
    int solver = 0, byMethodB = 0, onlyMethodB = 0;
    std::vector<int> steps;
    for (int s = 0; s < kScenes; s++) {
      Workcell cell;
      const int arm = random_scene(robot, rng, cell);
      placement_solve(robot, cell, robot.qInit, PlacementOptions(), result);
      methodB = {};
      methodB.Mcont = arm;
      guess_contact_arm(robot, cell.rh, methodB.Mcont);
      methodB.tolPos = kMethodBTolPos;
      MethodBRun run;
      method_b_run(robot, cell, kMethodBMaxSteps, nullptr, kin, methodB, run);
      solver += result.count > 0;
      if (run.final) {
        byMethodB++;
        steps.push_back(run.steps);
        onlyMethodB += result.count == 0;
      }
    }
    std::sort(steps.begin(), steps.end());
    state.counters["solver_share"] = static_cast<double>(solver) / kScenes;
    state.counters["method_b_share"] = static_cast<double>(byMethodB) / kScenes;
    state.counters["method_b_median_steps"] = steps.empty() ? 0 : steps[steps.size() / 2];
    state.counters["method_b_only"] = onlyMethodB;
  }
}
BENCHMARK(BM_SolverVersusMethodB)->DenseRange(1, 4)->Iterations(1)->Unit(benchmark::kSecond);

// The evaluator's halves, for the throughput of each.
void solver_only(int type, const Workcell& scene, double x, double y, MapCell& out) {
  thread_local RobotModel robot;
  thread_local int built = 0;
  thread_local PlacementResult result;
  if (built != type) robot_setup(built = type, robot);
  thread_local Workcell cell;
  cell = scene;
  set_floor_goal(robot, x, y, cell);
  placement_solve(robot, cell, robot.qInit, PlacementOptions(), result);
  out.cls = result.count > 0 ? kMapTouch : kMapBlocked;
}

void method_b_only(int type, const Workcell& scene, double x, double y, MapCell& out) {
  thread_local RobotModel robot;
  thread_local int built = 0;
  thread_local Kinematics kin;
  thread_local MethodBState methodB;
  if (built != type) robot_setup(built = type, robot);
  kin = Kinematics(robot);
  thread_local Workcell cell;
  cell = scene;
  set_floor_goal(robot, x, y, cell);
  methodB = {};
  methodB.Mcont = wall_dialog_contact_arm(robot, cell.rh);
  guess_contact_arm(robot, cell.rh, methodB.Mcont);
  methodB.tolPos = kMethodBTolPos;
  MethodBRun run;
  method_b_run(robot, cell, kMethodBMaxSteps, nullptr, kin, methodB, run);
  out.cls = kMapClear;
  out.methodBSteps = run.steps;
}

// Seconds to evaluate a type-1 map at the default step and wall with evaluate on threads.
double map_seconds(MapCellEvaluator evaluate, int threads, long& cells) {
  FeasibilityMap map;
  map_grid(1, kDefaultWallY, kMapDefaultStep, map);
  cells = map_pending_cells(&map, 1);
  const auto t0 = std::chrono::steady_clock::now();
  evaluate_maps(&map, 1, evaluate, threads, nullptr, nullptr);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_MapCells(benchmark::State& state) {
  const MapCellEvaluator evaluators[3] = {solver_only, method_b_only, evaluate_map_cell};
  const MapCellEvaluator evaluate = evaluators[state.range(0)];
  double one = 0, two = 0;
  long cells = 0, total = 0;
  for (auto _ : state) {
    one += map_seconds(evaluate, 1, cells);
    two += map_seconds(evaluate, 2, cells);
    total += cells;
  }
  state.counters["cells_per_s_1_thread"] = total / one;
  state.counters["cells_per_s_2_threads"] = total / two;
  state.counters["speed_up"] = one / two;
}
BENCHMARK(BM_MapCells)->DenseRange(0, 2)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

void BM_MapPicture(benchmark::State& state) {
  CommandLine command;
  command.mode = kModeMap;
  command.allTypes = state.range(0) == 1;
  command.out = "/tmp/armsim_bench_map.png";
  FILE* quiet = fopen("/dev/null", "w");
  for (auto _ : state) run_map_command(command, quiet, quiet);
  fclose(quiet);
}
BENCHMARK(BM_MapPicture)->DenseRange(0, 1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
