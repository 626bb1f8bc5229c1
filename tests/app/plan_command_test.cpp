// --plan on the command line: a certified motion from the initial pose, judged by the test's own
// kinematics and geometry; the same bytes for the same seed; the table of the motion; and bad
// input refused with status 2 and no file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "command_run.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "workcell_judge.h"

namespace {

// Runs "armsim --plan" with the arguments.
Output plan(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "--plan");
  return run_as_main(arguments);
}

// A fresh empty directory for output files.
std::string scratch_directory() {
  char path[] = "/tmp/armsim-plan-XXXXXX";
  return mkdtemp(path);
}

// A scene whose best pose's straight line collides: the motion is planned; the JSON's path starts
// at the initial pose, ends at the goal pose it names (modulo turns), reaches the goal by the
// judge's kinematics and is free; the table samples the same path, joints named as in the URDF;
// the same seed prints the same bytes, another seed a path that is free too.
TEST(PlanCommand, PlannedMotionIsFreeAndRepeatable) {
  const std::string dir = scratch_directory(), csv = dir + "/motion.csv";
  // The first listed pose whose straight line collides.
  CommandLine solve;
  const char* solveArgs[] = {"armsim", "--solve", "--type", "4",     "--goal", "0.437",
                             "1.068",  "1.374",   "--wall", "1.465", "--json"};
  ASSERT_EQ(parse_command_line(11, solveArgs, solve), kCommandLineRun);
  CapturedStream solveOut, solveErr;
  ASSERT_EQ(run_command(solve, solveOut.stream(), solveErr.stream()), 0);
  const nlohmann::json poses = nlohmann::json::parse(solveOut.text())["solutions"];
  size_t k = 0;
  while (k < poses.size() && !poses[k]["straight_motion"]["collides"].get<bool>()) k++;
  ASSERT_LT(k, poses.size());
  const std::string to = std::to_string(k + 1);
  const Output first = plan({"--type", "4", "--goal", "0.437", "1.068", "1.374", "--wall", "1.465",
                             "--to", to.c_str(), "--json", "--seed", "5", "--csv", csv.c_str()});
  ASSERT_EQ(first.status, 0) << first.err;
  const nlohmann::json doc = nlohmann::json::parse(first.out);
  RobotModel robot;
  robot_setup(4, robot);
  const Vec3 rh = {0, 1.465, 0};
  EXPECT_EQ(doc["how"], "planned");
  EXPECT_TRUE(doc["straight_motion"]["collides"]);
  const auto& path = doc["path"];
  ASSERT_GE(path.size(), 3u);
  double goal[kJointSlots] = {}, previous[kJointSlots] = {};
  for (int i = 1; i <= 7; i++) goal[i] = doc["goal_pose"]["q"][i - 1];
  for (size_t k = 0; k < path.size(); k++) {
    double q[kJointSlots] = {};
    for (int i = 1; i <= 7; i++) q[i] = path[k][i - 1];
    if (k == 0)
      for (int i = 1; i <= 7; i++) EXPECT_EQ(q[i], robot.qInit[i]);
    else
      EXPECT_FALSE(judge::line_collides(robot, rh, previous, q)) << "segment " << k;
    for (int i = 1; i <= 7; i++) previous[i] = q[i];
  }
  for (int i = 1; i <= 7; i++) EXPECT_NEAR(std::remainder(previous[i] - goal[i], 2 * PI), 0, 1e-9);
  const judge::Pose at = judge::fk(robot, goal);
  EXPECT_NEAR(at.work.x, 0.437, 1e-9);
  EXPECT_NEAR(at.work.z, 1.374 + 0.1, 1e-9);

  FILE* table = fopen(csv.c_str(), "r");
  ASSERT_NE(table, nullptr);
  char line[512];
  ASSERT_NE(fgets(line, sizeof line, table), nullptr);
  EXPECT_STREQ(line, "step,joint1,joint2,joint3,joint4,joint5,joint6,joint7\n");
  int rows = 0;
  double last[8] = {};
  while (fgets(line, sizeof line, table)) {
    int step;
    ASSERT_EQ(sscanf(line, "%d,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &step, &last[1], &last[2], &last[3],
                     &last[4], &last[5], &last[6], &last[7]),
              8);
    EXPECT_EQ(step, rows++);
  }
  fclose(table);
  EXPECT_EQ(rows, 101);
  for (int i = 1; i <= 7; i++) EXPECT_EQ(last[i], previous[i]);

  const Output again = plan({"--type", "4", "--goal", "0.437", "1.068", "1.374", "--wall", "1.465",
                             "--to", to.c_str(), "--json", "--seed", "5"});
  nlohmann::json a = nlohmann::json::parse(again.out), b = doc;
  a.erase("planning_time_ms");
  b.erase("planning_time_ms");
  EXPECT_EQ(a.dump(), b.dump());
  const Output other = plan({"--type", "4", "--goal", "0.437", "1.068", "1.374", "--wall", "1.465",
                             "--json", "--seed", "6"});
  ASSERT_EQ(other.status, 0);
  // A copy: the parsed document is a temporary.
  const nlohmann::json path6 = nlohmann::json::parse(other.out)["path"];
  for (size_t k = 1; k < path6.size(); k++) {
    double p[kJointSlots] = {}, q[kJointSlots] = {};
    for (int i = 1; i <= 7; i++) p[i] = path6[k - 1][i - 1], q[i] = path6[k][i - 1];
    EXPECT_FALSE(judge::line_collides(robot, rh, p, q)) << "seed 6, segment " << k;
  }
  unlink(csv.c_str());
  rmdir(dir.c_str());
}

// Method B's final pose below the floor is no goal: exit 1 with the reason.
TEST(PlanCommand, InvalidMethodBGoalIsRefused) {
  const Output o = plan(
      {"--type", "1", "--goal", "0.438", "1.902", "0.804", "--wall", "1.303", "--to", "method-b"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("goal pose invalid"), std::string::npos) << o.err;
}

// Bad input: an unknown planner, a time limit that is not a positive number, a pose number that
// is no whole number or lies beyond the list: status 2, one line, no file left behind.
TEST(PlanCommand, BadInputWritesNoFile) {
  const std::string dir = scratch_directory(), csv = dir + "/motion.csv";
  const std::vector<std::vector<const char*>> cases = {
      {"--planner", "Dijkstra"}, {"--time-limit", "0"},   {"--time-limit", "-1"},
      {"--time-limit", "soon"},  {"--time-limit", "nan"}, {"--to", "0"},
      {"--to", "first"},         {"--to", "64"},          {"--seed", "-3"},
  };
  for (const auto& extra : cases) {
    std::vector<const char*> arguments = {"--csv", csv.c_str()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const Output o = plan(arguments);
    EXPECT_EQ(o.status, 2) << extra[0] << " " << extra[1];
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_TRUE(directory_entries(dir).empty()) << extra[0] << " " << extra[1];
  }
  rmdir(dir.c_str());
}

}  // namespace
