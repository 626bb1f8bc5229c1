// The clearances of whole poses (collision/workcell_check.h) against two references built in
// this file: FCL's collision verdicts on the same shapes, and the sampling judge of
// collision_support.h with its bounds.
#include "collision/workcell_check.h"

#include <random>

#include "collision_support.h"
#include "fcl_workcell.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"

namespace {

using namespace judge;

constexpr double kNearZero = 1e-6;  // FCL's solvers decide touches within about this
constexpr double kStep = 2e-3;      // the judge's sample spacing
constexpr double kRound = 1e-12;

struct Models {
  RobotModel robot[kRobotTypes + 1];
  Models() {
    for (int type = 1; type <= kRobotTypes; type++) robot_setup(type, robot[type]);
  }
};
const Models models;

// A random pose of robot type 1 + trial % 4 into kin, with the wall edge at (0, y, 0), y in
// [0.5, 2.5]: close enough that many poses cut the plate, many the floor.
const RobotModel& random_scene(std::mt19937& rng, int trial, Kinematics& kin, Workcell& cell) {
  const RobotModel& robot = models.robot[1 + trial % kRobotTypes];
  double q[kJointSlots];
  random_pose(rng, robot.N, q);
  cell = {};
  cell.rh = {0, std::uniform_real_distribution<double>(0.5, 2.5)(rng), 0};
  kinematics_at_base(robot, kin);
  forward_kinematics(robot, q, kin);
  return robot;
}

// Collision verdicts against FCL (capsules, boxes) on 10^5 random poses of all four types: wall
// and floor judged apart, no disagreement but where the clearance lies within 1e-6 of zero.
// Catches a wrong plate placement or extent, a wrong tube, a wrong box pose or size, the floor
// exemption applied to the wrong arm.
TEST(WorkcellCheck, VerdictsAgreeWithFcl) {
  const unsigned seed = 3101;
  std::mt19937 rng(seed);
  const int poses = 100000 / kSlowdown;
  static Kinematics kin;
  Workcell cell;
  std::unique_ptr<FclWorkcell> fcl[kRobotTypes + 1];
  int wallHits = 0, floorHits = 0, nearZero = 0, disagree = 0;
  for (int trial = 0; trial < poses; trial++) {
    const RobotModel& robot = random_scene(rng, trial, kin, cell);
    const int type = 1 + trial % kRobotTypes;
    if (!fcl[type]) fcl[type] = std::make_unique<FclWorkcell>(robot, kin, cell.rh);
    fcl[type]->set_wall(cell.rh);
    fcl[type]->set_pose(kin);
    WorkcellClearance c;
    workcell_clearance(robot, kin, cell, c);
    const bool wall = fcl[type]->wall_hit(), floor = fcl[type]->floor_hit();
    wallHits += wall, floorHits += floor;
    for (const auto& [fclHit, ours] : {std::pair{wall, c.wall}, std::pair{floor, c.floor}}) {
      if (fclHit == (ours < 0)) continue;
      if (std::fabs(ours) <= kNearZero) {
        nearZero++;
        continue;
      }
      if (++disagree <= 10)
        ADD_FAILURE() << "seed " << seed << " trial " << trial << ": FCL " << fclHit
                      << ", clearance " << ours << (&ours == &c.wall ? " (wall)" : " (floor)");
    }
  }
  std::printf("[ FCL      ] %d poses: %d wall hits, %d floor hits, %d near-zero disagreements\n",
              poses, wallHits, floorHits, nearZero);
  EXPECT_EQ(disagree, 0);
  EXPECT_GT(wallHits, poses / 10);
  EXPECT_GT(floorHits, poses / 10);
}

// The plate edge a wall feature names, as a segment: x and z of its ends less those of rh.
void feature_edge(WorkcellFeature f, const Vec3& rh, Vec3& a, Vec3& b) {
  static const double kEnds[5][4] = {
      {0, 0, 0, 4}, {0, 0, 0, 0}, {-4, 4, 0, 4}, {-4, 0, -4, 4}, {-4, 0, 0, 0}};
  const double* e = kEnds[f];
  a = {rh.x + e[0], rh.y, rh.z + e[1]}, b = {rh.x + e[2], rh.y, rh.z + e[3]};
}

// Every clearance within the judge's bounds on random poses: the wall value and that of the
// body it names, the floor value exactly (never arm 1); a named plate edge as near as the
// clearance; valid exactly when the least is at least -1e-5, and whenever the judge proves one
// side of that. Catches a wrong least over the bodies, a wrong body or feature reported, a
// wrong sign of an overlap, validity off the band.
TEST(WorkcellCheck, ClearancesWithinIndependentBounds) {
  const unsigned seed = 3102;
  std::mt19937 rng(seed);
  static Kinematics kin;
  Workcell cell;
  int apart = 0, cutting = 0, wrongFeature = 0;
  for (int trial = 0; trial < 20000 / kSlowdown; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const RobotModel& robot = random_scene(rng, trial, kin, cell);
    const double r = robot.linkRadius;
    WorkcellClearance c;
    const int valid = workcell_clearance(robot, kin, cell, c);
    const PoseJudge j = judge_pose(robot.N, kin, r, robot.workSize, cell.rh, kStep);
    ASSERT_GE(c.wall, j.wallLeast.lo - kRound);
    ASSERT_LE(c.wall, j.wallLeast.hi + kRound);
    ASSERT_GE(c.wallBody, 1);
    ASSERT_LE(c.wallBody, kBodyWorkpiece);
    EXPECT_GE(c.wall, j.wall[c.wallBody].lo - kRound);
    EXPECT_LE(c.wall, j.wall[c.wallBody].hi + kRound);
    EXPECT_NEAR(c.floor, j.floorLeast, kRound);
    EXPECT_NE(c.floorBody, 1);
    EXPECT_NEAR(j.floor[c.floorBody], c.floor, kRound);
    EXPECT_EQ(c.least, std::fmin(c.wall, c.floor));
    EXPECT_EQ(valid, c.least >= -kWorkcellTolerance ? 1 : 0);
    EXPECT_EQ(valid, c.valid);
    if (j.least.hi < -kWorkcellTolerance) {
      cutting++;
      EXPECT_EQ(valid, 0);
    }
    if (j.least.lo >= -kWorkcellTolerance) {
      EXPECT_EQ(valid, 1);
    }
    if (c.wall > kStep && c.wallFeature != kFeatureWallFace) {
      apart++;
      Vec3 a, b;
      feature_edge(c.wallFeature, cell.rh, a, b);
      const OrientedBox box = {
          kin.rw, kin.Ew, {robot.workSize[0] / 2, robot.workSize[1] / 2, robot.workSize[2] / 2}};
      double e;
      if (c.wallBody == kBodyWorkpiece) {
        e = sample_segment(a, b, kStep, [&](const Vec3& x) { return point_box(x, box); });
      } else {
        const Vec3 p = kin.Jpos[c.wallBody];
        const Vec3 q = c.wallBody == kBodyHand ? kin.rw : kin.Jpos[c.wallBody + 1];
        e = sample_segment(a, b, kStep, [&](const Vec3& x) { return point_segment(x, p, q); }) - r;
      }
      if (e > c.wall + kStep / 2 + kRound && ++wrongFeature <= 10)
        ADD_FAILURE() << "the " << feature_name(c.wallFeature) << " lies " << e << " from body "
                      << c.wallBody << ", its clearance is " << c.wall;
    }
  }
  EXPECT_EQ(wrongFeature, 0);
  EXPECT_GT(apart, 1000 / kSlowdown);
  EXPECT_GT(cutting, 1000 / kSlowdown);
}

// Input that is no number is never valid, and the clearance shows it.
TEST(WorkcellCheck, NanPoseIsInvalid) {
  const RobotModel& robot = models.robot[1];
  static Kinematics kin;
  kinematics_at_base(robot, kin);
  Workcell cell = {};
  cell.rh = {0, 30, 0};
  double q[kJointSlots] = {};
  WorkcellClearance c;
  EXPECT_EQ(pose_check(robot, cell, q, kin, c), 1);  // upright, far from the wall
  for (int i = 1; i <= robot.N; i++) {
    q[i] = NAN;
    EXPECT_EQ(pose_check(robot, cell, q, kin, c), 0) << "joint " << i;
    q[i] = 0;
  }
}

}  // namespace
