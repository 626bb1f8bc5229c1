// Planned motions, judged by the test's own forward kinematics and geometry
// (tests/workcell_judge.h): every path starts at the initial pose, ends at a valid goal pose,
// and is free when sampled at 0.001 rad per joint; one seed gives one path; bad requests are
// refused.
#include "planning/motion_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "planning/motion_choice.h"
#include "workcell_judge.h"

namespace {

constexpr Mat3 kGoalDown = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};

struct Scene {
  RobotModel robot;
  Workcell cell;
};

// A goal for the workpiece put down from above with its underside at height z, and the wall edge.
void set_scene(Scene& s, int type, double x, double y, double z, double wallY) {
  robot_setup(type, s.robot);
  s.cell = {};
  s.cell.rwG = {x, y, z + s.robot.workSize[2] / 2};
  s.cell.EwG = kGoalDown;
  s.cell.rh = {0, wallY, 0};
}

// Adds `count` boxes of sides 0.1..0.5, centred at random in the robot's reach and turned at
// random (a uniform unit quaternion), each drawn again while the judge finds it meeting the robot
// at pose a or pose b.
void add_random_boxes(Scene& s, std::mt19937& rng, int count, const double a[], const double b[]) {
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
long first_judged_collision(const Scene& s, const JointPath& path, double step = 0.001) {
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

bool same_modulo_turns(const JointVector& a, const double b[]) {
  for (int i = 1; i <= 7; i++)
    if (std::fabs(std::remainder(a[i] - b[i], 2 * PI)) > 1e-9) return false;
  return true;
}

// The whole contract of a found motion, judged independently.
void expect_sound_motion(const Scene& s, const MotionChoice& m, const PlacementResult& r,
                         double step = 0.001) {
  ASSERT_NE(m.how, kMotionNone);
  const JointPath& path = m.plan.path;
  ASSERT_GE(path.size(), 2u);
  const double* qInit = s.robot.qInit;
  for (int i = 1; i <= 7; i++) EXPECT_EQ(path.front()[i], qInit[i]) << "start, joint " << i;
  ASSERT_GE(m.index, 0);
  EXPECT_TRUE(same_modulo_turns(path.back(), r.poses[m.index].q)) << "end is the chosen pose";
  EXPECT_TRUE(judge::judge_pose(s.robot, s.cell, r.poses[m.index].q).valid());
  EXPECT_EQ(first_judged_collision(s, path, step), -1);
  double length = 0;
  for (size_t k = 1; k < path.size(); k++) {
    double d = 0;
    for (int i = 1; i <= 7; i++) d += (path[k][i] - path[k - 1][i]) * (path[k][i] - path[k - 1][i]);
    length += std::sqrt(d);
  }
  EXPECT_NEAR(m.plan.length, length, 1e-9);
}

// Seeded random scenes of every type whose best pose's straight line collides: each is planned,
// and every path is sound. A failure names the seed and the scene.
TEST(MotionPlan, PlansAroundTheWallOnRandomScenes) {
  const unsigned seed = 2101;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1.5, 1.5), y(-0.5, 2.5), z(0.0, 1.2), wall(0.8, 2.2);
  int planned = 0, straight = 0;
  static PlacementResult r;
  for (int draw = 0; draw < 4000 && planned < 50; draw++) {
    Scene s;
    set_scene(s, 1 + draw % 4, x(rng), y(rng), z(rng), wall(rng));
    if (placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r) != kPlacementFound)
      continue;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " draw " << draw << " type " << s.robot.type);
    MotionChoice m;
    PlanRequest request;
    request.seed = seed + draw;
    motion_to_placements(s.robot, s.cell, s.robot.qInit, r, request, m);
    ASSERT_NE(m.how, kMotionNone) << plan_status_text(m.plan.status);
    if (m.how == kMotionStraight) {
      if (straight++ < 5) expect_sound_motion(s, m, r);
      continue;
    }
    planned++;
    expect_sound_motion(s, m, r);
  }
  EXPECT_GE(planned, 50);
}

// One seed, one path (byte for byte, also from another thread's objects); another seed still
// gives a sound one.
TEST(MotionPlan, SeedGivesTheSamePath) {
  Scene s;
  set_scene(s, 1, -0.6, 2.2, 0, 1.3);
  static PlacementResult r;
  ASSERT_EQ(placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r),
            kPlacementFound);
  PlanRequest request;
  for (int i = 1; i <= 7; i++)
    request.start[i] = s.robot.qInit[i], request.goal[i] = r.poses[0].q[i];
  request.seed = 7;
  PlanResult a, b, c;
  ASSERT_EQ(plan_motion(s.robot, s.cell, request, a), kPlanFound);
  ASSERT_EQ(plan_motion(s.robot, s.cell, request, b), kPlanFound);
  ASSERT_EQ(a.path.size(), b.path.size());
  for (size_t k = 0; k < a.path.size(); k++) EXPECT_EQ(a.path[k], b.path[k]) << "waypoint " << k;
  request.seed = 8;
  ASSERT_EQ(plan_motion(s.robot, s.cell, request, c), kPlanFound);
  MotionChoice m;
  m.how = kMotionPlanned;
  m.index = 0;
  m.plan = c;
  expect_sound_motion(s, m, r);
}

// A goal reachable only with a joint turned past +-PI: the wrapping joints find it. The best
// pose of this scene is planned, and its path turns a joint beyond +-PI.
TEST(MotionPlan, GoesTheLongWayRound) {
  Scene s;
  set_scene(s, 3, 1.148, 2.226, 0.412, 0.819);
  static PlacementResult r;
  ASSERT_EQ(placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r),
            kPlacementFound);
  MotionChoice m;
  motion_to_pose(s.robot, s.cell, s.robot.qInit, r.poses[0].q, PlanRequest(), m);
  m.index = 0;
  expect_sound_motion(s, m, r);
  bool beyond = false;
  for (const JointVector& q : m.plan.path)
    for (int i = 1; i <= 7; i++) beyond = beyond || std::fabs(q[i]) > PI;
  EXPECT_TRUE(beyond);
}

// Planning keeps no shared state: two threads planning at once get the paths one thread gets.
TEST(MotionPlan, ThreadsPlanAsOneDoes) {
  Scene s;
  set_scene(s, 1, -0.6, 2.2, 0, 1.3);
  static PlacementResult r;
  ASSERT_EQ(placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r),
            kPlacementFound);
  constexpr int kRequests = 4;
  PlanRequest requests[kRequests];
  for (int k = 0; k < kRequests; k++) {
    for (int i = 1; i <= 7; i++)
      requests[k].start[i] = s.robot.qInit[i], requests[k].goal[i] = r.poses[k % r.count].q[i];
    requests[k].seed = 11 + k;
  }
  PlanResult alone[kRequests], together[kRequests];
  for (int k = 0; k < kRequests; k++) plan_motion(s.robot, s.cell, requests[k], alone[k]);
  std::thread other([&] {
    for (int k = 0; k < kRequests; k += 2) plan_motion(s.robot, s.cell, requests[k], together[k]);
  });
  for (int k = 1; k < kRequests; k += 2) plan_motion(s.robot, s.cell, requests[k], together[k]);
  other.join();
  for (int k = 0; k < kRequests; k++) {
    EXPECT_EQ(alone[k].status, together[k].status) << k;
    EXPECT_EQ(alone[k].path, together[k].path) << k;
  }
}

// A goal joint at the program's PI, a hair beyond the library's pi that bounds OMPL's angles, is
// still a goal the planner accepts (it once waited out the whole time limit for it).
TEST(MotionPlan, GoalAtPlusPi) {
  Scene s;
  set_scene(s, 1, -0.6, 2.2, 0, 1.3);
  PlanRequest request;
  request.timeLimit = 5;
  int tried = 0;
  for (int joint = 1; joint <= 7; joint++) {
    for (int i = 1; i <= 7; i++) request.start[i] = request.goal[i] = s.robot.qInit[i];
    request.goal[joint] = PI;
    if (!judge::judge_pose(s.robot, s.cell.rh, request.goal.data()).valid()) continue;
    tried++;
    PlanResult result;
    EXPECT_EQ(plan_motion(s.robot, s.cell, request, result), kPlanFound) << "joint " << joint;
    EXPECT_LT(result.planningMs, 1000) << "joint " << joint;
  }
  EXPECT_GT(tried, 0);
}

// Every planner plan_motion offers, on a scene whose straight line cuts into the wall: each
// either finds a path the judge finds free when sampled at 0.002 rad, or reports none. KPIECE1
// and its kin grow their trees from the validator's last valid states, so a wrong one would
// cost them their paths; all but a few planners must find one.
TEST(MotionPlan, EveryPlannerPlansAroundTheWall) {
  const unsigned seed = 2104;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1.5, 1.5), y(-0.5, 2.5), z(0.0, 1.2), wall(0.8, 2.2);
  Scene s;
  static PlacementResult r;
  PlanRequest request;
  int draw = 0;
  for (bool needsPlanning = false; !needsPlanning && draw < 400; draw++) {
    set_scene(s, 1, x(rng), y(rng), z(rng), wall(rng));
    if (placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r) != kPlacementFound)
      continue;
    for (int i = 1; i <= 7; i++)
      request.start[i] = s.robot.qInit[i], request.goal[i] = r.poses[0].q[i];
    needsPlanning =
        judge::line_collides(s.robot, s.cell.rh, request.start.data(), request.goal.data());
  }
  ASSERT_LT(draw, 400);
  SCOPED_TRACE(testing::Message() << "seed " << seed << " draw " << draw - 1);
  request.timeLimit = 10;
  // A budget of poses rather than time ends the planners that refine until stopped, alike on a
  // busy machine.
  request.maxPoseChecks = 30000;
  const std::string names = planner_names() + ", ";
  int planners = 0, found = 0;
  for (size_t from = 0, end; (end = names.find(", ", from)) != std::string::npos; from = end + 2) {
    request.planner = names.substr(from, end - from);
    SCOPED_TRACE(request.planner);
    planners++;
    PlanResult result;
    const PlanStatus status = plan_motion(s.robot, s.cell, request, result);
    ASSERT_TRUE(status == kPlanFound || status == kPlanNoPath) << plan_status_text(status);
    if (status == kPlanNoPath) {
      EXPECT_TRUE(result.path.empty());
      continue;
    }
    found++;
    MotionChoice m;
    m.how = kMotionPlanned;
    m.index = 0;
    m.plan = result;
    expect_sound_motion(s, m, r, 0.002);
  }
  EXPECT_GE(planners, 16);
  EXPECT_GE(found, planners - 2);
}

// The validator's report on seeded random motions that collide, each judged by the test's own
// kinematics: the last valid state lies on the motion at the fraction reported, every pose up to
// it is valid when sampled at 0.002 rad, and it is clear of contact (the first colliding pose,
// reported before, lies at the contact band's limit).
TEST(MotionPlan, LastValidStateLiesOnTheMotionBeforeItCollides) {
  const unsigned seed = 2103;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> angle(-PI, PI), wall(0.8, 2.2);
  int colliding = 0, certified = 0, midway = 0, amongBoxes = 0;
  for (int draw = 0; colliding < 150 && draw < 3000; draw++) {
    Scene s;
    const int type = 1 + draw % 4;
    set_scene(s, type, 0, 0, 0, wall(rng));
    JointVector a{}, b{};
    for (int i = 1; i <= s.robot.N; i++) a[i] = angle(rng), b[i] = angle(rng);
    if (!judge::judge_pose(s.robot, s.cell, a.data()).valid(0)) continue;
    // Every other motion among boxes that leave its start clear.
    if (draw % 2) add_random_boxes(s, rng, 3 + draw % 6, a.data(), a.data());
    SCOPED_TRACE(testing::Message() << "seed " << seed << " draw " << draw << " type " << type);
    JointVector last{};
    double t = NAN;
    if (planner_motion_check(s.robot, s.cell, a, b, last, t)) {
      certified++;
      continue;
    }
    colliding++;
    ASSERT_TRUE(t >= 0 && t < 1) << t;
    midway += t > 0;
    // On the motion: each joint the short way round, modulo whole turns.
    double q[kJointSlots] = {};
    for (int i = 1; i <= s.robot.N; i++) {
      q[i] = a[i] + t * std::remainder(b[i] - a[i], 2 * PI);
      EXPECT_NEAR(std::remainder(last[i] - q[i], 2 * PI), 0, 1e-12) << "joint " << i;
    }
    const judge::Verdict v = judge::judge_pose(s.robot, s.cell, last.data());
    // The judge's searches agree with exact distances to about 1e-12, and call bodies within
    // 1e-10 of a box meeting it.
    EXPECT_GE(std::min({v.wall, v.floor, v.obstacle}), -1e-9);
    amongBoxes += s.cell.obstacleCount > 0;
    JointPath upTo = {a, a};
    for (int i = 1; i <= s.robot.N; i++) upTo[1][i] = q[i];
    EXPECT_EQ(first_judged_collision(s, upTo, 0.002), -1);
  }
  EXPECT_GE(colliding, 150);
  EXPECT_GT(certified, 0);
  EXPECT_GT(midway, colliding / 2);
  EXPECT_GT(amongBoxes, colliding / 4);
}

// Seeded scenes of every type with 3 to 8 random boxes that leave the start and the goal clear
// and cut the straight line between them: plan_motion's paths are judged against the wall, the
// floor and the boxes, sampled at 0.002 rad. A pose budget rather than time bounds each plan, so
// the test gives the same answer on a busy machine.
TEST(MotionPlan, PlansAroundBoxes) {
  const unsigned seed = 2105;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1.5, 1.5), y(-0.5, 2.5), z(0.0, 1.2), wall(0.8, 2.2);
  std::uniform_int_distribution<int> boxes(3, 8);
  static PlacementResult r;
  int scenes = 0, found = 0;
  for (int draw = 0; scenes < 12 && draw < 2000; draw++) {
    Scene s;
    set_scene(s, 1 + draw % 4, x(rng), y(rng), z(rng), wall(rng));
    const double* qInit = s.robot.qInit;
    if (placement_solve(s.robot, s.cell, qInit, PlacementOptions(), r) != kPlacementFound ||
        !judge::judge_pose(s.robot, s.cell, qInit).valid(0) ||
        !judge::judge_pose(s.robot, s.cell, r.poses[0].q).valid(0))
      continue;
    add_random_boxes(s, rng, boxes(rng), qInit, r.poses[0].q);
    if (!judge::line_collides(s.robot, s.cell, qInit, r.poses[0].q)) continue;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " draw " << draw << " type " << s.robot.type);
    scenes++;
    PlanRequest request;
    for (int i = 1; i <= 7; i++) request.start[i] = qInit[i], request.goal[i] = r.poses[0].q[i];
    request.seed = seed + draw;
    request.timeLimit = 60;
    request.maxPoseChecks = 50000;
    MotionChoice m;
    m.how = kMotionPlanned;
    m.index = 0;
    const PlanStatus status = plan_motion(s.robot, s.cell, request, m.plan);
    ASSERT_TRUE(status == kPlanFound || status == kPlanNoPath) << plan_status_text(status);
    if (status == kPlanNoPath) continue;
    found++;
    expect_sound_motion(s, m, r, 0.002);
  }
  EXPECT_EQ(scenes, 12);
  EXPECT_GE(found, 10);
}

// Requests that cannot be planned are refused with their reason, never a path.
TEST(MotionPlan, RefusesBadRequests) {
  Scene s;
  set_scene(s, 1, -0.6, 2.2, 0, 1.3);
  PlanRequest request;
  for (int i = 1; i <= 7; i++) request.start[i] = request.goal[i] = s.robot.qInit[i];
  PlanResult result;
  request.planner = "NoSuchPlanner";
  EXPECT_EQ(plan_motion(s.robot, s.cell, request, result), kPlanUnknownPlanner);
  request.planner = kDefaultPlanner;
  for (double limit : {0.0, -1.0, static_cast<double>(NAN)}) {
    request.timeLimit = limit;
    EXPECT_EQ(plan_motion(s.robot, s.cell, request, result), kPlanBadInput) << limit;
  }
  request.timeLimit = 1;
  request.goal[3] = NAN;
  EXPECT_EQ(plan_motion(s.robot, s.cell, request, result), kPlanBadInput);
  // A goal pose the judge finds cutting into the wall or the floor.
  std::mt19937 rng(2102);
  std::uniform_real_distribution<double> angle(-PI, PI);
  do {
    for (int i = 1; i <= 7; i++) request.goal[i] = angle(rng);
  } while (judge::judge_pose(s.robot, s.cell.rh, request.goal.data()).valid());
  EXPECT_EQ(plan_motion(s.robot, s.cell, request, result), kPlanGoalInvalid);
  EXPECT_TRUE(result.path.empty());
  EXPECT_TRUE(planner_known("KPIECE1"));
  EXPECT_FALSE(planner_known("rrtconnect"));
}

}  // namespace
