#include "task/method_b_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "model/robot_catalogue.h"
#include "task/contact_arm_rules.h"
#include "task/workcell_setup.h"
#include "workcell_judge.h"

namespace {

using judge::P;

// Half the length of the vertical edge line the judge measures against: far beyond every arm.
constexpr double kEdgeHalfLength = 100;
// The contact classes' band: an arm this near the radius touches the edge.
constexpr double kTouchBand = 1e-5;

// How pose q stands against the edge at rh, by the judge's kinematics and closest points: the
// least gap of arms 1..6 from the vertical edge line less the link radius; the gap nearest the
// radius that the line through an arm (a touch may lie beyond the arm's ends) keeps from it; and
// whether one of arms 2..6 passes through the wall (the half-plane y = rh.y behind the edge,
// above its end).
struct EdgeVerdict {
  double leastGap = INFINITY;
  double touchMiss = INFINITY;
  bool crossing = false;
};
EdgeVerdict judge_edge(const RobotModel& robot, const Vec3& rh, const double q[]) {
  const judge::Pose f = judge::fk(robot, q);
  const P e = judge::of(rh), low = e - P{0, 0, kEdgeHalfLength},
          high = e + P{0, 0, kEdgeHalfLength};
  const double r = robot.linkRadius;
  EdgeVerdict v;
  for (int arm = 1; arm <= 6; arm++) {
    const P a = f.joint[arm], b = f.joint[arm + 1], d = b - a;
    v.leastGap = std::fmin(v.leastGap, judge::segment_distance(a, b, low, high) - r);
    // Two skew lines: their distance along the common normal d x z; an arm parallel to the edge
    // keeps its horizontal distance.
    const double h = std::hypot(d.x, d.y);
    const double lineGap = h > 1e-12 ? std::fabs(judge::dot(e - a, P{d.y, -d.x, 0}) / h)
                                     : std::hypot(a.x - e.x, a.y - e.y);
    v.touchMiss = std::fmin(v.touchMiss, std::fabs(lineGap - r));
    const double ya = a.y - e.y, yb = b.y - e.y;
    if (arm >= 2 && ya * yb <= 0 && ya != yb) {
      const P x = a + (ya / (ya - yb)) * d;
      v.crossing = v.crossing || (x.x <= e.x && x.z >= e.z);
    }
  }
  return v;
}

// L1 distance of the work point of pose q from the goal, by the judge's kinematics.
double judged_position_error(const RobotModel& robot, const Workcell& cell, const double q[]) {
  const P w = judge::fk(robot, q).work;
  return std::fabs(w.x - cell.rwG.x) + std::fabs(w.y - cell.rwG.y) + std::fabs(w.z - cell.rwG.z);
}

// A pose Method B calls final, judged on its own: the work on the goal within the position
// tolerance, no arm through the wall, none nearer the edge line than the band allows, and for a
// touch one arm's line on it.
void expect_final_pose(const RobotModel& robot, const Workcell& cell, const MethodBState& state) {
  EXPECT_LE(judged_position_error(robot, cell, state.qGoal), state.tolPos + 1e-12);
  const EdgeVerdict v = judge_edge(robot, cell.rh, state.qGoal);
  EXPECT_FALSE(v.crossing);
  EXPECT_GE(v.leastGap, -kTouchBand - 1e-9);
  if (state.sgnCONTACT == kContactTouches) {
    EXPECT_LE(v.touchMiss, kTouchBand + 1e-9);
  }
}

}  // namespace

// The step that makes Method B final leaves its result as the motion's goal: qGoal is the pose
// the step reported, not the pose it started from, and it is a final pose by
// the judge's own computation. Runs the steps as the status asks on the start-up scene of every
// type and on seeded random goals and walls; catches a step that keeps its start pose, or any
// earlier pose, as the goal.
TEST(MethodBStep, FinalStepLeavesItsPoseAsTheGoal) {
  const unsigned seed = 3107;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-2.0, 2.0), y(0.3, 2.8), z(0, 1.0), wallY(0.5, 2.5);
  static MethodBReport report;
  int finalByA = 0, finalByB = 0;
  for (int trial = 0; trial < 2000; trial++) {
    const int type = 1 + trial % 4;
    RobotModel robot;
    robot_setup(type, robot);
    Workcell cell;
    start_workcell(robot, cell);
    MethodBState state = {};
    state.Mcont = kStartupContactArm;
    if (trial >= 4) {
      // Half the goals of types 1 and 2 over the base, where turning joint 1 (their contact
      // joint) keeps the work point: there a 'b' step can end positioned and become final.
      const bool overBase = type <= 2 && trial % 8 < 4;
      const double gx = x(rng), gy = y(rng), gz = z(rng);
      cell.rwG = overBase ? goal_centre(robot, 0, 0, 3 * gz) : goal_centre(robot, gx, gy, gz);
      double LL1, LL2;
      if (!goal_reach(robot, cell.EwG, cell.rwG, LL1, LL2)) continue;
      cell.rh.y = wallY(rng);
      if (!wall_accepted(robot, cell.rh, state.Mcont)) continue;
    }
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " trial " << trial << " type " << type << " goal "
                 << cell.rwG.x << " " << cell.rwG.y << " " << cell.rwG.z << " wall " << cell.rh.y);
    guess_contact_arm(robot, cell.rh, state.Mcont);
    method_b_reset(state);
    Kinematics kin(robot);
    method_b_begin(robot, cell, kin, state, report);
    char lastKey = 'b';
    for (int step = 0; step < 200; step++) {
      const char key = method_b_next_key(state, lastKey);
      if (key == 0) break;
      if (key == 'a') {
        method_b_step_a(robot, cell, kin, state, report);
      } else {
        method_b_step_b(robot, cell, kin, state, report);
      }
      lastKey = key;
      if (!method_b_final(state)) continue;
      (key == 'a' ? finalByA : finalByB)++;
      for (int i = 1; i <= robot.N; i++) {
        ASSERT_EQ(state.qGoal[i], report.qr[i])
            << "step " << step << " key " << key << " joint " << i;
      }
      expect_final_pose(robot, cell, state);
      break;
    }
  }
  // Both ways to a final pose were taken, each more than a few times.
  EXPECT_GT(finalByA, 5);
  EXPECT_GT(finalByB, 5);
}
