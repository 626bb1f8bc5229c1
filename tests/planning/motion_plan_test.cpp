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

#include "contact/placement.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "planning/path_judge.h"
#include "workcell_judge.h"

namespace {

using namespace path_judge;

// One seed, one path (byte for byte); on a scene whose straight line collides (each joint the
// short way round, as the planner moves), so that the planner samples and no shortcut reaches the
// line, six seeds give six different paths, each sound. Catches a sampler whose seed is fixed:
// its paths repeat.
TEST(MotionPlan, SeedGivesTheSamePath) {
  Scene s;
  set_scene(s, 1, 0.662, 1.501, 0.2, 1.775);
  static PlacementResult r;
  ASSERT_EQ(placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r),
            kPlacementFound);
  PlanRequest request;
  JointVector shortWay{};
  for (int i = 1; i <= 7; i++) {
    request.start[i] = s.robot.qInit[i], request.goal[i] = r.poses[0].q[i];
    shortWay[i] = request.start[i] + std::remainder(request.goal[i] - request.start[i], 2 * PI);
  }
  ASSERT_TRUE(judge::line_collides(s.robot, s.cell, request.start.data(), shortWay.data()));
  request.seed = 7;
  PlanResult a, b;
  ASSERT_EQ(plan_motion(s.robot, s.cell, request, a), kPlanFound);
  ASSERT_EQ(plan_motion(s.robot, s.cell, request, b), kPlanFound);
  ASSERT_EQ(a.path.size(), b.path.size());
  for (size_t k = 0; k < a.path.size(); k++) EXPECT_EQ(a.path[k], b.path[k]) << "waypoint " << k;
  std::vector<JointPath> paths;
  for (unsigned seed = 7; seed < 13; seed++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    request.seed = seed;
    PlanResult c;
    ASSERT_EQ(plan_motion(s.robot, s.cell, request, c), kPlanFound);
    expect_sound_path(s, c, r.poses[0].q);
    for (const JointPath& other : paths) EXPECT_NE(c.path, other);
    paths.push_back(c.path);
  }
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

// A workspace kept across plans plans as a new one does: RRTConnect, whose planner the workspace
// keeps, planned twice on each of three scenes that need planning, with another planner through
// the same workspace between the scenes, gives the status and the path (byte for byte) of a plan
// with a workspace of its own. Catches a planner or a sampler that carries a tree, a seed or a
// problem over from the last plan.
TEST(MotionPlan, WorkspaceKeptAcrossPlansPlansAsNew) {
  const unsigned seed = 2105;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1.5, 1.5), y(-0.5, 2.5), z(0.0, 1.2), wall(0.8, 2.2);
  PlanWorkspace shared;
  const char* others[] = {"KPIECE1", "RRT", "EST"};
  int scenes = 0, found = 0;
  for (int draw = 0; scenes < 3 && draw < 600; draw++) {
    Scene s;
    set_scene(s, 1 + draw % 4, x(rng), y(rng), z(rng), wall(rng));
    static PlacementResult r;
    if (placement_solve(s.robot, s.cell, s.robot.qInit, PlacementOptions(), r) != kPlacementFound)
      continue;
    PlanRequest request;
    for (int i = 1; i <= 7; i++)
      request.start[i] = s.robot.qInit[i], request.goal[i] = r.poses[0].q[i];
    if (!judge::line_collides(s.robot, s.cell.rh, request.start.data(), request.goal.data()))
      continue;
    SCOPED_TRACE(testing::Message() << "seed " << seed << " draw " << draw);
    request.maxPoseChecks = 5000;
    request.planner = "RRTConnect";
    for (unsigned k = 0; k < 2; k++) {
      request.seed = static_cast<unsigned>(draw) + k;
      PlanResult kept, fresh;
      plan_motion(s.robot, s.cell, request, shared, kept);
      plan_motion(s.robot, s.cell, request, fresh);
      EXPECT_EQ(kept.status, fresh.status);
      EXPECT_EQ(kept.path, fresh.path);
      found += fresh.status == kPlanFound;
    }
    PlanRequest other = request;
    other.planner = others[scenes % 3];
    PlanResult result;
    const PlanStatus status = plan_motion(s.robot, s.cell, other, shared, result);
    EXPECT_TRUE(status == kPlanFound || status == kPlanNoPath) << other.planner;
    scenes++;
  }
  EXPECT_EQ(scenes, 3);
  EXPECT_GE(found, 5);
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
    ASSERT_TRUE(status == kPlanFound || status == kPlanNoPath)
        << plan_status_text(status, s.cell.obstacleCount);
    if (status == kPlanNoPath) {
      EXPECT_TRUE(result.path.empty());
      continue;
    }
    found++;
    expect_sound_path(s, result, r.poses[0].q, 0.002);
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
  // About half report a state past the start (70 of 150; the verdict's look-ahead refuses the
  // others from their start).
  EXPECT_GT(midway, colliding / 3);
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
    PlanResult plan;
    const PlanStatus status = plan_motion(s.robot, s.cell, request, plan);
    ASSERT_TRUE(status == kPlanFound || status == kPlanNoPath)
        << plan_status_text(status, s.cell.obstacleCount);
    if (status == kPlanNoPath) continue;
    found++;
    expect_sound_path(s, plan, r.poses[0].q, 0.002);
  }
  EXPECT_EQ(scenes, 12);
  EXPECT_GE(found, 10);
}

// Requests that cannot be planned are refused with their reason, never a path (a time limit
// beyond a day would overflow the planners' clocks and end at once).
TEST(MotionPlan, RefusesBadRequests) {
  Scene s;
  set_scene(s, 1, -0.6, 2.2, 0, 1.3);
  PlanRequest request;
  for (int i = 1; i <= 7; i++) request.start[i] = request.goal[i] = s.robot.qInit[i];
  PlanResult result;
  request.planner = "NoSuchPlanner";
  EXPECT_EQ(plan_motion(s.robot, s.cell, request, result), kPlanUnknownPlanner);
  request.planner = kDefaultPlanner;
  for (double limit : {0.0, -1.0, static_cast<double>(NAN), kMaxTimeLimit * 2, 1e12}) {
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
  // Among boxes the reason names them too: the pose may cut into one of them.
  EXPECT_EQ(std::string(plan_status_text(kPlanGoalInvalid, 0)).find("box"), std::string::npos);
  EXPECT_NE(std::string(plan_status_text(kPlanGoalInvalid, 2)).find("box"), std::string::npos);
  EXPECT_TRUE(planner_known("KPIECE1"));
  EXPECT_FALSE(planner_known("rrtconnect"));
}

}  // namespace
