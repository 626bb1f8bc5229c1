// --plan's timed motion on the command line: the table's header and rows, judged by the test's
// own finite differences against the limits given and by its own distance to the JSON's path;
// the JSON's timing; the output unchanged without a timing option; bad input refused with
// status 2, one line and no file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "command_run.h"
#include "planning/trajectory.h"
#include "support.h"

namespace {

// Runs "armsim --plan" with the arguments.
Output plan(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "--plan");
  return run_as_main(arguments);
}

std::string scratch_directory() {
  char path[] = "/tmp/armsim-timed-XXXXXX";
  return mkdtemp(path);
}

// The table's header line and its rows of numbers.
void read_table(const std::string& file, std::string& header,
                std::vector<std::vector<double>>& rows) {
  std::ifstream in(file);
  std::getline(in, header);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<double> row;
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) row.push_back(std::strtod(field.c_str(), nullptr));
    rows.push_back(row);
  }
}

// Distance from q to the polyline of the path's waypoints, joints 1..7.
double path_distance(const nlohmann::json& path, const double q[8]) {
  double best = INFINITY;
  for (size_t k = 1; k < path.size(); k++) {
    double a[8], d[8], dd = 0, dot = 0;
    for (int i = 1; i <= 7; i++) {
      a[i] = path[k - 1][i - 1];
      d[i] = path[k][i - 1].get<double>() - a[i];
      dd += d[i] * d[i];
      dot += (q[i] - a[i]) * d[i];
    }
    const double f = dd > 0 ? std::fmin(1, std::fmax(0, dot / dd)) : 0;
    double e = 0;
    for (int i = 1; i <= 7; i++) e += std::pow(q[i] - a[i] - f * d[i], 2);
    best = std::fmin(best, std::sqrt(e));
  }
  return best;
}

// A planned motion (its straight line collides) timed under limits of one value, seven values
// and the defaults: the header names each joint's value, speed and acceleration; rows 1/rate s
// apart from 0, the last at the JSON's duration, at rest on the path's last waypoint; each row
// on the path, within every limit by the table's own differences; the JSON tells the timing.
// Without a timing option the output is as before.
TEST(TrajectoryCommand, TableKeepsTheLimitsAlongThePath) {
  const std::string dir = scratch_directory(), csv = dir + "/timed.csv";
  const Output o = plan({"--type", "4", "--goal", "0.437", "1.068", "1.374", "--wall", "1.465",
                         "--json", "--seed", "5", "--trajectory", csv.c_str(), "--rate", "400",
                         "--max-velocity", "0.8", "--max-jerk", "6,6,8,8,15,15,30"});
  ASSERT_EQ(o.status, 0) << o.err;
  const nlohmann::json doc = nlohmann::json::parse(o.out);
  const nlohmann::json& path = doc["path"];
  ASSERT_GE(path.size(), 2u);
  const nlohmann::json& timing = doc["trajectory"];
  const double vMax[8] = {0, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8};
  const double aMax[8] = {0, 2, 2, 2.5, 2.5, 4, 4, 5};
  const double jMax[8] = {0, 6, 6, 8, 8, 15, 15, 30};
  EXPECT_EQ(timing["rate"], 400);
  for (int i = 1; i <= 7; i++) {
    EXPECT_EQ(timing["max_velocity"][i - 1], vMax[i]);
    EXPECT_EQ(timing["max_acceleration"][i - 1], aMax[i]);
    EXPECT_EQ(timing["max_jerk"][i - 1], jMax[i]);
  }
  const double duration = timing["duration"];
  ASSERT_GT(duration, 0);

  std::string header;
  std::vector<std::vector<double>> rows;
  read_table(csv, header, rows);
  std::string expected = "time";
  for (const char* suffix : {"", "_velocity", "_acceleration"})
    for (int i = 1; i <= 7; i++) expected += ",joint" + std::to_string(i) + suffix;
  EXPECT_EQ(header, expected);
  ASSERT_EQ(rows.size(), static_cast<size_t>(std::ceil(duration * 400)) + 1);
  for (size_t k = 0; k < rows.size(); k++) {
    ASSERT_EQ(rows[k].size(), 22u) << "row " << k;
    EXPECT_NEAR(rows[k][0], k + 1 < rows.size() ? k / 400.0 : duration, 1e-13) << "row " << k;
  }
  for (int i = 1; i <= 7; i++) {
    EXPECT_EQ(rows.front()[i], path.front()[i - 1].get<double>());
    EXPECT_EQ(rows.back()[i], path.back()[i - 1].get<double>());
    EXPECT_EQ(rows.front()[7 + i], 0);
    EXPECT_EQ(rows.back()[7 + i], 0);
    EXPECT_EQ(rows.back()[14 + i], 0);
  }
  for (size_t k = 0; k < rows.size(); k++) {
    const std::vector<double>& r = rows[k];
    EXPECT_LT(path_distance(path, r.data()), 1e-9) << "row " << k;
    for (int i = 1; i <= 7; i++) {
      EXPECT_LE(std::fabs(r[7 + i]), vMax[i] * (1 + 1e-9)) << "row " << k;
      EXPECT_LE(std::fabs(r[14 + i]), aMax[i] * (1 + 1e-9)) << "row " << k;
    }
    if (k == 0) continue;
    // Over one row's time no joint moves, speeds up or changes its acceleration faster than
    // its limit allows (printing's rounding aside).
    const std::vector<double>& p = rows[k - 1];
    const double h = r[0] - p[0];
    for (int i = 1; i <= 7; i++) {
      EXPECT_LE(std::fabs(r[i] - p[i]), vMax[i] * h * (1 + 1e-9) + 1e-12) << "row " << k;
      EXPECT_LE(std::fabs(r[7 + i] - p[7 + i]), aMax[i] * h * (1 + 1e-9) + 1e-12) << "row " << k;
      EXPECT_LE(std::fabs(r[14 + i] - p[14 + i]), jMax[i] * h * (1 + 1e-6) + 1e-12) << "row " << k;
      // The trapezoid rule on the speeds gives the move within the jerk's share.
      EXPECT_NEAR(r[i] - p[i], (r[7 + i] + p[7 + i]) / 2 * h, jMax[i] * h * h * h / 4 + 1e-12)
          << "row " << k;
    }
  }
  unlink(csv.c_str());

  // No timing option: the JSON's timing at the default limits and rate, no line of it in the text.
  const Output plain = plan({"--type", "4", "--goal", "0.437", "1.068", "1.374", "--wall", "1.465",
                             "--json", "--seed", "5"});
  const nlohmann::json defaults = nlohmann::json::parse(plain.out)["trajectory"];
  EXPECT_EQ(defaults["rate"], 250);
  for (int i = 0; i < 7; i++) {
    EXPECT_EQ(defaults["max_velocity"][i], kDefaultMaxVelocity[i + 1]);
    EXPECT_EQ(defaults["max_acceleration"][i], kDefaultMaxAcceleration[i + 1]);
    EXPECT_EQ(defaults["max_jerk"][i], kDefaultMaxJerk[i + 1]);
  }
  EXPECT_GT(defaults["duration"].get<double>(), 0);
  const Output text =
      plan({"--type", "4", "--goal", "0.437", "1.068", "1.374", "--wall", "1.465", "--seed", "5"});
  EXPECT_EQ(text.out.find("timed motion"), std::string::npos);
  rmdir(dir.c_str());
}

// Bad timing input, each refused with status 2, one line naming the option, nothing on stdout
// and no file written.
TEST(TrajectoryCommand, BadInputWritesNoFile) {
  const std::string dir = scratch_directory(), csv = dir + "/timed.csv";
  const std::string csv2 = dir + "/steps.csv";
  const char* file = csv.c_str();
  const char* other = csv2.c_str();
  struct Case {
    std::vector<const char*> arguments;
    const char* named;
  };
  const Case cases[] = {
      {{"--trajectory", file, "--rate", "0"}, "--rate"},
      {{"--trajectory", file, "--rate", "-5"}, "--rate"},
      {{"--trajectory", file, "--rate", "10000.5"}, "--rate"},
      {{"--trajectory", file, "--rate", "nan"}, "--rate"},
      {{"--trajectory", file, "--max-velocity", "0"}, "--max-velocity"},
      {{"--trajectory", file, "--max-velocity", "1,1,1,1,1,1,-1"}, "--max-velocity"},
      {{"--trajectory", file, "--max-acceleration", "inf"}, "--max-acceleration"},
      {{"--trajectory", file, "--max-acceleration", "1,2,3"}, "--max-acceleration"},
      {{"--trajectory", file, "--max-jerk", "1,1,1,1,1,1,1,1"}, "--max-jerk"},
      {{"--trajectory", file, "--max-jerk", "1,,1,1,1,1,1"}, "--max-jerk"},
      {{"--trajectory", file, "--max-jerk"}, "--max-jerk"},
      {{"--trajectory", file, "--csv", file}, "--trajectory"},
      {{"--trajectory", "/nonexistent-dir/timed.csv"}, "--trajectory"},
      // A million rows or more: refused before the motion's --csv is written.
      {{"--trajectory", file, "--csv", other, "--rate", "10000", "--max-velocity", "1e-4"},
       "--trajectory"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const char* a : c.arguments) shown += std::string(a) + " ";
    SCOPED_TRACE(shown);
    const Output o = plan(c.arguments);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
    EXPECT_TRUE(directory_entries(dir).empty());
  }
  // Without --plan.
  CommandLine command;
  const char* solve[] = {"armsim", "--solve", "--trajectory", file};
  ASSERT_EQ(parse_command_line(4, solve, command), kCommandLineError);
  EXPECT_NE(command.message.find("--trajectory"), std::string::npos) << command.message;
  const char* none[] = {"armsim", "--trajectory", file};
  ASSERT_EQ(parse_command_line(3, none, command), kCommandLineError);
  EXPECT_NE(command.message.find("--plan"), std::string::npos) << command.message;
  EXPECT_TRUE(directory_entries(dir).empty());
  rmdir(dir.c_str());
}

}  // namespace
