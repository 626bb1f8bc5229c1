// Scenes and an independent judge of planned paths for the planning and motion-choice tests:
// a path is judged by the test's own forward kinematics and geometry (tests/workcell_judge.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "model/robot_catalogue.h"
#include "planning/motion_plan.h"
#include "workcell_judge.h"

namespace path_judge {

inline constexpr Mat3 kGoalDown = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};

struct Scene {
  RobotModel robot;
  Workcell cell;
};

// A goal for the workpiece put down from above with its underside at height z, and the wall edge.
inline void set_scene(Scene& s, int type, double x, double y, double z, double wallY) {
  robot_setup(type, s.robot);
  s.cell = {};
  s.cell.rwG = {x, y, z + s.robot.workSize[2] / 2};
  s.cell.EwG = kGoalDown;
  s.cell.rh = {0, wallY, 0};
}

// Adds `count` boxes of sides 0.1..0.5, centred at random in the robot's reach and turned at
// random (a uniform unit quaternion), each drawn again while the judge finds it meeting the robot
// at pose a or pose b.
inline void add_random_boxes(Scene& s, std::mt19937& rng, int count, const double a[],
                             const double b[]) {
  std::uniform_real_distribution<double> side(0.1, 0.5), x(-1.5, 1.5), y(-1.5, 2.0), z(0.0, 1.5);
  std::normal_distribution<double> n;
  while (s.cell.obstacleCount < count) {
    Obstacle& o = s.cell.obstacles[s.cell.obstacleCount++];
    std::snprintf(o.name, sizeof o.name, "box %d", s.cell.obstacleCount);
    for (double& l : o.size) l = side(rng);
    o.centre = {x(rng), y(rng), z(rng)};
    double w = n(rng), i = n(rng), j = n(rng), k = n(rng);
    const double unit = 1 / std::sqrt(w * w + i * i + j * j + k * k);
    w *= unit, i *= unit, j *= unit, k *= unit;
    o.R = {{1 - 2 * (j * j + k * k), 2 * (i * j - w * k), 2 * (i * k + w * j),  //
            2 * (i * j + w * k), 1 - 2 * (i * i + k * k), 2 * (j * k - w * i),  //
            2 * (i * k - w * j), 2 * (j * k + w * i), 1 - 2 * (i * i + j * j)}};
    if (!judge::judge_pose(s.robot, s.cell, a).valid(0) ||
        !judge::judge_pose(s.robot, s.cell, b).valid(0))
      s.cell.obstacleCount--;
  }
}

// The first sample along the path (every joint moving at most `step` rad between samples) that
// the judge finds cutting into the wall, the floor or a box; -1 when none does.
inline long first_judged_collision(const Scene& s, const JointPath& path, double step = 0.001) {
  long n = 0;
  for (size_t k = 1; k < path.size(); k++) {
    double largest = 0;
    for (int i = 1; i <= 7; i++)
      largest = std::max(largest, std::fabs(path[k][i] - path[k - 1][i]));
    const int steps = std::max(1, static_cast<int>(std::ceil(largest / step)));
    for (int j = 0; j <= steps; j++, n++) {
      double q[kJointSlots] = {};
      for (int i = 1; i <= 7; i++)
        q[i] = path[k - 1][i] + (path[k][i] - path[k - 1][i]) * j / steps;
      if (!judge::valid_pose(s.robot, s.cell, q)) return n;
    }
  }
  return -1;
}

inline bool same_modulo_turns(const JointVector& a, const double b[]) {
  for (int i = 1; i <= 7; i++)
    if (std::fabs(std::remainder(a[i] - b[i], 2 * PI)) > 1e-9) return false;
  return true;
}

// The whole contract of a found path to goal pose qGoal, judged independently: it starts at the
// initial pose, ends at qGoal modulo whole turns, which the judge finds valid, is free when sampled
// at `step` rad, and its length is the sum of its waypoints' Euclidean joint distances.
inline void expect_sound_path(const Scene& s, const PlanResult& plan, const double qGoal[],
                              double step = 0.001) {
  const JointPath& path = plan.path;
  ASSERT_GE(path.size(), 2u);
  const double* qInit = s.robot.qInit;
  for (int i = 1; i <= 7; i++) EXPECT_EQ(path.front()[i], qInit[i]) << "start, joint " << i;
  EXPECT_TRUE(same_modulo_turns(path.back(), qGoal)) << "end is the goal pose";
  EXPECT_TRUE(judge::judge_pose(s.robot, s.cell, qGoal).valid());
  EXPECT_EQ(first_judged_collision(s, path, step), -1);
  double length = 0;
  for (size_t k = 1; k < path.size(); k++) {
    double d = 0;
    for (int i = 1; i <= 7; i++) d += (path[k][i] - path[k - 1][i]) * (path[k][i] - path[k - 1][i]);
    length += std::sqrt(d);
  }
  EXPECT_NEAR(plan.length, length, 1e-9);
}

}  // namespace path_judge
