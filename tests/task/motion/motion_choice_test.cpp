// The choice of the motion to a goal pose, judged by the test's own forward kinematics and
// geometry (tests/planning/path_judge.h): the straight line when it is free, else a planned path
// that starts at the initial pose, ends at the chosen pose and is free when sampled; the straight
// line's report is the chosen pose's.
#include "task/motion/motion_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "contact/placement.h"
#include "planning/path_judge.h"

namespace {

using namespace path_judge;

// The whole contract of a found motion to one of the listed poses r, judged independently; the
// straight line's report is that of the line to the chosen pose: free for a straight motion,
// and for a planned one colliding, the line up to its last free fraction (if any) judged valid.
void expect_sound_motion(const Scene& s, const MotionChoice& m, const PlacementResult& r) {
  ASSERT_NE(m.how, kMotionNone);
  ASSERT_GE(m.index, 0);
  ASSERT_LT(m.index, r.count);
  const double* qGoal = r.poses[m.index].q;
  expect_sound_path(s, m.plan, qGoal);
  if (m.how == kMotionStraight) {
    EXPECT_EQ(m.straight.collides, 0);
    EXPECT_EQ(m.plan.path.size(), 2u);
    return;
  }
  ASSERT_NE(m.straight.collides, 0);
  if (m.straight.lastFree < 0) return;  // the initial pose itself within the contact band
  const double* qInit = s.robot.qInit;
  JointPath upTo(2);
  for (int i = 1; i <= 7; i++) {
    upTo[0][i] = qInit[i];
    upTo[1][i] = qInit[i] + m.straight.lastFree * (qGoal[i] - qInit[i]);
  }
  EXPECT_EQ(first_judged_collision(s, upTo), -1) << "free up to " << m.straight.lastFree;
}

// The same scene with a pose the judge finds cutting in listed first: neither its straight line
// nor a plan reaches it, so the motion goes to a later pose, and the straight line's report is
// that pose's own (as the choice for that pose alone reports it).
void expect_next_pose_when_first_fails(const Scene& s, const PlacementResult& r,
                                       const PlanRequest& request) {
  static PlacementResult withBad;
  withBad = r;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-PI, PI);
  double bad[kJointSlots] = {};
  do {
    for (int i = 1; i <= 7; i++) bad[i] = angle(rng);
  } while (judge::judge_pose(s.robot, s.cell, bad).valid());
  for (int k = r.count; k > 0; k--) withBad.poses[k] = r.poses[k - 1];
  for (int i = 1; i <= 7; i++) withBad.poses[0].q[i] = bad[i];
  withBad.count = r.count + 1;
  const double* qInit = s.robot.qInit;
  MotionChoice m, alone;
  motion_to_placements(s.robot, s.cell, qInit, withBad, request, m);
  ASSERT_GE(m.index, 1);
  expect_sound_motion(s, m, withBad);
  motion_to_pose(s.robot, s.cell, qInit, withBad.poses[m.index].q, request, alone);
  EXPECT_EQ(m.straight.collides, alone.straight.collides);
  EXPECT_EQ(m.straight.firstCollision, alone.straight.firstCollision);
  EXPECT_EQ(m.straight.lastFree, alone.straight.lastFree);
}

// Seeded random scenes of every type whose straight lines collide: each is planned, and every
// motion is sound; a few again behind a pose that cuts in. A failure names the seed and the
// scene.
TEST(MotionChoice, PlansAroundTheWallOnRandomScenes) {
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
    ASSERT_NE(m.how, kMotionNone) << plan_status_text(m.plan.status, s.cell.obstacleCount);
    if (m.how == kMotionStraight) {
      if (straight++ < 5) expect_sound_motion(s, m, r);
      continue;
    }
    planned++;
    expect_sound_motion(s, m, r);
    if (planned <= 10 && r.count < kMaxPlacements) expect_next_pose_when_first_fails(s, r, request);
  }
  EXPECT_GE(planned, 50);
}

// A goal reachable only with a joint turned past +-PI: the wrapping joints find it. The best
// pose of this scene is planned, and its path turns a joint beyond +-PI.
TEST(MotionChoice, GoesTheLongWayRound) {
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

}  // namespace
