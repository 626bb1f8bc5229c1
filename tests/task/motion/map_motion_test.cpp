// The feasibility map's motion column (task/motion/map_evaluation.h) against motions planned
// here from each type's own initial pose, and judged by the test's own kinematics and geometry
// (tests/workcell_judge.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "model/robot_catalogue.h"
#include "task/feasibility_map.h"
#include "task/motion/map_evaluation.h"
#include "task/motion/motion_choice.h"
#include "workcell_judge.h"

namespace {

// The map's motions: the first four listed poses, planned within a budget of checks.
constexpr long kPlanPoses = 100000;
constexpr int kMotionPoses = 4;

MapMotion map_motion_of(MotionHow how) {
  switch (how) {
    case kMotionStraight:
      return kMapMotionStraight;
    case kMotionPlanned:
      return kMapMotionPlanned;
    case kMotionNone:
      break;
  }
  return kMapMotionNone;
}

// Whether a sample along the path (every joint moving at most 0.001 rad between samples) cuts
// the wall, the floor or a box by the judge.
bool path_collides(const RobotModel& robot, const Workcell& cell, const JointPath& path) {
  for (size_t k = 1; k < path.size(); k++)
    if (judge::line_collides(robot, cell, path[k - 1].data(), path[k].data())) return true;
  return false;
}

// Seeded goals in each type's reach, against a wall that blocks many straight lines: a cell
// whose motion the map marks straight or planned is marked as a motion from that type's own
// initial pose is (the first four poses, the same budget); that motion starts at the initial
// pose, ends at a listed pose and is free by the judge. Every type shows both kinds. Catches the
// map's motion started from another pose than the type's own (another type's initial pose).
TEST(MapMotion, MarkedAsPlannedFromTheTypesOwnStart) {
  const unsigned seed = 5101;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1, 1);
  const double wallY = 1.3;
  static PlacementResult placements;
  for (int type = 1; type <= kRobotTypes; type++) {
    RobotModel robot;
    robot_setup(type, robot);
    const double* qInit = robot.qInit;
    double cx, cy, r;
    ASSERT_EQ(map_reach_disc(type, cx, cy, r), 1);
    Workcell scene = {};
    scene.rh = {0, wallY, 0};
    int straight = 0, planned = 0;
    for (int draw = 0; draw < 200 && (straight < 2 || planned < 2); draw++) {
      const double x = cx + r * unit(rng), y = cy + r * unit(rng);
      SCOPED_TRACE(testing::Message() << "seed " << seed << " type " << type << " draw " << draw
                                      << " goal " << x << " " << y);
      MapCell cell = {x, y, kMapPending, 0, 0, false, 0, kMapMotionUnset};
      evaluate_map_cell(type, scene, x, y, cell);
      if (cell.motion != kMapMotionStraight && cell.motion != kMapMotionPlanned) continue;
      (cell.motion == kMapMotionStraight ? straight : planned)++;
      const Workcell goal = floor_workcell(robot, x, y, wallY);
      placement_solve(robot, goal, qInit, PlacementOptions(), placements);
      PlanRequest request;
      request.maxPoseChecks = kPlanPoses;
      request.timeLimit = 60;  // the budget ends the search first
      MotionChoice m;
      motion_to_placements(robot, goal, qInit, placements, request, m, kMotionPoses);
      EXPECT_EQ(cell.motion, map_motion_of(m.how));
      if (m.how == kMotionNone) continue;
      const JointPath& path = m.plan.path;  // straight: the two-point line
      ASSERT_GE(path.size(), 2u);
      EXPECT_TRUE(m.how == kMotionPlanned || path.size() == 2);
      for (int i = 1; i <= robot.N; i++) {
        EXPECT_EQ(path.front()[i], qInit[i]) << "start, joint " << i;
        EXPECT_NEAR(std::remainder(path.back()[i] - placements.poses[m.index].q[i], 2 * PI), 0,
                    1e-9)
            << "end, joint " << i;
      }
      EXPECT_FALSE(path_collides(robot, goal, path));
    }
    std::printf("[ MAP      ] type %d: %d straight, %d planned cells compared\n", type, straight,
                planned);
    EXPECT_GE(straight, 2) << "type " << type;
    EXPECT_GE(planned, 2) << "type " << type;
  }
}

}  // namespace
