// The certified motion check (collision/motion_check.h) against dense samples of each motion,
// judged by collision_support.h: a certified motion has no sampled pose the judge proves to
// cut in, and a reported collision lies where the judge allows one.
#include "collision/motion_check.h"

#include <random>

#include "collision_support.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "workcell_judge.h"

namespace {

using namespace judge;

constexpr double kStep = 2e-3;         // the judge's sample spacing (model units)
constexpr double kAngleStep = 1e-3;    // dense sampling: the largest joint change per sample
constexpr double kRefineAbove = 0.02;  // bodies clearly farther are judged by their centres

struct Scene {
  RobotModel robot;
  Workcell cell = {};
  Kinematics kin;
};

PoseJudge judge_at(Scene& s, const double q[]) {
  forward_kinematics(s.robot, q, s.kin);
  return judge_pose(s.robot.N, s.kin, s.robot.linkRadius, s.robot.workSize, s.cell.rh, kStep,
                    kRefineAbove);
}

// The pose at fraction t of the motion q0..q1 (q1 itself at t = 1).
void pose_at(int N, const double q0[], const double q1[], double t, double q[]) {
  for (int i = 0; i < kJointSlots; i++) q[i] = 0;
  for (int i = 1; i <= N; i++) q[i] = t == 1 ? q1[i] : q0[i] + t * (q1[i] - q0[i]);
}

// A motion of one of five kinds: short (joints within 0.05), long (two random poses), ending
// where the clearance meets zero, dipping into the plate or the floor between two free poses
// (at most 5e-3 deep where it is placed), or turning one joint alone from a nearly touching pose.
// With aimAtBox the far end is drawn (up to 100 times) until it cuts a box but neither floor nor
// plate, so that the touch or dip it leads to is a box's. The routine under test only places the
// poses (bisection on its clearance); the judge still decides.
void random_motion(std::mt19937& rng, Scene& s, int kind, double q0[], double q1[],
                   bool aimAtBox = false) {
  std::uniform_real_distribution<double> small(-0.05, 0.05), dip(1e-4, 5e-3);
  std::normal_distribution<double> normal;
  WorkcellClearance c;
  auto clear = [&](const double q[], double least) {
    return pose_check(s.robot, s.cell, q, s.kin, c) && c.least >= least;
  };
  do random_pose(rng, s.robot.N, q0);
  while (!clear(q0, -kWorkcellTolerance));
  random_pose(rng, s.robot.N, q1);
  for (int tries = 0; aimAtBox && kind >= 2 && tries < 100; tries++) {
    pose_check(s.robot, s.cell, q1, s.kin, c);
    if (c.obstacle < 0 && c.floor >= 0 && c.wall >= 0) break;
    random_pose(rng, s.robot.N, q1);
  }
  if (kind == 0)
    for (int i = 1; i <= s.robot.N; i++) q1[i] = q0[i] + small(rng);
  // One joint alone: only its own reach bounds a step.
  auto one_joint = [&]() {
    const int joint = std::uniform_int_distribution<int>(1, s.robot.N)(rng);
    for (int i = 1; i <= s.robot.N; i++) q1[i] = q0[i];
    q1[joint] += std::uniform_real_distribution<double>(-PI, PI)(rng);
  };
  if (kind < 2) return;
  if (clear(q1, -kWorkcellTolerance)) {
    if (kind == 4) one_joint();
    return;
  }
  // Kind 3 stops just beyond depth `depth`; kind 4 starts a little short of contact, as a motion
  // kept touching all along (say a wrist turn beside a touching arm) costs the check
  // speed / 1e-5 poses.
  const double depth = kind == 3 ? dip(rng) : kind == 4 ? -dip(rng) : 0;
  double lo = 0, hi = 1, q[kJointSlots];
  while (hi - lo > 1e-15) {
    const double mid = 0.5 * (lo + hi);
    pose_at(s.robot.N, q0, q1, mid, q);
    (clear(q, -depth) ? lo : hi) = mid;
  }
  pose_at(s.robot.N, q0, q1, kind == 3 ? hi : lo, q);
  for (int i = 1; i <= s.robot.N; i++) q1[i] = q[i];
  if (kind == 2) return;
  if (kind == 4) {  // from the nearly touching pose
    for (int i = 1; i <= s.robot.N; i++) q0[i] = q1[i];
    one_joint();
    return;
  }
  // Through the dip along a random direction, out to the nearest free poses on both sides.
  double d[kJointSlots] = {}, norm = 0;
  for (int i = 1; i <= s.robot.N; i++) d[i] = normal(rng), norm += d[i] * d[i];
  for (int i = 1; i <= s.robot.N; i++) d[i] *= 0.01 / std::sqrt(norm);
  for (double side : {-1.0, 1.0}) {
    double* end = side < 0 ? q0 : q1;
    for (int k = 1; k <= 100; k++) {
      for (int i = 1; i <= s.robot.N; i++) end[i] = q[i] + side * k * d[i];
      if (clear(end, -kWorkcellTolerance)) break;
    }
  }
}

// Over seeded motions of all four types against random walls: a motion called free has no pose,
// sampled at most 1e-3 rad apart in the largest joint change, whose judged clearance is proved
// below -1e-5 (the judge's upper bound is below it); a motion called colliding at t has a pose
// there whose judged lower bound lies within the band the check may stop at (-1e-5 + 1e-7).
// The judge's bounds are sound on either side, so no margin is added. Catches a step bound too
// small for some robot point's speed, an advance past the end, a collision reported at a free
// pose, and a step bound grown loose (poses a motion).
TEST(MotionCheck, AgreesWithDenseIndependentSamples) {
  const unsigned seed = 4101;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1, 1), y(0.5, 3.5), z(-0.5, 0.5);
  static Scene s;
  int free = 0, colliding = 0, touchingEnds = 0, trials = 0;
  long samples = 0, checked = 0;
  double leastFree = INFINITY;
  for (int trial = 0; trial < 800 / kSlowdown; trial++) {
    const int type = 1 + trial % kRobotTypes, kind = trial / kRobotTypes % 5;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " trial " << trial << " type " << type << " kind " << kind);
    robot_setup(type, s.robot);
    s.kin = Kinematics(s.robot);
    s.cell.rh = {x(rng), y(rng), z(rng)};
    double q0[kJointSlots], q1[kJointSlots], q[kJointSlots];
    random_motion(rng, s, kind, q0, q1);
    MotionCheck m;
    const int collides = motion_check(s.robot, s.cell, q0, q1, s.kin, m);
    checked += m.poses;
    trials++;
    if (collides) {
      colliding++;
      ASSERT_GE(m.firstCollision, 0);
      ASSERT_LE(m.firstCollision, 1);
      pose_at(s.robot.N, q0, q1, m.firstCollision, q);
      forward_kinematics(s.robot, q, s.kin);
      const PoseJudge j =
          judge_pose(s.robot.N, s.kin, s.robot.linkRadius, s.robot.workSize, s.cell.rh, kStep);
      EXPECT_LE(j.least.lo, -kWorkcellTolerance + kMotionMinAdvance + 1e-12)
          << "collision reported at t = " << m.firstCollision;
      continue;
    }
    free++;
    double largest = 0;
    for (int i = 1; i <= s.robot.N; i++) largest = std::fmax(largest, std::fabs(q1[i] - q0[i]));
    const int n = std::max(1, static_cast<int>(std::ceil(largest / kAngleStep)));
    for (int k = 0; k <= n; k++) {
      pose_at(s.robot.N, q0, q1, k == n ? 1.0 : static_cast<double>(k) / n, q);
      const PoseJudge j = judge_at(s, q);
      leastFree = std::fmin(leastFree, j.least.hi);
      ASSERT_GE(j.least.hi, -kWorkcellTolerance) << "sample " << k << " of " << n;
    }
    samples += n + 1;
    WorkcellClearance end;
    pose_check(s.robot, s.cell, q1, s.kin, end);
    touchingEnds += end.least < 1e-6;
  }
  std::printf(
      "[ MOTION   ] %d free (%d ending within 1e-6 of contact), %d colliding; %ld poses "
      "checked, %ld judged; least judged clearance on a free motion %.3g\n",
      free, touchingEnds, colliding, checked, samples, leastFree);
  EXPECT_GT(free, 60 / kSlowdown);
  EXPECT_GT(colliding, 60 / kSlowdown);
  EXPECT_GT(touchingEnds, 10 / kSlowdown);
  // The step bound follows each body closely: about 9 poses a motion here, where one constant
  // reach bound for the whole robot took 84. A looser bound is still sound but shows here.
  EXPECT_LT(checked, 12L * trials);
}

// Edge cases of the input: a joint value that is no number at either end collides at once; a
// motion of length zero reports that pose's validity (by the judge: one free, one cut); a
// motion starting inside the plate collides at 0.
TEST(MotionCheck, NanAndZeroLengthMotions) {
  static Scene s;
  robot_setup(1, s.robot);
  s.kin = Kinematics(s.robot);
  s.cell.rh = {2, 30, 0};  // far away
  double q0[kJointSlots] = {}, q1[kJointSlots] = {};
  MotionCheck m;
  for (int end = 0; end < 2; end++) {
    (end ? q1 : q0)[3] = NAN;
    EXPECT_EQ(motion_check(s.robot, s.cell, q0, q1, s.kin, m), 1) << "NaN at end " << end;
    EXPECT_EQ(m.firstCollision, 0);
    (end ? q1 : q0)[3] = 0;
  }
  // Upright and far from the wall: free, in one pose; then the plate moved through the column.
  EXPECT_GE(judge_at(s, q0).least.lo, 0.05);
  EXPECT_EQ(motion_check(s.robot, s.cell, q0, q0, s.kin, m), 0);
  EXPECT_EQ(m.poses, 1);
  s.cell.rh = {2, 0.05, 0};
  EXPECT_LT(judge_at(s, q0).least.hi, -0.04);  // the column 0.05 into the plate
  EXPECT_EQ(motion_check(s.robot, s.cell, q0, q0, s.kin, m), 1);
  EXPECT_EQ(m.firstCollision, 0);
  q1[2] = 1;
  EXPECT_EQ(motion_check(s.robot, s.cell, q0, q1, s.kin, m), 1);
  EXPECT_EQ(m.firstCollision, 0);
}

// Seeded motions of all four types among random boxes (the plate out of reach behind them):
// short, long, ending where the clearance meets zero, dipping into a box or the floor, turning
// one joint from a nearly touching pose. A motion called free has no pose, sampled at most
// 0.002 rad apart in the largest joint change, that the workcell judge (its own kinematics,
// golden-section distances, hull depths) finds cutting a box, the floor or the plate beyond the
// band; a motion called colliding stops where the judge finds the band reached. Catches a box
// left out of the step, a lower bound used as a clearance where it is none, a parting plane
// that does not part (a wrong support or direction), and a box clearance left out of minObstacle.
TEST(MotionCheck, BoxesAgreeWithDenseJudgedSamples) {
  const unsigned seed = 4102;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1, 1);
  static Scene s;
  int free = 0, colliding = 0, grazing = 0, collidingOnBox = 0;
  long samples = 0;
  for (int trial = 0; trial < 600 / kSlowdown; trial++) {
    const int type = 1 + trial % kRobotTypes, kind = trial / kRobotTypes % 5;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " trial " << trial << " type " << type << " kind " << kind);
    robot_setup(type, s.robot);
    s.kin = Kinematics(s.robot);
    s.cell = {};
    s.cell.rh = {x(rng), 8, 0};  // beyond the robot's reach
    random_boxes(rng, 0.4, s.cell);
    double q0[kJointSlots], q1[kJointSlots], q[kJointSlots];
    random_motion(rng, s, kind, q0, q1, true);
    MotionCheck m;
    const int collides = motion_check(s.robot, s.cell, q0, q1, s.kin, m);
    EXPECT_LE(m.minObstacle, m.worst.obstacle);
    if (collides) {
      colliding++;
      pose_at(s.robot.N, q0, q1, m.firstCollision, q);
      const Verdict v = judge_pose(s.robot, s.cell, q);
      EXPECT_LE(std::fmin(std::fmin(v.wall, v.floor), v.obstacle),
                -kWorkcellTolerance + kMotionMinAdvance + 1e-9)
          << "collision reported at t = " << m.firstCollision;
      collidingOnBox += m.worst.obstacle < m.worst.wall && m.worst.obstacle < m.worst.floor;
      continue;
    }
    free++;
    WorkcellClearance end;  // the end pose, which the last step covers without evaluating it
    pose_check(s.robot, s.cell, q1, s.kin, end);
    grazing += std::fmin(m.minObstacle, end.obstacle) < 1e-3;
    double largest = 0;
    for (int i = 1; i <= s.robot.N; i++) largest = std::fmax(largest, std::fabs(q1[i] - q0[i]));
    const int n = std::max(1, static_cast<int>(std::ceil(largest / 0.002)));
    for (int k = 0; k <= n; k++) {
      pose_at(s.robot.N, q0, q1, k == n ? 1.0 : static_cast<double>(k) / n, q);
      ASSERT_TRUE(valid_pose(s.robot, s.cell, q)) << "sample " << k << " of " << n;
    }
    samples += n + 1;
  }
  std::printf(
      "[ BOXES    ] %d free (%d within 1e-3 of a box), %d colliding (%d on a box); "
      "%ld poses judged\n",
      free, grazing, colliding, collidingOnBox, samples);
  EXPECT_GT(free, 100 / kSlowdown);
  EXPECT_GT(grazing, 30 / kSlowdown);
  EXPECT_GT(collidingOnBox, 50 / kSlowdown);
}

}  // namespace
