// The window-free modes of the command line: --method-b prints exactly the trace the keys print
// in the window, its JSON reads back with the final pose it claims, and a scene the dialogs would
// refuse ends with one line and status 2.
#include "app/command_modes.h"

#include <nlohmann/json.hpp>
#include <string>

#include "app/keyboard.h"
#include "app/scene_state.h"
#include "console_capture.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "task/feasibility_map.h"
#include "task/method_b_step.h"

namespace {

struct Output {
  int status;
  std::string out, err;
};

Output run(const CommandLine& command) {
  CapturedStream out, err;
  const int status = run_command(command, out.stream(), err.stream());
  return {status, out.text(), err.text()};
}

CommandLine method_b(int type, int maxSteps, bool json) {
  CommandLine command;
  command.mode = kModeMethodB;
  command.type = type;
  command.typeGiven = true;
  command.maxSteps = maxSteps;
  command.json = json;
  return command;
}

// The trace of 'B' and then the keys the status asks for, pressed in the shell.
std::string trace_of_keys(int type, int maxSteps) {
  start_scene();
  FILE* in = typed_input("");
  {
    CapturedConsole menu(in);
    scene.setMode = 'F';
    dispatch_key('0' + type);
    scene.setMode = '0';
  }
  CapturedConsole captured(in);
  dispatch_key('B');
  char last = 'b';
  for (int steps = 0; steps < maxSteps; steps++) {
    const char key = method_b_next_key(scene.methodB, last);
    if (key == 0) break;
    dispatch_key(key);
    last = key;
  }
  return captured.text();
}

}  // namespace

TEST(MethodBCommand, PrintsTheTraceOfTheKeys) {
  for (int type : {1, 2}) {
    const Output output = run(method_b(type, 40, false));
    EXPECT_EQ(output.status, 1) << type;  // no final pose within 40 steps
    EXPECT_EQ(output.out, trace_of_keys(type, 40) + "\n") << type;
    EXPECT_EQ(output.err, "armsim: Method B reached no final pose within the step limit\n");
  }
}

// Type 1 reaches its final pose; its JSON names it, and the pose puts the work on the goal.
// Types 3 and 4 never do: the run stops once a pair of steps repeats, and says why.
TEST(MethodBCommand, JsonReadsBack) {
  const Output solved = run(method_b(1, 1000, true));
  ASSERT_EQ(solved.status, 0);
  const nlohmann::json doc = nlohmann::json::parse(solved.out);
  EXPECT_EQ(doc["type"], 1);
  EXPECT_TRUE(doc["final"]);
  EXPECT_TRUE(doc["reason"].is_null());
  EXPECT_LT(doc["steps"].get<int>(), 1000);
  ASSERT_EQ(doc["solutions"].size(), 1u);
  const auto& pose = doc["solutions"][0];
  EXPECT_EQ(pose["kind"], "touch");
  double q[kJointSlots] = {};
  for (int i = 1; i <= 7; i++) q[i] = pose["q"][i - 1];
  RobotModel robot;
  robot_setup(1, robot);
  Kinematics kin(robot);
  forward_kinematics(robot, q, kin);
  const double goal[3] = {-0.6, 2.2, 0.1};
  EXPECT_NEAR(kin.rw.x, goal[0], 1e-9);
  EXPECT_NEAR(kin.rw.y, goal[1], 1e-9);
  EXPECT_NEAR(kin.rw.z, goal[2], 1e-9);

  for (int type : {3, 4}) {
    const Output stuck = run(method_b(type, 1000, true));
    EXPECT_EQ(stuck.status, 1) << type;
    const nlohmann::json d = nlohmann::json::parse(stuck.out);
    EXPECT_FALSE(d["final"]);
    EXPECT_TRUE(d["solutions"].empty());
    EXPECT_LT(d["steps"].get<int>(), 1000);
    EXPECT_NE(d["reason"].get<std::string>().find("cannot progress"), std::string::npos);
  }
}

TEST(MethodBCommand, RefusedSceneIsBadInput) {
  CommandLine far = method_b(1, 10, false);
  far.goalGiven = true;
  far.goal[0] = 9;
  Output output = run(far);
  EXPECT_EQ(output.status, 2);
  EXPECT_EQ(output.out, "");
  EXPECT_NE(output.err.find("goal out of reach"), std::string::npos);
  EXPECT_EQ(std::count(output.err.begin(), output.err.end(), '\n'), 1);

  CommandLine wall = method_b(1, 10, false);
  wall.wallGiven = true;
  wall.wallY = 3.3;
  output = run(wall);
  EXPECT_EQ(output.status, 2);
  EXPECT_NE(output.err.find("wall too far"), std::string::npos);
}

// --solve: the JSON lists touching poses first, each putting the work on the goal in the goal
// orientation, and exits 0; a goal that every positioned pose reaches through the wall exits 1
// with the reason and its depth, in the JSON and in one line on stderr.
TEST(SolveCommand, JsonReadsBack) {
  CommandLine command;
  command.mode = kModeSolve;
  command.type = 3;
  command.typeGiven = true;
  command.json = true;
  const Output found = run(command);
  ASSERT_EQ(found.status, 0);
  const nlohmann::json doc = nlohmann::json::parse(found.out);
  EXPECT_TRUE(doc["reason"].is_null());
  ASSERT_FALSE(doc["solutions"].empty());
  EXPECT_EQ(doc["solutions"][0]["kind"], "touch");
  RobotModel robot;
  robot_setup(3, robot);
  Kinematics kin(robot);
  for (const auto& pose : doc["solutions"]) {
    double q[kJointSlots] = {};
    for (int i = 1; i <= 7; i++) q[i] = pose["q"][i - 1];
    forward_kinematics(robot, q, kin);
    EXPECT_NEAR(kin.rw.x, -0.6, 1e-9);
    EXPECT_NEAR(kin.rw.y, 2.2, 1e-9);
    EXPECT_NEAR(kin.rw.z, 0.1, 1e-9);
    EXPECT_LE(pose["position_error"].get<double>(), 1e-9);
  }

  command.type = 1;
  command.goalGiven = true;
  command.goal[0] = -1;
  command.goal[1] = 1.4;
  command.goal[2] = 0;
  const Output none = run(command);
  EXPECT_EQ(none.status, 1);
  const nlohmann::json empty = nlohmann::json::parse(none.out);
  EXPECT_TRUE(empty["solutions"].empty());
  EXPECT_NE(empty["reason"].get<std::string>().find("cuts into the wall"), std::string::npos);
  EXPECT_NE(none.err.find("the least by"), std::string::npos);
  EXPECT_EQ(std::count(none.err.begin(), none.err.end(), '\n'), 1);
}

// The modes build a scene of their own: whatever the window's robot, workcell and scene hold,
// they hold it byte for byte after every window-free mode, traced or as JSON, and after the
// map's grid.
TEST(CommandModes, LeaveTheWindowsSceneAlone) {
  start_scene();
  rebuild_robot(2);
  set_initial_pose();
  cell.rh.y = 1.1;
  const std::string robotBefore(reinterpret_cast<const char*>(&robot), sizeof robot);
  const std::string cellBefore(reinterpret_cast<const char*>(&cell), sizeof cell);
  const std::string sceneBefore(reinterpret_cast<const char*>(&scene), sizeof scene);
  CommandLine solve;
  solve.mode = kModeSolve;
  solve.type = 3;
  solve.typeGiven = true;
  CommandLine plan = solve;
  plan.mode = kModePlan;
  plan.planToMethodB = true;
  for (const CommandLine& command :
       {method_b(1, 40, false), method_b(1, 1000, true), solve, plan}) {
    run(command);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&robot), sizeof robot), robotBefore)
        << command.mode;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&cell), sizeof cell), cellBefore)
        << command.mode;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&scene), sizeof scene), sceneBefore)
        << command.mode;
  }
  // So does the map's grid, for every type.
  for (int type = 1; type <= kRobotTypes; type++) {
    FeasibilityMap map;
    ASSERT_EQ(map_grid(type, 1.3, 0.1, map), 1) << type;
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&robot), sizeof robot), robotBefore);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&cell), sizeof cell), cellBefore);
}
