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
// The judge's bounds are sound on either side, so no margin is added. The planner's yes/no form
// (motion_verdict) is held to the same samples, and may differ from the full check only rarely
// (its steps differ near the band's limit). Catches a step bound too small for some robot point's
// speed, an advance past the end, a collision reported at a free pose, a pair the verdict stops
// watching too soon, and a step bound grown loose (poses a motion).
TEST(MotionCheck, AgreesWithDenseIndependentSamples) {
  const unsigned seed = 4101;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1, 1), y(0.5, 3.5), z(-0.5, 0.5);
  static Scene s;
  int free = 0, colliding = 0, touchingEnds = 0, trials = 0, differ = 0;
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
    MotionVerdict v;
    const int verdict = motion_verdict(s.robot, s.cell, q0, q1, s.kin, v);
    checked += m.poses;
    differ += verdict != collides;
    trials++;
    if (collides && verdict) {
      colliding++;
      // The verdict's last free pose, which a planner may keep, is valid by the judge.
      if (v.lastFree >= 0) {
        pose_at(s.robot.N, q0, q1, v.lastFree, q);
        ASSERT_GE(judge_at(s, q).least.hi, -kWorkcellTolerance) << "lastFree " << v.lastFree;
      }
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
      "[ MOTION   ] %d free (%d ending within 1e-6 of contact), %d colliding, %d where the "
      "verdict differs; %ld poses checked, %ld judged; least judged clearance on a free motion "
      "%.3g\n",
      free, touchingEnds, colliding, differ, checked, samples, leastFree);
  EXPECT_LE(differ, trials / 50);
  EXPECT_GT(free, 60 / kSlowdown);
  EXPECT_GT(colliding, 60 / kSlowdown);
  EXPECT_GT(touchingEnds, 10 / kSlowdown);
  // The step bound follows each body closely: about 9 poses a motion here, where one constant
  // reach bound for the whole robot took 84. A looser bound is still sound but shows here.
  EXPECT_LT(checked, 12L * trials);
}

// Edge cases of the input: a joint value that is no number at either end, or a box that is no
// number (even where no body moves), collides at once in both forms of the check; a motion of
// length zero reports that pose's validity (by the judge: one free, one cut); a motion starting
// inside the plate collides at 0.
TEST(MotionCheck, NanAndZeroLengthMotions) {
  static Scene s;
  robot_setup(1, s.robot);
  s.kin = Kinematics(s.robot);
  s.cell.rh = {2, 30, 0};  // far away
  double q0[kJointSlots] = {}, q1[kJointSlots] = {};
  MotionCheck m;
  MotionVerdict v;
  for (int end = 0; end < 2; end++) {
    (end ? q1 : q0)[3] = NAN;
    EXPECT_EQ(motion_check(s.robot, s.cell, q0, q1, s.kin, m), 1) << "NaN at end " << end;
    EXPECT_EQ(m.firstCollision, 0);
    EXPECT_EQ(motion_verdict(s.robot, s.cell, q0, q1, s.kin, v), 1) << "NaN at end " << end;
    (end ? q1 : q0)[3] = 0;
  }
  // A box that is no number, and a motion that moves no body: nothing certifies.
  s.cell.obstacleCount = 1;
  s.cell.obstacles[0] = {"nan", {0.1, 0.1, 0.1}, {NAN, 5, 0}, {{1, 0, 0, 0, 1, 0, 0, 0, 1}}};
  EXPECT_EQ(motion_check(s.robot, s.cell, q0, q0, s.kin, m), 1);
  EXPECT_EQ(motion_verdict(s.robot, s.cell, q0, q0, s.kin, v), 1);
  s.cell.obstacleCount = 0;
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
// band; a motion called colliding stops where the judge finds the band reached. The same for
// motion_verdict's free motions. Catches a box
// left out of the step, a lower bound used as a clearance where it is none, a parting plane
// that does not part (a wrong support or direction), and a box clearance left out of minObstacle.
TEST(MotionCheck, BoxesAgreeWithDenseJudgedSamples) {
  const unsigned seed = 4102;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1, 1);
  static Scene s;
  int free = 0, colliding = 0, grazing = 0, collidingOnBox = 0, differ = 0;
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
    MotionVerdict v;
    const int verdict = motion_verdict(s.robot, s.cell, q0, q1, s.kin, v);
    differ += verdict != collides;
    EXPECT_LE(m.minObstacle, m.worst.obstacle);
    if (collides && verdict) {
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
      "[ BOXES    ] %d free (%d within 1e-3 of a box), %d colliding (%d on a box), %d where the "
      "verdict differs; %ld poses judged\n",
      free, grazing, colliding, collidingOnBox, differ, samples);
  EXPECT_LE(differ, 600 / kSlowdown / 50);
  EXPECT_GT(free, 100 / kSlowdown);
  EXPECT_GT(grazing, 30 / kSlowdown);
  EXPECT_GT(collidingOnBox, 50 / kSlowdown);
}

// Body k's corner points in the judge's pose f: a tube's two ends, or the workpiece's corners.
int corner_points(const RobotModel& robot, const Pose& f, int k, P corner[8]) {
  if (k == kBodyWorkpiece) {
    corners(work_box(robot, f), corner);
    return 8;
  }
  tube_ends(f, k, corner[0], corner[1]);
  return 2;
}

// Body k's corner paths at fraction t of the motion q0..q1, by the judge's kinematics and central
// differences over dt: the largest speed |p'| and height rate |z'|, and the largest |p''| and
// |z''|, over its corners, per unit of t.
struct CornerRates {
  double speed, rise, acc, riseAcc;
};
CornerRates corner_rates(const RobotModel& robot, const double q0[], const double q1[], double t,
                         double dt, int k) {
  P c[3][8];
  int n = 0;
  for (int s = 0; s < 3; s++) {
    double q[kJointSlots];
    pose_at(robot.N, q0, q1, t + (s - 1) * dt, q);
    n = corner_points(robot, fk(robot, q), k, c[s]);
  }
  CornerRates r = {0, 0, 0, 0};
  for (int i = 0; i < n; i++) {
    const P v = (0.5 / dt) * (c[2][i] - c[0][i]);
    const P a = (1 / (dt * dt)) * ((c[2][i] - c[1][i]) - (c[1][i] - c[0][i]));
    r.speed = std::fmax(r.speed, norm(v)), r.rise = std::fmax(r.rise, std::fabs(v.z));
    r.acc = std::fmax(r.acc, norm(a)), r.riseAcc = std::fmax(r.riseAcc, std::fabs(a.z));
  }
  return r;
}

// The bounds each body's steps rest on, at random poses of seeded motions of every type (short,
// long, ending in contact, dipping into the plate or the floor, one joint from a touching pose,
// and two or three joints turned far, whose turning axes carry one another), against the
// corners' paths differenced numerically with the judge's kinematics: no corner moves faster
// than A less the tube's radius per unit of the moving joints' rates, nor rises or sinks faster
// than the floor's A; no corner accelerates beyond either check's bound (heights beyond the
// floor's); and A and the
// floor's A grow no faster than B and floorB over a short stretch. Catches a term left out of a
// bound (the turning axes, a joint, a body's reach), a floor bound that drops a joint that
// changes heights.
TEST(MotionCheck, BodyBoundsHoldAgainstCornerPaths) {
  const unsigned seed = 4103;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1, 1), y(0.5, 3.5), z(-0.5, 0.5), unit(0, 1),
      far(-2 * PI, 2 * PI);
  static Scene s;
  constexpr int kSamples = 12;
  constexpr double kGrowthSpan = 1e-3;
  double speedRatio = 0, accRatio = 0, verdictAccRatio = 0, growthRatio = 0;
  for (int trial = 0; trial < 360 / kSlowdown; trial++) {
    const int type = 1 + trial % kRobotTypes, kind = trial / kRobotTypes % 6;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " trial " << trial << " type " << type << " kind " << kind);
    robot_setup(type, s.robot);
    s.kin = Kinematics(s.robot);
    s.cell.rh = {x(rng), y(rng), z(rng)};
    const int N = s.robot.N;
    double q0[kJointSlots], q1[kJointSlots], q[kJointSlots];
    random_motion(rng, s, kind % 5, q0, q1);
    if (kind == 5) {
      for (int i = 1; i <= N; i++) q1[i] = q0[i];
      for (int turned = 0; turned < 2 + trial % 2; turned++)
        q1[std::uniform_int_distribution<int>(1, N)(rng)] += far(rng);
    }
    // Joint 1 turning about the vertical changes no height.
    forward_kinematics(s.robot, q0, s.kin);
    const bool verticalBase = std::fabs(s.kin.E[1].m[2]) + std::fabs(s.kin.E[1].m[5]) < 1e-12;
    double rate[kJointSlots] = {}, floorRate[kJointSlots] = {}, total = 0;
    for (int i = 1; i <= N; i++) {
      rate[i] = floorRate[i] = std::fabs(q1[i] - q0[i]);
      total += rate[i];
    }
    if (verticalBase) floorRate[1] = 0;
    // Steps small enough that the differences' error stays near 1e-9 of the bounds.
    const double dt = 1e-4 / std::fmax(1, total);
    for (int sample = 0; sample < kSamples; sample++) {
      const double t =
          std::fmin(1 - kGrowthSpan - dt, std::fmax(dt, (sample + unit(rng)) / kSamples));
      pose_at(N, q0, q1, t, q);
      forward_kinematics(s.robot, q, s.kin);
      BodyMotionBound b[kBodySlots], later[kBodySlots];
      for (int k = 1; k < kBodySlots; k++)
        motion_body_bound(s.robot, s.cell, q0, q1, s.kin, k, b[k]);
      pose_at(N, q0, q1, t + kGrowthSpan, q);
      forward_kinematics(s.robot, q, s.kin);
      for (int k = 1; k < kBodySlots; k++)
        motion_body_bound(s.robot, s.cell, q0, q1, s.kin, k, later[k]);
      for (int k = 1; k < kBodySlots; k++) {
        SCOPED_TRACE(testing::Message() << "t " << t << " body " << k);
        const int last = k < N ? k : N;
        double sum = 0, floorSum = 0;
        for (int i = 1; i <= last; i++) sum += rate[i], floorSum += floorRate[i];
        // A holds for every point of the body; a tube's ends lie its radius inside that reach.
        const double beyond = k == kBodyWorkpiece ? 0 : s.robot.linkRadius;
        const CornerRates d = corner_rates(s.robot, q0, q1, t, dt, k);
        EXPECT_LE(d.speed, (b[k].A - beyond * sum) * (1 + 1e-6) + 1e-9);
        EXPECT_LE(d.rise, (b[k].floorA - beyond * floorSum) * (1 + 1e-6) + 1e-9);
        EXPECT_LE(d.acc, b[k].acc * (1 + 1e-5) + 1e-9);
        EXPECT_LE(d.riseAcc, b[k].floorAcc * (1 + 1e-5) + 1e-9);
        EXPECT_LE(d.acc, b[k].verdictAcc * (1 + 1e-5) + 1e-9);
        EXPECT_LE(d.riseAcc, b[k].floorVerdictAcc * (1 + 1e-5) + 1e-9);
        EXPECT_LE(later[k].A - b[k].A, b[k].B * kGrowthSpan + 1e-12);
        EXPECT_LE(later[k].floorA - b[k].floorA, b[k].floorB * kGrowthSpan + 1e-12);
        if (b[k].A > 0) speedRatio = std::fmax(speedRatio, d.speed / (b[k].A - beyond * sum));
        if (b[k].acc > 0) accRatio = std::fmax(accRatio, d.acc / b[k].acc);
        if (b[k].verdictAcc > 0)
          verdictAccRatio = std::fmax(verdictAccRatio, d.acc / b[k].verdictAcc);
        if (b[k].B > 0)
          growthRatio = std::fmax(growthRatio, (later[k].A - b[k].A) / (b[k].B * kGrowthSpan));
      }
    }
  }
  std::printf(
      "[ BOUNDS   ] largest share of a bound used: speed %.6f, acceleration %.3f (the verdict's "
      "%.3f), growth %.3f\n",
      speedRatio, accRatio, verdictAccRatio, growthRatio);
  // A is reached exactly where one joint turns a tube's far end; the others have room.
  EXPECT_GT(speedRatio, 0.999);
}

// Type 1 turned a quarter about its base, so that joint 6 turns about the world's y axis, with
// the wall's plate behind the hand (its face at y, z from 2.5 up): every point joint 6 moves
// keeps its distance from the plate. Sets the scene and q0; returns the least y of the bodies
// joint 6 moves (arm 6, the hand, the workpiece), by the judge's kinematics.
double scene_beside_plate(Scene& s, double q0[]) {
  robot_setup(1, s.robot);
  s.kin = Kinematics(s.robot);
  for (int i = 0; i < kJointSlots; i++) q0[i] = 0;
  q0[1] = PI / 2;
  const Pose f = fk(s.robot, q0);
  double least = INFINITY;
  P c[8];
  for (int k = 6; k < kBodySlots; k++) {
    const int n = corner_points(s.robot, f, k, c);
    const double beyond = k == kBodyWorkpiece ? 0 : s.robot.linkRadius;
    for (int i = 0; i < n; i++) least = std::fmin(least, c[i].y - beyond);
  }
  return least;
}

// A motion that slides along the plate inside the contact band (joint 6 turned 120 rad with the
// workpiece 1e-5 - 2e-7 into the plate, valid all along by the judge) cannot be certified in
// steps larger than the band allows: the check gives up at exactly kMotionMaxPoses poses and
// calls it colliding, at a pose that does not cut. The same turn of 3 whole turns 1e-4 clear of
// the plate needs hundreds of poses and is certified free, and dense samples 0.002 rad apart
// find no pose the judge calls cutting. Catches a pose budget not kept (or kept one pose late),
// a budget or step that gives up on a free motion, a step that passes a collision in a long
// motion.
TEST(MotionCheck, PoseBudgetAlongThePlate) {
  static Scene s;
  double q0[kJointSlots], q1[kJointSlots], q[kJointSlots];
  const double least = scene_beside_plate(s, q0);
  for (int i = 0; i < kJointSlots; i++) q1[i] = q0[i];
  const double inside = -kWorkcellTolerance + 2 * kMotionMinAdvance;
  s.cell = {};
  s.cell.rh = {2, least - inside, 2.5};
  q1[6] = 120;
  MotionCheck m;
  EXPECT_EQ(motion_check(s.robot, s.cell, q0, q1, s.kin, m), 1);
  EXPECT_EQ(m.poses, kMotionMaxPoses);
  EXPECT_GT(m.firstCollision, 0);
  EXPECT_LT(m.firstCollision, 1);
  EXPECT_GE(m.worst.least, -kWorkcellTolerance + kMotionMinAdvance);
  EXPECT_EQ(m.lastFree, -1);  // every pose within the band, none clear of contact
  for (int k = 0; k <= 12000; k++) {
    pose_at(s.robot.N, q0, q1, k / 12000.0, q);
    const Verdict v = judge_pose(s.robot, s.cell, q);
    ASSERT_NEAR(v.wall, inside, 1e-9) << "sample " << k;
    ASSERT_TRUE(v.valid()) << "sample " << k;
  }

  s.cell.rh.y = least - 1e-4;
  q1[6] = 6 * PI;
  EXPECT_EQ(motion_check(s.robot, s.cell, q0, q1, s.kin, m), 0);
  EXPECT_GT(m.poses, 300);
  EXPECT_NEAR(m.minWall, 1e-4, 1e-9);
  const int n = static_cast<int>(std::ceil(q1[6] / 0.002));
  for (int k = 0; k <= n; k++) {
    pose_at(s.robot.N, q0, q1, k == n ? 1.0 : static_cast<double>(k) / n, q);
    ASSERT_TRUE(valid_pose(s.robot, s.cell, q)) << "sample " << k << " of " << n;
  }
  std::printf("[ BUDGET   ] a free turn along the plate in %ld poses\n", m.poses);
}

}  // namespace
