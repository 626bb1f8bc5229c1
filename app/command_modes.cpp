#include "app/command_modes.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/console.h"
#include "app/console_dialogs.h"
#include "app/contact_arm_rules.h"
#include "app/feasibility_map.h"
#include "app/map_evaluation.h"
#include "app/method_b_run.h"
#include "app/placement_trace.h"
#include "app/progress_bar.h"
#include "app/scene_state.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "model/atomic_file.h"
#include "model/robot_catalogue.h"
#include "model/urdf_export.h"

namespace {

using nlohmann::json;

// The scene's type, goal (underside on the floor) and wall edge, as JSON.
json scene_json() {
  const double halfHeight = robot.workSize[2] / 2;
  return {{"type", scene.JRTYPE},
          {"goal", {cell.rwG.x, cell.rwG.y, cell.rwG.z - halfHeight}},
          {"wall", {cell.rh.x, cell.rh.y, cell.rh.z}}};
}

json joints_json(const double q[]) {
  json joints = json::array();
  for (int i = 1; i <= robot.N; i++) joints.push_back(q[i]);
  return joints;
}

// One solution of --solve or --method-b, with the same keys from either.
json solution_json(const double q[], const char* kind, int arm, double clearance,
                   double distanceFromInitial, double positionError, double orientationError) {
  return {{"q", joints_json(q)},
          {"kind", kind},
          {"arm", arm},
          {"clearance", clearance},
          {"distance_from_initial", distanceFromInitial},
          {"position_error", positionError},
          {"orientation_error", orientationError}};
}

void print_json(FILE* out, const json& document) {
  std::fprintf(out, "%s\n", document.dump(2).c_str());
  std::fflush(out);
}

// Whether the wall dialog would take wallY for robot type `type`; why says it when not.
bool wall_accepted(int type, double wallY, std::string& why) {
  RobotModel model;
  robot_setup(type, model);
  Workcell wall = {};
  wall.rh = {0, wallY, 0};
  wall_dialog_contact_arm(model, wall);
  if (wall.Mcont <= 5) return true;
  why = "wall too far: no arm 2..5 of robot type " + std::to_string(type) + " reaches its edge";
  return false;
}

// One line per map: of the cells in reach, the shares with a touching pose, with clear poses
// only, blocked by the wall, and solved by Method B.
void print_map_summary(const FeasibilityMap& map, FILE* out) {
  long reach = 0, touch = 0, clear = 0, blocked = 0, methodB = 0;
  for (const MapCell& c : map.cells) {
    if (c.cls == kMapUnreachable) continue;
    reach++;
    touch += c.cls == kMapTouch;
    clear += c.cls == kMapClear;
    blocked += c.cls == kMapBlocked;
    methodB += c.methodBFinal;
  }
  const double n = reach > 0 ? static_cast<double>(reach) : 1;
  std::fprintf(out,
               "type %d (%s), wall %.3f: %ld goals in reach: touch %.1f %%, clear only %.1f %%, "
               "blocked %.1f %%, Method B final %.1f %%\n",
               map.type, map.jointLetters, map.wallY, reach, 100 * touch / n, 100 * clear / n,
               100 * blocked / n, 100 * methodB / n);
}

const char* kind_name(PlacementKind kind) {
  return kind == kPlacementTouch ? "touch" : "clear";
}

}  // namespace

int run_solve_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  if (!command_scene(command, why)) return command_line_error(why, err);
  const PlacementOptions options;
  PlacementResult& result = scene.placements;
  placement_solve(robot, cell, robot.qInit[scene.JRTYPE], options, result);
  if (command.json) {
    json document = scene_json();
    json solutions = json::array();
    for (int k = 0; k < result.count; k++) {
      const PlacementPose& p = result.poses[k];
      solutions.push_back(solution_json(p.q, kind_name(p.kind), p.arm, p.clearance,
                                        p.distanceFromInitial, p.positionError,
                                        p.orientationError));
    }
    document["solutions"] = solutions;
    document["reason"] = result.count > 0 ? json(nullptr) : json(placement_reason(result));
    print_json(out, document);
  } else {
    const Console saved = console;
    console.out = out;
    print_placement_table(result);
    console = saved;
  }
  if (result.count == 0) {
    std::fprintf(err, "armsim: no solution: %s\n", placement_reason(result).c_str());
    std::fflush(err);
  }
  return result.count > 0 ? 0 : 1;
}

int command_scene(const CommandLine& command, std::string& why) {
  start_scene();
  if (command.typeGiven) {
    scene.JRTYPE = command.type;
    rebuild_robot();
  }
  if (command.goalGiven) {
    const double halfHeight = robot.workSize[2] / 2;
    cell.rwG = {command.goal[0], command.goal[1], command.goal[2] + halfHeight};
    double LL1, LL2;
    goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2);
    if (!(LL1 <= LL2)) {
      why = "goal out of reach for robot type " + std::to_string(scene.JRTYPE) + " (distance " +
            std::to_string(LL1) + " > reach " + std::to_string(LL2) + ")";
      return 0;
    }
  }
  if (command.wallGiven) {
    if (!wall_accepted(scene.JRTYPE, command.wallY, why)) return 0;
    cell.rh.y = command.wallY;
    wall_corners(cell.rh, scene.wallCorner);
    wall_dialog_contact_arm(robot, cell);
  }
  set_initial_pose();
  return 1;
}

int run_method_b_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  if (!command_scene(command, why)) return command_line_error(why, err);
  // As the 'B' key does: the model rebuilt and the contact arm guessed, then the steps.
  rebuild_robot();
  const Console saved = console;
  console.out = out;
  MethodBRun run;
  method_b_run(robot, cell, robot.qInit[scene.JRTYPE], command.maxSteps, !command.json, kin, scene,
               run);
  console = saved;
  if (command.json) {
    json document = scene_json();
    json solutions = json::array();
    if (run.final) {
      const double* q = scene.qGoal;
      solutions.push_back(
          solution_json(q, scene.sgnCONTACT == 2 ? "touch" : "clear", cell.Mcont, scene.gapArm,
                        joint_distance(robot.N, q, robot.qInit[scene.JRTYPE]),
                        pos_error(robot, cell.rwG, q, kin), ori_error(robot, cell.EwG, q, kin)));
    }
    document["solutions"] = solutions;
    document["reason"] =
        run.final   ? json(nullptr)
        : run.stuck ? json("Method B cannot progress: a pair of steps leaves its pose as it was")
                    : json("Method B reached no final pose within the step limit");
    document["steps"] = run.steps;
    document["final"] = run.final;
    print_json(out, document);
  } else {
    std::fprintf(out, "\n");
    std::fflush(out);
  }
  return run.final ? 0 : 1;
}

int run_map_command(const CommandLine& command, FILE* out, FILE* err) {
  const double wallY = command.wallGiven ? command.wallY : kDefaultWallY;
  const int first = command.allTypes ? 1 : (command.typeGiven ? command.type : 1);
  const int last = command.allTypes ? kRobotTypes : first;
  std::vector<FeasibilityMap> maps(last - first + 1);
  for (int type = first; type <= last; type++) {
    std::string why;
    if (!wall_accepted(type, wallY, why)) return command_line_error(why, err);
    if (!map_grid(type, wallY, command.step, maps[type - first]))
      return command_line_error("the map's grid cannot be built with this step", err);
  }
  const int count = static_cast<int>(maps.size());
  ProgressBar bar(map_pending_cells(maps.data(), count), err);
  const int evaluated = evaluate_maps(maps.data(), count, evaluate_map_cell, command.threads,
                                      ProgressBar::callback, &bar);
  bar.finish();
  if (!evaluated) return command_line_error("the map's evaluation failed", err);
  std::string why;
  if (!write_map_png(maps.data(), count, command.out.c_str(), &why))
    return command_line_error("--out: " + why, err);
  if (!command.csv.empty() && !write_map_csv(maps.data(), count, command.csv.c_str(), &why))
    return command_line_error("--csv: " + why, err);
  for (const FeasibilityMap& map : maps) print_map_summary(map, out);
  std::fprintf(out, "picture: %s%s%s\n", command.out.c_str(),
               command.csv.empty() ? "" : ", table: ", command.csv.c_str());
  std::fflush(out);
  return 0;
}

int run_urdf_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  if (!command_scene(command, why)) return command_line_error(why, err);
  const std::string name = "armsim_type" + std::to_string(scene.JRTYPE);
  std::string text;
  try {
    if (!robot_urdf(robot, name.c_str(), command.scene ? &cell.rh : nullptr, text, why))
      return command_line_error("the robot cannot be written as URDF: " + why, err);
  } catch (const std::bad_alloc&) {
    return command_line_error("not enough memory for the URDF", err);
  }
  if (command.out.empty()) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
      return command_line_error(
          std::string("cannot write the URDF: ") + std::strerror(errno != 0 ? errno : EIO), err);
    return 0;
  }
  AtomicFile file;
  if (!atomic_file_open(command.out.c_str(), file, why))
    return command_line_error("--out: " + why, err);
  if (std::fwrite(text.data(), 1, text.size(), file.stream) != text.size()) {
    why = "cannot write " + command.out + ": " + std::strerror(errno);
    atomic_file_abandon(file);
    return command_line_error("--out: " + why, err);
  }
  if (!atomic_file_commit(file, why)) return command_line_error("--out: " + why, err);
  return 0;
}

int run_command(const CommandLine& command, FILE* out, FILE* err) {
  switch (command.mode) {
    case kModeSolve:
      return run_solve_command(command, out, err);
    case kModeMethodB:
      return run_method_b_command(command, out, err);
    case kModeMap:
      return run_map_command(command, out, err);
    case kModeUrdf:
      return run_urdf_command(command, out, err);
    default:
      return -1;
  }
}
