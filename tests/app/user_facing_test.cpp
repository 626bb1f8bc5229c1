// What a script sees of the command line: the exit status, the one line on stderr and the JSON
// fields that must be null when what they describe did not happen, for a table of command lines;
// Method B's exit status agreeing with an independent judge of its final pose; the largest
// planning time refused before it could overflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "command_run.h"
#include "model/robot_catalogue.h"
#include "workcell_judge.h"

namespace {

using nlohmann::json;

std::string joined(const std::vector<const char*>& arguments) {
  std::string text;
  for (const char* argument : arguments) text += std::string(" ") + argument;
  return text;
}

struct CommandCase {
  std::vector<const char*> arguments;
  int status;
  const char* err;  // the text stderr's one line ("armsim: ...") must hold; "" for no line
  std::vector<const char*> nulls;     // JSON pointers that must be null
  std::vector<const char*> nonNulls;  // and that must be present and not null
};

}  // namespace

TEST(UserFacing, CommandLinesTellTheTruthInStatusStderrAndJson) {
  const CommandCase cases[] = {
      // Method B finishes in a pose that cuts the wall: a failure, with the reason.
      {{"--method-b", "--goal", "-0.3", "1.3", "0", "--json"},
       1,
       "armsim: Method B's final pose cuts into the wall: the workpiece by 0.1500",
       {},
       {"/reason", "/solutions/0"}},
      // Method B without a final pose says why on stderr too, with or without --json.
      {{"--method-b", "--type", "3"}, 1, "armsim: Method B cannot progress", {}, {}},
      {{"--method-b", "--max-steps", "5"},
       1,
       "armsim: Method B reached no final pose within the step limit",
       {},
       {}},
      {{"--method-b", "--max-steps", "5", "--json"},
       1,
       "step limit",
       {"/solutions/0"},
       {"/reason"}},
      // A successful Method B is quiet on stderr.
      {{"--method-b", "--json"}, 0, "", {"/reason"}, {"/solutions/0/q"}},
      // A failed plan has no goal pose: no straight motion and no planner to report.
      {{"--plan", "--goal", "-1", "2", "0", "--json"},
       1,
       "armsim: no valid goal pose",
       {"/straight_motion", "/planner", "/how", "/goal_pose/q", "/goal_pose/valid",
        "/goal_pose/touches", "/path_length"},
       {"/reason"}},
      {{"--plan", "--type", "4", "--to", "method-b", "--json"},
       1,
       "armsim: ",
       {"/straight_motion", "/planner", "/how"},
       {"/reason"}},
      // A straight motion needs no planner.
      {{"--plan", "--to", "1", "--json"},
       0,
       "",
       {"/planner", "/reason"},
       {"/straight_motion/collides", "/goal_pose/valid", "/goal_pose/wall_clearance",
        "/goal_pose/floor_clearance", "/path_length"}},
      // --to best says how many poses it planned toward and how long it searched; a pose
      // given directly has no search.
      {{"--plan", "--json"}, 0, "", {"/reason"}, {"/poses_planned", "/search_time_ms"}},
      {{"--plan", "--to", "2", "--json"}, 0, "", {"/poses_planned", "/search_time_ms"}, {"/path"}},
      // Refused scenes: exit 2, and with --json still a document with the reason.
      {{"--solve", "--goal", "10", "10", "0", "--json"},
       2,
       "armsim: goal out of reach for robot type 1",
       {},
       {"/reason", "/refused"}},
      {{"--solve", "--goal", "0", "0", "-5"}, 2, "armsim: goal below the floor", {}, {}},
      // Bad input: one line, exit 2.
      {{"--plan", "--to", "2", "--time-limit", "1e12"},
       2,
       "armsim: --time-limit: '1e12' is above 86400",
       {},
       {}},
      {{"--solv"}, 2, "armsim: --solv is not an option; did you mean --solve?", {}, {}},
      {{"--jsno", "--solve"}, 2, "did you mean --json?", {}, {}},
      {{"--frobnicate"}, 2, "armsim: --frobnicate is not an option (armsim --help", {}, {}},
      {{"--map", "--out", "map.jpg"}, 2, "armsim: --out: 'map.jpg' is not a .png file", {}, {}},
      {{"--plan", "--planner", "NoSuchPlanner"}, 2, "is not a planner", {}, {}},
      {{"--version"}, 0, "", {}, {}},
  };
  for (const CommandCase& c : cases) {
    const std::string shown = joined(c.arguments);
    const Output output = run_as_main(c.arguments);
    EXPECT_EQ(output.status, c.status) << shown << "\n" << output.err;
    if (c.err[0] == '\0') {
      EXPECT_EQ(output.err, "") << shown;
    } else {
      EXPECT_EQ(output.err.rfind("armsim: ", 0), 0u) << shown << ": " << output.err;
      EXPECT_NE(output.err.find(c.err), std::string::npos) << shown << ": " << output.err;
      EXPECT_EQ(std::count(output.err.begin(), output.err.end(), '\n'), 1) << shown;
    }
    if (c.nulls.empty() && c.nonNulls.empty()) continue;
    const json document = json::parse(output.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << shown << ": " << output.out;
    for (const char* pointer : c.nulls) {
      const json::json_pointer p(pointer);
      EXPECT_TRUE(!document.contains(p) || document.at(p).is_null()) << shown << " " << pointer;
    }
    for (const char* pointer : c.nonNulls) {
      const json::json_pointer p(pointer);
      EXPECT_TRUE(document.contains(p) && !document.at(p).is_null()) << shown << " " << pointer;
    }
    if (document.contains("reason") && !document["reason"].is_null() && c.err[0] != '\0') {
      EXPECT_NE(output.err.find(document["reason"].get<std::string>()), std::string::npos)
          << shown << ": stderr and JSON give different reasons";
    }
  }
}

// Planner names match without regard to case and are reported as the planners spell them;
// --version prints the name and a version.
TEST(UserFacing, PlannerNamesIgnoreCaseAndVersionPrints) {
  for (const char* name : {"rrtconnect", "RRTCONNECT", "RrtConnect"}) {
    const char* const argv[] = {"armsim", "--plan", "--planner", name, nullptr};
    CommandLine command;
    ASSERT_EQ(parse_command_line(4, argv, command), kCommandLineRun) << name;
    EXPECT_EQ(command.planner, "RRTConnect");
  }
  const Output version = run_as_main({"--version"});
  EXPECT_EQ(version.out, std::string("armsim ") + kProgramVersion + "\n");
  const Output help = run_as_main({"--help"});
  EXPECT_NE(help.out.find("--version"), std::string::npos);
}

// The largest time limit is taken and one beyond it refused, so no limit can overflow a clock
// into "no path" at once.
TEST(UserFacing, TimeLimitHasADocumentedMaximum) {
  const std::string largest = std::to_string(kMaxTimeLimit);
  const std::string beyond = std::to_string(kMaxTimeLimit * 1.0001);
  for (const std::string& limit : {largest, beyond}) {
    const char* const argv[] = {"armsim", "--plan", "--time-limit", limit.c_str(), nullptr};
    CommandLine command;
    const int result = parse_command_line(4, argv, command);
    EXPECT_EQ(result, limit == largest ? kCommandLineRun : kCommandLineError) << limit;
  }
  const Output help = run_as_main({"--help"});
  EXPECT_NE(help.out.find("at most 86400"), std::string::npos);
}

// Over a row of goals, Method B's exit status is 0 exactly when an independent judge finds its
// final pose valid in the workcell (wall plate, floor), and the JSON's `valid` agrees.
TEST(UserFacing, MethodBSucceedsOnlyWithAPoseTheJudgeFindsValid) {
  int valid = 0, invalid = 0;
  for (double x = -0.6; x <= 0.61; x += 0.15) {
    const std::string gx = std::to_string(x);
    const Output output = run_as_main({"--method-b", "--goal", gx.c_str(), "1.3", "0", "--json"});
    const json document = json::parse(output.out);
    if (!document["final"].get<bool>()) {
      EXPECT_EQ(output.status, 1) << x;
      continue;
    }
    RobotModel robot;
    robot_setup(1, robot);
    double q[kJointSlots] = {0};
    const json& joints = document["solutions"][0]["q"];
    for (int i = 1; i <= robot.N; i++) q[i] = joints[i - 1].get<double>();
    const Vec3 rh = {document["wall"][0].get<double>(), document["wall"][1].get<double>(),
                     document["wall"][2].get<double>()};
    const bool judged = judge::judge_pose(robot, rh, q).valid();
    EXPECT_EQ(output.status, judged ? 0 : 1) << x << ": " << output.err;
    EXPECT_EQ(document["solutions"][0]["valid"].get<bool>(), judged) << x;
    EXPECT_EQ(document["reason"].is_null(), judged) << x;
    (judged ? valid : invalid)++;
  }
  EXPECT_GT(valid, 0);
  EXPECT_GT(invalid, 0);
}

// A touching pose's clearances are a rounding error below zero; printed to four places they read
// 0.0000, not -0.0000.
TEST(UserFacing, TouchingClearancesPrintWithoutASign) {
  const Output output = run_as_main({"--plan", "--to", "1"});
  ASSERT_EQ(output.status, 0) << output.err;
  EXPECT_NE(output.out.find("from the wall 0.0000"), std::string::npos) << output.out;
  EXPECT_EQ(output.out.find("-0.0000"), std::string::npos) << output.out;
}
