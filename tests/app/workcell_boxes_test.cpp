// The user's boxes through the command line: every pose --solve lists is clear of them, the JSON's
// box clearance and nearest box are the judge's, a straight motion called free is free of them,
// a planned path keeps clear of them, Method B's verdict and the reasons name the box, and the
// map classes a goal inside a box as blocked. Every verdict comes from the independent judge
// (tests/workcell_judge.h), which measures the boxes its own way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "app/command_modes.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "task/motion/map_evaluation.h"
#include "task/workcell_notes.h"
#include "workcell_judge.h"

namespace {

using nlohmann::json;

constexpr double kBand = 1e-5;  // clearances down to minus this count as touching
constexpr double kWallY = 1.3;  // the start-up wall edge

struct Output {
  int status;
  std::string out, err;
};

// A command of `mode` on robot type `type` with the start-up goal and wall and the given boxes,
// as a workcell file would give them.
CommandLine command_of(CommandMode mode, int type, const Obstacle boxes[], int count) {
  CommandLine command;
  command.mode = mode;
  command.type = type;
  command.typeGiven = true;
  command.json = true;
  command.workcell.source = "boxes.json";
  command.workcell.obstacleCount = count;
  for (int k = 0; k < count; k++) command.workcell.obstacles[k] = boxes[k];
  return command;
}

Output run(const CommandLine& command) {
  CapturedStream out, err;
  const int status = run_command(command, out.stream(), err.stream());
  return {status, out.text(), err.text()};
}

// The workcell the judge measures: the start-up wall and the boxes.
Workcell judged_cell(const Obstacle boxes[], int count) {
  Workcell cell = {};
  cell.rh = {0, kWallY, 0};
  cell.obstacleCount = count;
  for (int k = 0; k < count; k++) cell.obstacles[k] = boxes[k];
  return cell;
}

// An axis-aligned box named `name`, of side lengths s, centred at c.
Obstacle box_at(const char* name, Vec3 c, double sx, double sy, double sz) {
  Obstacle b = {};
  std::snprintf(b.name, sizeof b.name, "%s", name);
  b.size[0] = sx, b.size[1] = sy, b.size[2] = sz;
  b.centre = c;
  b.R = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  return b;
}

// A box of random size and turn about the robot, away from the default goal's workpiece.
Obstacle random_box(std::mt19937& rng, int k) {
  std::uniform_real_distribution<double> side(0.1, 0.6), xy(-2.6, 2.6), z(0.0, 2.4), angle(-PI, PI);
  Obstacle b;
  do {
    b = box_at(("box" + std::to_string(k)).c_str(), {xy(rng), xy(rng), z(rng)}, side(rng),
               side(rng), side(rng));
  } while (std::hypot(b.centre.x + 0.6, b.centre.y - 2.2) < 0.8);
  const double r = angle(rng), p = angle(rng), y = angle(rng);
  const double cr = std::cos(r), sr = std::sin(r), cp = std::cos(p), sp = std::sin(p),
               cy = std::cos(y), sy = std::sin(y);
  b.R = {{cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr, sy * cp, sy * sp * sr + cy * cr,
          sy * sp * cr - cy * sr, -sp, cp * sr, cp * cr}};
  return b;
}

void read_joints(const json& q, double out[]) {
  for (int i = 1; i <= 7; i++) out[i] = q.at(i - 1).get<double>();
}

// One pose of the JSON against the judge: its box clearance and nearest box, and validity.
void check_pose_boxes(const RobotModel& model, const Workcell& cell, const json& pose,
                      const double q[]) {
  const judge::ObstacleVerdict v = judge::judge_obstacles(model, cell, q);
  ASSERT_TRUE(pose["obstacle_clearance"].is_number());
  const double reported = pose["obstacle_clearance"].get<double>();
  if (v.least > 0) {
    EXPECT_NEAR(reported, v.least, 1e-9);
  }
  EXPECT_EQ(reported < -kBand, v.least < -kBand) << reported << " " << v.least;
  // The box named gives the least (ties may name another box of the same clearance).
  const std::string name = pose["nearest_obstacle"].get<std::string>();
  const judge::Pose f = judge::fk(model, q);
  double named = INFINITY;
  for (int j = 0; j < cell.obstacleCount; j++) {
    if (name != cell.obstacles[j].name) continue;
    const judge::Box box = judge::obstacle_of(cell.obstacles[j]);
    for (int k = 1; k <= 8; k++) named = std::fmin(named, judge::body_box(model, f, k, box));
  }
  if (v.least > 0) {
    EXPECT_NEAR(named, v.least, 1e-9) << name;
  }
}

}  // namespace

// Seeded scenes of every type among random boxes: --solve lists only poses the judge finds clear
// of the wall, the floor and every box, with the judge's box clearance and nearest box, and a
// straight motion it calls free is free at the judge's dense samples; Method B's `valid` is the
// judge's verdict on its final pose.
TEST(WorkcellBoxes, SolveAndMethodBAgreeWithTheJudge) {
  std::mt19937 rng(2801);
  int listed = 0, straightFree = 0, methodBPoses = 0;
  for (int scene = 0; scene < 12; scene++) {
    const int type = 1 + scene % 4;
    const int count = 2 + scene % 5;
    Obstacle boxes[8];
    for (int k = 0; k < count; k++) boxes[k] = random_box(rng, k);
    SCOPED_TRACE("scene " + std::to_string(scene));
    const RobotModel model = [&] {
      RobotModel m;
      robot_setup(type, m);
      return m;
    }();
    const Workcell cell = judged_cell(boxes, count);

    const Output solve = run(command_of(kModeSolve, type, boxes, count));
    const json solutions = json::parse(solve.out).at("solutions");
    for (size_t k = 0; k < solutions.size(); k++) {
      const json& pose = solutions[k];
      double q[kJointSlots] = {};
      read_joints(pose.at("q"), q);
      EXPECT_TRUE(judge::judge_pose(model, cell, q).valid(kBand)) << "listed pose " << k;
      check_pose_boxes(model, cell, pose, q);
      listed++;
      // The straight motion of the first few: called free only when it is.
      if (k < 3 && !pose["straight_motion"]["collides"].get<bool>()) {
        EXPECT_FALSE(judge::line_collides(model, cell, model.qInit, q)) << "pose " << k;
        straightFree++;
      }
    }

    const Output methodB = run(command_of(kModeMethodB, type, boxes, count));
    const json methodBDoc = json::parse(methodB.out);
    for (const json& pose : methodBDoc.at("solutions")) {
      double q[kJointSlots] = {};
      read_joints(pose.at("q"), q);
      const judge::Verdict v = judge::judge_pose(model, cell, q);
      const double least = std::fmin(v.wall, std::fmin(v.floor, v.obstacle));
      if (std::fabs(least + kBand) > 1e-7) {
        EXPECT_EQ(pose["valid"].get<bool>(), v.valid(kBand));
      }
      check_pose_boxes(model, cell, pose, q);
      methodBPoses++;
    }
  }
  EXPECT_GT(listed, 40);
  EXPECT_GT(straightFree, 3);
  EXPECT_GT(methodBPoses, 2);
}

// A planned motion among boxes keeps clear of them at the judge's dense samples, and reports the
// least box clearance along its path, which a pose on the path confirms.
TEST(WorkcellBoxes, PlannedMotionKeepsClear) {
  // A post where type 1's straight motion to its best pose passes.
  const Obstacle post = box_at("post", {1.6, 1.6, 0.75}, 0.2, 0.2, 1.5);
  CommandLine command = command_of(kModePlan, 1, &post, 1);
  const Output plan = run(command);
  ASSERT_EQ(plan.status, 0) << plan.err;
  const json doc = json::parse(plan.out);
  const RobotModel model = [] {
    RobotModel m;
    robot_setup(1, m);
    return m;
  }();
  const Workcell cell = judged_cell(&post, 1);
  const json& path = doc.at("path");
  ASSERT_GE(path.size(), 2u);
  double least = INFINITY;
  for (size_t k = 1; k < path.size(); k++) {
    double a[kJointSlots] = {}, b[kJointSlots] = {};
    read_joints(path[k - 1], a);
    read_joints(path[k], b);
    EXPECT_FALSE(judge::line_collides(model, cell, a, b)) << "segment " << k;
    least = std::fmin(least, judge::judge_obstacles(model, cell, b).least);
  }
  const double reported = doc.at("min_obstacle_clearance").get<double>();
  EXPECT_GE(reported, -kBand);
  EXPECT_LE(reported, least + 1e-9);
  EXPECT_EQ(doc.at("goal_pose").at("nearest_obstacle"), "post");
}

// The reasons name the box: a crate over the goal refuses every pose, a block through the
// initial pose refuses the motion, Method B's final pose that cuts a box says so at the console
// and in the window, and the map classes that goal as blocked.
TEST(WorkcellBoxes, ReasonsNameTheBox) {
  const Obstacle crate = box_at("crate", {-0.6, 2.2, 0.1}, 0.5, 0.5, 0.5);
  const Output solve = run(command_of(kModeSolve, 1, &crate, 1));
  EXPECT_EQ(solve.status, 1);
  EXPECT_NE(solve.err.find("the workpiece at the goal cuts into 'crate'"), std::string::npos)
      << solve.err;
  Workcell scene = judged_cell(&crate, 1);
  MapCell c = {-0.6, 2.2, kMapPending, 0, 0, false, 0, kMapMotionUnset};
  evaluate_map_cell(1, scene, -0.6, 2.2, c);
  EXPECT_EQ(c.cls, kMapBlocked);
  EXPECT_EQ(c.motion, kMapMotionUnset);

  // A block around the middle of arm 3 in type 1's initial pose.
  RobotModel model;
  robot_setup(1, model);
  const judge::Pose f = judge::fk(model, model.qInit);
  const judge::P mid = 0.5 * (f.joint[3] + f.joint[4]);
  const Obstacle block = box_at("block", {mid.x, mid.y, mid.z}, 0.3, 0.3, 0.3);
  CommandLine planBlocked = command_of(kModePlan, 1, &block, 1);
  planBlocked.json = false;
  const Output plan = run(planBlocked);
  EXPECT_EQ(plan.status, 1);
  EXPECT_NE(plan.err.find("the start pose cuts into 'block'"), std::string::npos) << plan.err;

  // Method B does not see boxes: a probe around its final pose's arm 5 leaves the run as it
  // was, and its verdict names the probe.
  const Output free = run(command_of(kModeMethodB, 1, nullptr, 0));
  const json final = json::parse(free.out).at("solutions").at(0);
  double q[kJointSlots] = {};
  read_joints(final.at("q"), q);
  const judge::Pose g = judge::fk(model, q);
  const judge::P arm5 = 0.5 * (g.joint[5] + g.joint[6]);
  const Obstacle probe = box_at("probe", {arm5.x, arm5.y, arm5.z}, 0.1, 0.1, 0.1);
  CommandLine trace = command_of(kModeMethodB, 1, &probe, 1);
  const json probed = json::parse(run(trace).out).at("solutions").at(0);
  EXPECT_EQ(probed.at("q"), final.at("q"));
  EXPECT_FALSE(probed.at("valid").get<bool>());
  EXPECT_EQ(probed.at("nearest_obstacle"), "probe");
  trace.json = false;
  const Output text = run(trace);
  EXPECT_NE(text.out.find("箱'probe'に食い込む"), std::string::npos) << text.out;
  const Workcell probeCell = judged_cell(&probe, 1);
  Kinematics kin(model);
  WorkcellClearance wc;
  pose_check(model, probeCell, q, kin, wc);
  char warning[80];
  final_pose_warning(wc, probeCell, warning);
  EXPECT_STREQ(warning, "Final Pose Cuts Box 'probe'");
}
