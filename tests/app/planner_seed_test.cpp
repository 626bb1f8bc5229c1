// One seed, one path: every planner that --help does not list as unrepeatable, run twice as the
// program (each run a process of its own, as a user runs it) on a scene whose straight motion
// hits a box, plans the same path both times. The time limit is generous, so that no planner
// stops at the clock, which a busy machine reaches sooner.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "planning/motion_plan.h"

namespace {

// The planners plan_motion knows, less the ones listed as unrepeatable.
std::vector<std::string> repeatable_planners() {
  const std::string names = planner_names() + ", ";
  std::vector<std::string> planners;
  for (size_t start = 0, end; (end = names.find(", ", start)) != std::string::npos;
       start = end + 2) {
    const std::string name = names.substr(start, end - start);
    bool listed = false;
    for (const char* unrepeatable : kUnrepeatablePlanners) listed = listed || name == unrepeatable;
    if (!listed) planners.push_back(name);
  }
  return planners;
}

// The program's stdout for --plan with the planner and seed on the post's workcell.
std::string plan_output(const std::string& planner, unsigned seed) {
  const std::string command = std::string(ARMSIM_BINARY) + " --plan --json --workcell " +
                              ARMSIM_GOLDEN_DIR + "/../../../workcells/post.json --planner " +
                              planner + " --seed " + std::to_string(seed) +
                              " --time-limit 20 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  return text;
}

class RepeatablePlanner : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(RepeatablePlanner, OneSeedGivesOnePath) {
  const std::string& planner = GetParam();
  const nlohmann::json first = nlohmann::json::parse(plan_output(planner, 5), nullptr, false);
  const nlohmann::json second = nlohmann::json::parse(plan_output(planner, 5), nullptr, false);
  ASSERT_FALSE(first.is_discarded() || second.is_discarded()) << planner;
  ASSERT_EQ(first["how"], "planned") << planner << ": the scene must need the planner";
  EXPECT_EQ(first["planner"], planner);
  EXPECT_EQ(first["path"], second["path"]) << planner;
  EXPECT_EQ(first["goal_pose"]["index"], second["goal_pose"]["index"]) << planner;
}

INSTANTIATE_TEST_SUITE_P(EveryListedPlanner, RepeatablePlanner,
                         testing::ValuesIn(repeatable_planners()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// The planners listed as unrepeatable exist, and --help names them with the reason.
TEST(RepeatablePlanner, HelpListsTheUnrepeatableOnesWithWhy) {
  const char* const argv[] = {"armsim", "--help", nullptr};
  CommandLine command;
  ASSERT_EQ(parse_command_line(1 + 1, argv, command), kCommandLineHelp);
  std::string help;
  for (char c : command.message) help += c == '\n' ? ' ' : c;
  // CLI11 wraps the help's lines; compare with runs of spaces as one.
  std::string squeezed;
  for (char c : help)
    if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' ')) squeezed += c;
  for (const char* name : kUnrepeatablePlanners) {
    EXPECT_TRUE(planner_known(name)) << name;
    EXPECT_NE(squeezed.find(name), std::string::npos) << name;
  }
  EXPECT_NE(squeezed.find("grow their roadmap on a thread of their own"), std::string::npos);
}
