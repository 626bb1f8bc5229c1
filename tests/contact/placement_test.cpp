// The complete placement solver, judged by independent computations: the shared judge's forward
// kinematics from the model's link data (Erel, Lloc, rwLoc, EwLoc) and its segment-to-segment
// distance (Ericson's closest points), never by what the solver reports about itself.
#include "contact/placement.h"

#include <cstring>
#include <random>
#include <string>

#include "collision/edge_clearance.h"
#include "contact_support.h"
#include "ik/oinv.h"
#include "ik/pinv.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "workcell_judge.h"

namespace {

constexpr double kTol = 1e-9;
constexpr double kRadius = 0.1;  // the catalogue's link radius
constexpr double kEdgeTop = 50;  // the edge ray, long enough to be a segment here

// The scene under test: the robot model (of its type), the goal and the wall.
struct Scene {
  RobotModel robot;
  Workcell cell;
};
Scene sc;

// ---- Independent geometry -------------------------------------------------------------------

using judge::norm;
using judge::of;
using judge::P;

// Per arm 1..6: distance of its axis segment from the edge less the radius, and whether it
// passes through the wall plate (y = rh.y, x <= rh.x, z >= rh.z); for a crossing, value gets
// -(radius + how far behind the edge it crosses).
struct OwnClearance {
  double value[7];
  bool crossing[7];
  double min() const {
    double m = value[1];
    for (int a = 2; a <= 6; a++) m = std::fmin(m, value[a]);
    return m;
  }
  bool anyCrossing() const {
    for (int a = 1; a <= 6; a++)
      if (crossing[a]) return true;
    return false;
  }
};
OwnClearance own_clearance(const judge::Pose& f, const Vec3& rhv) {
  const P rh = of(rhv), top = rh + P{0, 0, kEdgeTop};
  OwnClearance c;
  for (int a = 1; a <= 6; a++) {
    const P p = f.joint[a], q = f.joint[a + 1];
    c.value[a] = judge::segment_distance(p, q, rh, top) - kRadius;
    c.crossing[a] = false;
    const double ya = p.y - rh.y, yb = q.y - rh.y;
    if (ya * yb <= 0 && ya != yb) {
      const P x = p + (ya / (ya - yb)) * (q - p);
      if (x.x <= rh.x && x.z >= rh.z) {
        c.crossing[a] = true;
        c.value[a] = -(kRadius + rh.x - x.x);
      }
    }
  }
  return c;
}

double wrapped(double a) {
  return std::remainder(a, 2 * PI);
}

// ---- Scenes ---------------------------------------------------------------------------------

void set_scene(int type, const Vec3& rwG, const Mat3& EwG, const Vec3& rh) {
  robot_setup(type, sc.robot);
  sc.cell = {};
  sc.cell.rwG = rwG;
  sc.cell.EwG = EwG;
  sc.cell.rh = rh;
}

// The start-up scene of app/scene_state.cpp for a robot type.
void default_scene(int type) {
  set_scene(type, {-0.6, 2.2, 0.1}, {{1, 0, 0, 0, -1, 0, 0, 0, -1}}, {0, 1.3, 0});
}

void goal_from(const double q[]) {
  const judge::Pose f = judge::fk(sc.robot, q);
  sc.cell.rwG = {f.work.x, f.work.y, f.work.z};
  std::memcpy(sc.cell.EwG.m, f.Ew.m, sizeof f.Ew.m);
}

// The initial pose of the scene's robot type, the ranking's reference.
const double* initial() {
  return sc.robot.qInit;
}

PlacementStatus solve(PlacementResult& r, int samples = kPlacementSamples) {
  PlacementOptions options;
  options.samples = samples;
  return placement_solve(sc.robot, sc.cell, initial(), options, r);
}

// Every listed pose, by this file's own computation: finite, positioned and oriented within
// 1e-9, touching (its arm at 0.1 from the edge within 1e-9, no arm nearer, none through the
// wall) or clear (every arm farther than 0.1 + 1e-9, none through the wall), valid against the
// whole workcell by the independent judge (wall plate and floor, every tube, the hand and the
// workpiece) with the clearances it reports; the listing order and the counts.
void expect_sound(const PlacementResult& r) {
  ASSERT_LE(r.count, kMaxPlacements);
  EXPECT_EQ(r.touchCount + r.clearCount, r.count);
  for (int k = 0; k < r.count; k++) {
    const PlacementPose& p = r.poses[k];
    SCOPED_TRACE(testing::Message() << "pose " << k);
    for (int i = 1; i <= 7; i++) ASSERT_TRUE(std::isfinite(p.q[i])) << i;
    const judge::Pose f = judge::fk(sc.robot, p.q);
    const double pos = std::fabs(f.work.x - sc.cell.rwG.x) + std::fabs(f.work.y - sc.cell.rwG.y) +
                       std::fabs(f.work.z - sc.cell.rwG.z);
    double ori = 0;
    for (int e = 0; e < 9; e++) ori += std::fabs(f.Ew.m[e] - sc.cell.EwG.m[e]);
    EXPECT_LE(pos, kTol);
    EXPECT_LE(ori, kTol);
    EXPECT_EQ(p.theta, p.q[sc.robot.Lcont]);
    const OwnClearance c = own_clearance(f, sc.cell.rh);
    EXPECT_FALSE(c.anyCrossing());
    EXPECT_NEAR(p.edgeClearance, c.min(), 1e-11);  // rounding of distances up to a few units
    const judge::Verdict v = judge::judge_pose(sc.robot, sc.cell.rh, p.q);
    EXPECT_TRUE(v.valid()) << "wall " << v.wall << " floor " << v.floor;
    EXPECT_NEAR(p.workcell.wall, v.wall, 1e-9);
    EXPECT_NEAR(p.workcell.floor, v.floor, 1e-9);
    if (p.kind == kPlacementTouch) {
      ASSERT_GE(p.arm, 1);
      ASSERT_LE(p.arm, 6);
      EXPECT_LE(std::fabs(c.value[p.arm]), kTol);
      EXPECT_GE(c.min(), -kTol);
    } else {
      EXPECT_GT(c.min(), kTol);
    }
    double dist = 0;
    for (int i = 1; i <= 7; i++) dist += std::fabs(wrapped(p.q[i] - initial()[i]));
    EXPECT_NEAR(p.distanceFromInitial, dist, 1e-12);
    if (k > 0) {
      const PlacementPose& o = r.poses[k - 1];
      EXPECT_TRUE(o.kind == kPlacementTouch || p.kind == kPlacementClear) << "touching first";
      if (o.kind == p.kind) {
        EXPECT_LE(o.distanceFromInitial, p.distanceFromInitial);
      }
    }
  }
}

// A scene built around a known touching pose: random joints, the goal at their work pose, the
// edge placed 0.1 beside a random point of one arm, on the side away from the wall, so that arm
// touches while every other arm clears by 1e-3 and none passes through the wall. Arms 2..5 are
// chosen: the touch of arm 1 or 6 is no isolated pose. Arm 6 and, in types 1 and 2, arm 1 do
// not move along the family (fixed by the goal; joint 2 on the free joint's axis); arm 1 of
// types 3 and 4 turns in the plane y = 0 about joint 1's y axis, so an edge 0.1 beside it (the
// edge this construction puts there) touches it over a whole range of the free joint. Returns
// false for a draw that does not give such a scene.
bool touch_scene(std::mt19937& rng, int type, double q[kJointSlots], int& arm, double& along) {
  std::uniform_int_distribution<int> arms(2, 5);
  std::uniform_real_distribution<double> place(0.1, 0.9), drop(0.05, 1.0);
  set_scene(type, {0, 0, 0}, {{1, 0, 0, 0, 1, 0, 0, 0, 1}}, {0, 0, 0});
  random_pose(rng, 7, q);
  goal_from(q);
  arm = arms(rng);
  const double s = place(rng), below = drop(rng);
  const judge::Pose f = judge::fk(sc.robot, q);
  const P a = f.joint[arm], d = f.joint[arm + 1] - a, onArm = a + s * d;
  const double h = std::hypot(d.x, d.y);
  if (h < 0.05 * norm(d)) return false;  // nearly vertical: no clean side contact
  P n = {d.y / h, -d.x / h, 0};
  if (n.x > 0) n = -1.0 * n;  // the edge on the -x side of the arm: the arm on the free side
  const P edge = onArm + kRadius * n;
  sc.cell.rh = {edge.x, edge.y, onArm.z - below};
  along = s * norm(d);
  const OwnClearance c = own_clearance(f, sc.cell.rh);
  if (c.anyCrossing() || std::fabs(c.value[arm]) > 1e-12) return false;
  for (int m = 1; m <= 6; m++)
    if (m != arm && c.value[m] < 1e-3) return false;
  // The pose must be free of the whole workcell (plate face, floor, hand, workpiece) too.
  return judge::judge_pose(sc.robot, sc.cell.rh, q).valid();
}

double pose_gap(const double a[], const double b[]) {
  double worst = 0;
  for (int i = 1; i <= 7; i++) worst = std::fmax(worst, std::fabs(wrapped(a[i] - b[i])));
  return worst;
}

// ---- Clearance --------------------------------------------------------------------------------

// segment_edge_clearance against the independent distance and plate crossing, on random segments
// around random edges (many crossing, many passing below rh); catches a wrong region of the
// convex minimisation or a wrong crossing side.
TEST(Clearance, SegmentAgreesWithIndependentDistance) {
  const unsigned seed = 1301;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> coord(-2, 2);
  int crossings = 0, below = 0;
  for (int trial = 0; trial < 20000; trial++) {
    const Vec3 a = {coord(rng), coord(rng), coord(rng)}, b = {coord(rng), coord(rng), coord(rng)};
    const Vec3 rh = {coord(rng), coord(rng), coord(rng)};
    SegmentClearance got;
    segment_edge_clearance(a, b, rh, kRadius, got);
    const P top = of(rh) + P{0, 0, kEdgeTop};
    double want = judge::segment_distance(of(a), of(b), of(rh), top) - kRadius;
    const double ya = a.y - rh.y, yb = b.y - rh.y;
    bool crossing = false;
    if (ya * yb <= 0 && ya != yb) {
      const P x = of(a) + (ya / (ya - yb)) * (of(b) - of(a));
      if (x.x <= rh.x && x.z >= rh.z) crossing = true, want = -(kRadius + rh.x - x.x);
    }
    crossings += crossing;
    below += !crossing && got.height == 0;
    ASSERT_EQ(got.crossing, crossing ? 1 : 0) << "seed " << seed << " trial " << trial;
    ASSERT_NEAR(got.value, want, 1e-12) << "seed " << seed << " trial " << trial;
  }
  EXPECT_GT(crossings, 1000);
  EXPECT_GT(below, 1000);
}

// ---- The solver -------------------------------------------------------------------------------

// The start-up scene of every type has a touching solution, and every listed pose is sound.
TEST(Placement, DefaultScenesTouch) {
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(testing::Message() << "type " << type);
    default_scene(type);
    static PlacementResult r;
    EXPECT_EQ(solve(r), kPlacementFound);
    EXPECT_GE(r.touchCount, 1);
    EXPECT_EQ(r.dropped, 0);
    EXPECT_EQ(r.truncated, 0);
    expect_sound(r);
  }
}

// Completeness and soundness: for seeded scenes built around a known touching pose, the solver
// lists that pose (every joint within 1e-8, modulo a turn), touching on the known arm at the
// known place; every pose listed is sound. A missing pose names its seed, type and scene.
TEST(Placement, ListsEveryConstructedTouch) {
  const unsigned seed = 1302;
  std::mt19937 rng(seed);
  for (int type = 1; type <= 4; type++) {
    int scenes = 0, draws = 0, missed = 0;
    while (scenes < 30 && draws < 2000) {
      double q[kJointSlots];
      int arm;
      double along;
      draws++;
      if (!touch_scene(rng, type, q, arm, along)) continue;
      scenes++;
      SCOPED_TRACE(testing::Message() << "seed " << seed << " type " << type << " draw " << draws);
      static PlacementResult r;
      ASSERT_EQ(solve(r), kPlacementFound);
      expect_sound(r);
      int hit = -1;
      for (int k = 0; k < r.count; k++)
        if (r.poses[k].kind == kPlacementTouch && pose_gap(r.poses[k].q, q) <= 1e-8) hit = k;
      if (hit < 0) {
        missed++;
        ADD_FAILURE() << "known touching pose not listed (" << r.touchCount << " touching)";
        continue;
      }
      EXPECT_EQ(r.poses[hit].arm, arm);
      EXPECT_EQ(r.poses[hit].place, kContactInside);
      EXPECT_NEAR(r.poses[hit].contactAlong, along, 1e-6);
    }
    EXPECT_EQ(scenes, 30) << "type " << type << ": too few scenes after " << draws << " draws";
    EXPECT_EQ(missed, 0) << "type " << type;
  }
}

// Soundness over seeded random reachable scenes with random walls (the goal is a random pose's
// work pose; the edge anywhere around the robot, also off the floor).
TEST(Placement, EveryListedPoseIsSound) {
  const unsigned seed = 1303;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1.5, 1.5), y(0.3, 2.5), z(-0.5, 1.5);
  int found = 0;
  for (int type = 1; type <= 4; type++) {
    for (int scene = 0; scene < 25; scene++) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << " type " << type << " scene " << scene);
      set_scene(type, {0, 0, 0}, {{1, 0, 0, 0, 1, 0, 0, 0, 1}}, {x(rng), y(rng), z(rng)});
      double q[kJointSlots];
      random_pose(rng, 7, q);
      goal_from(q);
      static PlacementResult r;
      const PlacementStatus status = solve(r);
      EXPECT_TRUE(status == kPlacementFound || status == kPlacementWallCutsAll ||
                  status == kPlacementWorkpieceCuts)
          << status;
      found += status == kPlacementFound;
      EXPECT_EQ(r.dropped, 0);
      expect_sound(r);
    }
  }
  EXPECT_GT(found, 50);
}

// A goal beyond every arm's reach: no positioned pose for any value of the free joint.
TEST(Placement, GoalOutOfReach) {
  for (int type = 1; type <= 4; type++) {
    default_scene(type);
    sc.cell.rwG = {5, 5, 0.1};
    static PlacementResult r;
    EXPECT_EQ(solve(r), kPlacementOutOfReach) << type;
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.positionedSamples, 0);
    EXPECT_STRNE(placement_status_text(r.status), placement_status_text(kPlacementWallCutsAll));
  }
}

// Positioned, oriented poses of the scene at `samples` values of the free joint (pinv4's and
// oinv2's candidates, each checked here by its own work pose), with the largest least clearance
// the independent judge gives any of them.
double best_judged_clearance(int samples, int& positioned) {
  double best = -INFINITY;
  positioned = 0;
  for (int j = 0; j < samples; j++) {
    double q[kJointSlots];
    for (int i = 0; i < kJointSlots; i++) q[i] = i <= 7 ? initial()[i] : 0;
    q[sc.robot.Lcont] = -PI + 2 * PI * (j + 0.5) / samples;
    double cand[4][kJointSlots];
    const int n = pinv4(sc.robot, q, sc.robot.posJoints[0], sc.robot.posJoints[1],
                        sc.robot.posJoints[2], sc.robot.rwLoc, sc.cell.rwG, sc.cell.EwG, cand);
    for (int k = 0; k < n; k++) {
      double wrists[2][kJointSlots];
      const int m = oinv2(sc.robot, cand[k], sc.robot.EwLoc, sc.cell.EwG, wrists);
      for (int w = 0; w < m; w++) {
        const judge::Pose f = judge::fk(sc.robot, wrists[w]);
        if (norm(f.work - of(sc.cell.rwG)) > 1e-6) continue;
        const judge::Verdict v = judge::judge_pose(sc.robot, sc.cell.rh, wrists[w]);
        best = std::fmax(best, std::fmin(v.wall, v.floor));
        positioned++;
      }
    }
  }
  return best;
}

// Walls that every pose cuts, judged independently. One edge 0.05 beside the goal: the workpiece
// there cuts the plate, so no pose is sought at all. One plate 0.05 beside the base column (in
// types 1 and 2 joint 1's axis, in types 3 and 4 the plane arm 1 turns in): every pose cuts in at
// least that much, and the reported depth is never more than the least any pose the test
// samples cuts in.
TEST(Placement, WallThatEveryPoseCuts) {
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(testing::Message() << "type " << type);
    default_scene(type);
    sc.cell.rh = {-0.6 + 0.05, 2.2, 0};
    static PlacementResult r;
    EXPECT_EQ(solve(r), kPlacementWorkpieceCuts);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.where.wallBody, kBodyWorkpiece);
    EXPECT_GT(r.smallestDepth, 0.05);
    const judge::Plate plate = judge::plate_of(sc.cell.rh);
    judge::Pose at = {};
    at.work = judge::of(sc.cell.rwG);
    at.Ew = judge::of(sc.cell.EwG);
    const judge::Box box = judge::work_box(sc.robot, at);
    EXPECT_EQ(judge::box_plate(box, plate), 0);
    EXPECT_GE(judge::box_overlap_bound(box, plate), r.smallestDepth - 1e-12);

    sc.cell.rh = {2, 0.05, 0};
    EXPECT_EQ(solve(r), kPlacementWallCutsAll);
    EXPECT_GE(r.smallestDepth, 0.05 - 1e-12);
    int positioned;
    const double best = best_judged_clearance(720, positioned);
    EXPECT_GT(positioned, 0);
    EXPECT_LE(best, -r.smallestDepth + 1e-9);
  }
}

// A goal on the free joint's axis (types 1, 2: joint 1 turns the whole arm about it) is reached
// for every value of it; with the wall far away each branch is one clear family a whole turn
// wide, however the sweep's seam cuts it.
TEST(Placement, BranchClearAllRoundIsOneFamily) {
  for (int type = 1; type <= 2; type++) {
    SCOPED_TRACE(testing::Message() << "type " << type);
    set_scene(type, {0, 0, 2.5}, {{1, 0, 0, 0, -1, 0, 0, 0, -1}}, {0, 30, 0});
    static PlacementResult r;
    ASSERT_EQ(solve(r), kPlacementFound);
    EXPECT_EQ(r.touchCount, 0);
    EXPECT_GE(r.clearCount, 2);
    for (int k = 0; k < r.count; k++)
      EXPECT_NEAR(r.poses[k].thetaHi - r.poses[k].thetaLo, 2 * PI, 1e-12);
    expect_sound(r);
  }
}

// Bad input is refused before anything is solved; a model the solver does not handle likewise.
TEST(Placement, RefusesBadInput) {
  default_scene(1);
  static PlacementResult r;
  EXPECT_EQ(solve(r, 3), kPlacementBadInput);
  sc.cell.rwG.x = NAN;
  EXPECT_EQ(solve(r), kPlacementBadInput);
  default_scene(1);
  sc.cell.rh.z = INFINITY;
  EXPECT_EQ(solve(r), kPlacementBadInput);
  default_scene(1);
  sc.cell.EwG.m[0] = 2;  // no rotation
  EXPECT_EQ(solve(r), kPlacementBadInput);
  EXPECT_EQ(r.count, 0);
  default_scene(1);
  sc.robot.wristChar = 'P';
  EXPECT_EQ(solve(r), kPlacementUnsupported);
}

// Equal input, equal output: solved again, solved after another scene (no state carried over),
// and solved from copies of the model and the workcell.
TEST(Placement, Repeatable) {
  static PlacementResult a, b, c;
  default_scene(3);
  solve(a);
  default_scene(1);
  solve(b);
  default_scene(3);
  solve(b);
  ASSERT_EQ(a.count, b.count);
  EXPECT_EQ(std::memcmp(a.poses, b.poses, sizeof(PlacementPose) * a.count), 0);
  const RobotModel model = sc.robot;
  const Workcell work = sc.cell;
  placement_solve(model, work, model.qInit, PlacementOptions(), c);
  ASSERT_EQ(c.count, a.count);
  EXPECT_EQ(std::memcmp(a.poses, c.poses, sizeof(PlacementPose) * a.count), 0);
}

}  // namespace
