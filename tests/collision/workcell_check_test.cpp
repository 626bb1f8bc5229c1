// The clearances of whole poses (collision/workcell_check.h) against independent references:
// FCL's collision verdicts on the same shapes, the sampling judge of collision_support.h with
// its bounds, and for the boxes the golden-section and hull judge of workcell_judge.h.
#include "collision/workcell_check.h"

#include <cstring>
#include <random>

#include "collision_support.h"
#include "fcl_workcell.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "workcell_judge.h"

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
  kin = Kinematics(robot);
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
  static Kinematics kin(robot);
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

// Random poses among random boxes: the least box clearance, its body and its box as the
// independent judge finds them (its own kinematics, golden-section distances, hull depths);
// the least and validity over plate, floor and boxes, the plate's and floor's values untouched;
// the held work (hand and workpiece alone) against the judge's least over those two bodies.
// Catches a box placed or turned wrongly, a body left out (arm 1, the hand, the workpiece), a
// pruning bound that hides the least or names the wrong pair, a box clearance left out of the
// verdict, box code that disturbs the plate's or the floor's results.
TEST(WorkcellCheck, ObstacleClearancesAgreeWithJudge) {
  const unsigned seed = 3103;
  std::mt19937 rng(seed);
  static Kinematics kin;
  Workcell cell;
  int apart = 0, cutting = 0, cutByBox = 0;
  int byBody[kBodySlots] = {};
  for (int trial = 0; trial < 3000 / kSlowdown; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const RobotModel& robot = models.robot[1 + trial % kRobotTypes];
    double q[kJointSlots];
    random_pose(rng, robot.N, q);
    cell = {};
    cell.rh = {0, std::uniform_real_distribution<double>(0.5, 2.5)(rng), 0};
    random_boxes(rng, 0, cell);
    WorkcellClearance c;
    kin = Kinematics(robot);
    const int valid = pose_check(robot, cell, q, kin, c);
    const ObstacleVerdict j = judge_obstacles(robot, cell, q);
    ASSERT_NEAR(c.obstacle, j.least, 1e-9);
    ASSERT_GE(c.obstacleIndex, 0);
    ASSERT_LT(c.obstacleIndex, cell.obstacleCount);
    ASSERT_GE(c.obstacleBody, 1);
    ASSERT_LE(c.obstacleBody, kBodyWorkpiece);
    // The pair named gives the value (a tie may name another pair than the judge's).
    const Pose f = fk(robot, q);
    EXPECT_NEAR(body_box(robot, f, c.obstacleBody, obstacle_of(cell.obstacles[c.obstacleIndex])),
                c.obstacle, 1e-9);
    byBody[c.obstacleBody]++;
    (c.obstacle > 0 ? apart : cutByBox)++;
    EXPECT_EQ(c.least, std::fmin(std::fmin(c.wall, c.floor), c.obstacle));
    EXPECT_EQ(valid, c.least >= -kWorkcellTolerance ? 1 : 0);
    // The boxes leave the plate's and the floor's results as they were, bit for bit.
    Workcell bare = cell;
    bare.obstacleCount = 0;
    WorkcellClearance c0;
    pose_check(robot, bare, q, kin, c0);
    EXPECT_EQ(std::memcmp(&c0.wall, &c.wall, sizeof c.wall), 0);
    EXPECT_EQ(c0.wallBody, c.wallBody);
    EXPECT_EQ(c0.wallFeature, c.wallFeature);
    EXPECT_EQ(std::memcmp(&c0.floor, &c.floor, sizeof c.floor), 0);
    EXPECT_EQ(c0.floorBody, c.floorBody);
    const Verdict v = judge_pose(robot, cell, q);
    const double least = std::fmin(std::fmin(v.wall, v.floor), v.obstacle);
    if (std::fabs(least + kWorkcellTolerance) > 1e-6) {
      EXPECT_EQ(valid, v.valid() ? 1 : 0);
    }
    cutting += !valid;

    WorkcellClearance held;
    held_work_clearance(robot, cell, kin.Jpos[robot.N], kin.rw, kin.Ew, held);
    double heldLeast = INFINITY;
    for (int body : {kBodyHand, kBodyWorkpiece})
      for (int k = 0; k < cell.obstacleCount; k++)
        heldLeast = std::fmin(heldLeast, body_box(robot, f, body, obstacle_of(cell.obstacles[k])));
    EXPECT_NEAR(held.obstacle, heldLeast, 1e-9);
    EXPECT_EQ(held.valid, held.least >= -kWorkcellTolerance ? 1 : 0);
  }
  std::printf(
      "[ BOXES    ] %d apart, %d cut by a box, %d invalid; least by arm 1..6, hand, "
      "workpiece: %d %d %d %d %d %d %d %d\n",
      apart, cutByBox, cutting, byBody[1], byBody[2], byBody[3], byBody[4], byBody[5], byBody[6],
      byBody[7], byBody[8]);
  EXPECT_GT(apart, 300 / kSlowdown);
  EXPECT_GT(cutByBox, 300 / kSlowdown);
  for (int body = 1; body <= kBodyWorkpiece; body++) EXPECT_GT(byBody[body], 0) << body;
}

// Without boxes the box clearance is infinite, names no pair and leaves least and validity to
// the plate and the floor; a box that is no number makes the pose invalid.
TEST(WorkcellCheck, NoBoxesAndNanBox) {
  const RobotModel& robot = models.robot[1];
  static Kinematics kin(robot);
  Workcell cell = {};
  cell.rh = {0, 30, 0};
  double q[kJointSlots] = {};
  WorkcellClearance c;
  EXPECT_EQ(pose_check(robot, cell, q, kin, c), 1);
  EXPECT_EQ(c.obstacle, INFINITY);
  EXPECT_EQ(c.obstacleIndex, -1);
  EXPECT_EQ(c.least, std::fmin(c.wall, c.floor));
  cell.obstacleCount = 1;
  cell.obstacles[0] = {"nan", {1, 1, 1}, {NAN, 5, 1}, {{1, 0, 0, 0, 1, 0, 0, 0, 1}}};
  EXPECT_EQ(pose_check(robot, cell, q, kin, c), 0);
  EXPECT_EQ(pose_valid(robot, cell, q, kin), 0);
}

// The verdict alone (pose_valid, which skips what cheap bounds settle) on random poses among
// random boxes and without them: the pose check's verdict every time, and the independent
// judge's but within 1e-6 of the band's limit. Catches a bound taken for a clearance where it
// lies below the band, a body or a box left out, the floor exemption on the wrong arm.
TEST(WorkcellCheck, VerdictAloneAgreesWithJudge) {
  const unsigned seed = 3104;
  std::mt19937 rng(seed);
  static Kinematics kin;
  Workcell cell;
  int valid = 0, invalid = 0;
  for (int trial = 0; trial < 3000 / kSlowdown; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const RobotModel& robot = models.robot[1 + trial % kRobotTypes];
    double q[kJointSlots];
    random_pose(rng, robot.N, q);
    cell = {};
    cell.rh = {0, std::uniform_real_distribution<double>(0.5, 2.5)(rng), 0};
    if (trial % 4 != 0) random_boxes(rng, 0, cell);
    kin = Kinematics(robot);
    const int verdict = pose_valid(robot, cell, q, kin);
    WorkcellClearance c;
    ASSERT_EQ(verdict, pose_check(robot, cell, q, kin, c));
    const Verdict v = judge_pose(robot, cell, q);
    const double least = std::fmin(std::fmin(v.wall, v.floor), v.obstacle);
    if (std::fabs(least + kWorkcellTolerance) > 1e-6) {
      EXPECT_EQ(verdict, v.valid() ? 1 : 0);
    }
    (verdict ? valid : invalid)++;
  }
  EXPECT_GT(valid, 300 / kSlowdown);
  EXPECT_GT(invalid, 300 / kSlowdown);
  const RobotModel& robot = models.robot[1];
  double q[kJointSlots] = {};
  q[2] = NAN;
  EXPECT_EQ(pose_valid(robot, cell, q, kin), 0);
}

constexpr double kJudged = 1e-9;  // the judge's searches end within about 1e-13

// A clearance entry against the judge's value: at or below it (the bound that spared a
// measurement never lies above the truth), but for an entry that calls a body cutting that does
// cut (a tube through the plate may stand in at minus its radius, above its true depth).
void expect_sound_entry(double entry, double judged) {
  if (entry >= -kWorkcellTolerance || judged >= -kWorkcellTolerance) {
    EXPECT_LE(entry, judged + kJudged);
  }
}

// Each body's own clearances (workcell_body_clearances) against the judge's value for that body
// on random poses of every type, half of them among random boxes: every floor entry exact (the
// hand's and the workpiece's too; arm 1's infinite). A wall or box entry that keeps its body out
// of cutting, or whose body the judge finds clear, is at most the judge's value (a tube through
// the plate may stand in at minus its radius); an entry no more than the pose's least, and the
// hand's wall entry, equal the judge's (a workpiece that meets the plate, where the judge has
// only a value below the true one, is only checked to meet it). The pose's least is the least
// of the entries.
// Catches a body's radius or reach left out of its own entry (the hand's floor radius), an entry
// written for another body or box, a bound standing in above the true value.
TEST(WorkcellCheck, EachBodysClearancesAgreeWithJudge) {
  const unsigned seed = 3105;
  std::mt19937 rng(seed);
  static Kinematics kin;
  int exactWall[kBodySlots] = {}, boxPairs = 0, exactBox = 0;
  for (int trial = 0; trial < 3000 / kSlowdown; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const RobotModel& robot = models.robot[1 + trial % kRobotTypes];
    double q[kJointSlots];
    random_pose(rng, robot.N, q);
    Workcell cell = {};
    cell.rh = {0, std::uniform_real_distribution<double>(0.5, 2.5)(rng), 0};
    if (trial % 2) random_boxes(rng, 0, cell);
    kin = Kinematics(robot);
    forward_kinematics(robot, q, kin);
    BodyClearances bodies;
    WorkcellClearance c;
    workcell_body_clearances(robot, kin, cell, bodies, c);
    const Pose f = fk(robot, q);
    const Plate w = plate_of(cell.rh);
    double leastWall = INFINITY, leastFloor = INFINITY, leastBox = INFINITY;
    for (int k = 1; k < kBodySlots; k++) {
      SCOPED_TRACE(testing::Message() << "body " << k);
      if (k == 1)
        EXPECT_EQ(bodies.floor[k], INFINITY);
      else
        EXPECT_NEAR(bodies.floor[k], body_floor(robot, f, k), kJudged);
      const double wall = body_plate(robot, f, k, w);
      const bool workpieceCuts = k == kBodyWorkpiece && wall <= 0;
      if (workpieceCuts) {
        EXPECT_LE(bodies.wall[k], kJudged);
      } else {
        expect_sound_entry(bodies.wall[k], wall);
        if (k == kBodyHand || bodies.wall[k] <= c.wall) {
          EXPECT_NEAR(bodies.wall[k], wall, kJudged);
          exactWall[k]++;
        }
      }
      for (int j = 0; j < cell.obstacleCount; j++) {
        const double box = body_box(robot, f, k, obstacle_of(cell.obstacles[j]));
        SCOPED_TRACE(testing::Message() << "box " << j);
        expect_sound_entry(bodies.obstacle[k][j], box);
        if (bodies.obstacle[k][j] <= c.obstacle) {
          EXPECT_NEAR(bodies.obstacle[k][j], box, kJudged);
          exactBox++;
        }
        leastBox = std::fmin(leastBox, bodies.obstacle[k][j]);
        boxPairs++;
      }
      leastWall = std::fmin(leastWall, bodies.wall[k]);
      leastFloor = std::fmin(leastFloor, bodies.floor[k]);
    }
    EXPECT_EQ(leastWall, c.wall);
    EXPECT_EQ(leastFloor, c.floor);
    EXPECT_EQ(leastBox, c.obstacle);
  }
  std::printf("[ BODIES   ] wall entries judged exactly, arm 1..6, hand, workpiece:");
  for (int k = 1; k < kBodySlots; k++) std::printf(" %d", exactWall[k]);
  std::printf("; box pairs %d, %d judged exactly\n", boxPairs, exactBox);
  for (int k = 1; k < kBodySlots; k++) EXPECT_GT(exactWall[k], 0) << "body " << k;
  EXPECT_GT(exactBox, 1000 / kSlowdown);
}

}  // namespace
