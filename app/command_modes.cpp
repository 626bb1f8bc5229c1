#include "app/command_modes.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "app/console.h"
#include "app/console_dialogs.h"
#include "app/contact_arm_rules.h"
#include "app/method_b_run.h"
#include "app/scene_state.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"

namespace {

using nlohmann::json;

// The scene's type, goal (underside on the floor) and wall edge, as JSON.
json scene_json() {
  const double halfHeight = robot.workSize[2] / 2;
  return {{"type", scene.JRTYPE},
          {"goal", {cell.rwG.x, cell.rwG.y, cell.rwG.z - halfHeight}},
          {"wall", {cell.rh.x, cell.rh.y, cell.rh.z}}};
}

// Sum over the joints of |angle_diff| from the initial pose of the scene's type.
double distance_from_initial(const double q[]) {
  double sum = 0;
  for (int i = 1; i <= robot.N; i++)
    sum += std::fabs(angle_diff(q[i], robot.qInit[scene.JRTYPE][i]));
  return sum;
}

json joints_json(const double q[]) {
  json joints = json::array();
  for (int i = 1; i <= robot.N; i++) joints.push_back(q[i]);
  return joints;
}

void print_json(FILE* out, const json& document) {
  std::fprintf(out, "%s\n", document.dump(2).c_str());
  std::fflush(out);
}

}  // namespace

int command_scene(const CommandLine& command, std::string& why) {
  start_scene();
  if (command.typeGiven) {
    scene.JRTYPE = command.type;
    robot_setup(scene.JRTYPE, robot);
    kinematics_at_base(robot, kin);
    guess_contact_arm(robot, cell);
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
    cell.rh.y = command.wallY;
    wall_corners(cell.rh, scene.wallCorner);
    wall_dialog_contact_arm(robot, cell);
    if (cell.Mcont > 5) {
      why = "wall too far: no arm 2..5 of robot type " + std::to_string(scene.JRTYPE) +
            " reaches its edge";
      return 0;
    }
  }
  set_initial_pose();
  return 1;
}

int run_method_b_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  if (!command_scene(command, why)) return command_line_error(why, err);
  // As the 'B' key does: the model rebuilt and the contact arm guessed, then the steps.
  robot_setup(scene.JRTYPE, robot);
  kinematics_at_base(robot, kin);
  guess_contact_arm(robot, cell);
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
      solutions.push_back({{"q", joints_json(q)},
                           {"kind", scene.sgnCONTACT == 2 ? "touch" : "clear"},
                           {"arm", cell.Mcont},
                           {"clearance", scene.gapArm},
                           {"distance_from_initial", distance_from_initial(q)},
                           {"position_error", pos_error(robot, cell.rwG, q, kin)},
                           {"orientation_error", ori_error(robot, cell.EwG, q, kin)}});
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

int run_command(const CommandLine& command, FILE* out, FILE* err) {
  switch (command.mode) {
    case kModeMethodB:
      return run_method_b_command(command, out, err);
    default:
      return -1;
  }
}
