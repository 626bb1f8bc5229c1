// Shortcuts of certified paths and the certification's fall-back, judged by the test's own
// kinematics and geometry (tests/workcell_judge.h): a shortened path keeps its ends, is no
// longer, is free when sampled at 0.001 rad, and comes out the same twice.
#include "planning/path_shortcut.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "workcell_judge.h"

namespace {

struct Scene {
  RobotModel robot;
  Workcell cell = {};
  Kinematics kin;
};

double length_of(const JointPath& path) {
  double sum = 0;
  for (size_t k = 1; k < path.size(); k++) {
    double s = 0;
    for (int i = 1; i <= 7; i++) s += (path[k][i] - path[k - 1][i]) * (path[k][i] - path[k - 1][i]);
    sum += std::sqrt(s);
  }
  return sum;
}

// Whether the segment from p to q lies on one of the path's segments (both ends on it within
// 1e-9 rad): such a segment is free when the path is.
bool lies_on_path(const JointVector& p, const JointVector& q, const JointPath& path) {
  const auto on = [](const JointVector& x, const JointVector& a, const JointVector& b) {
    double ab = 0, ax = 0;
    for (int i = 1; i <= 7; i++)
      ab += (b[i] - a[i]) * (b[i] - a[i]), ax += (x[i] - a[i]) * (b[i] - a[i]);
    const double t = ab > 0 ? std::fmin(1.0, std::fmax(0.0, ax / ab)) : 0;
    double off = 0;
    for (int i = 1; i <= 7; i++) off = std::fmax(off, std::fabs(a[i] + t * (b[i] - a[i]) - x[i]));
    return off < 1e-9;
  };
  for (size_t k = 1; k < path.size(); k++)
    if (on(p, path[k - 1], path[k]) && on(q, path[k - 1], path[k])) return true;
  return false;
}

// A wandering path of `count` waypoints whose every segment the judge finds free: each waypoint
// a random step of up to 1.2 rad per joint from the last.
JointPath wandering_path(std::mt19937& rng, Scene& s, int count) {
  std::uniform_real_distribution<double> step(-1.2, 1.2);
  JointVector q{};
  do random_pose(rng, 7, q.data());
  while (!judge::valid_pose(s.robot, s.cell, q.data()));
  JointPath path(1, q);
  for (int tries = 0; static_cast<int>(path.size()) < count && tries < 200; tries++) {
    JointVector next = path.back();
    for (int i = 1; i <= 7; i++) next[i] += step(rng);
    if (!judge::line_collides(s.robot, s.cell, path.back().data(), next.data()))
      path.push_back(next);
  }
  return path;
}

// Seeded wandering paths of all four types before random walls near the robot: the shortened path
// starts and ends where the path did, is no longer, is judged free, makes at most the checks
// allowed, and is the same on a second run; over all of them the paths come out markedly shorter.
// Each of its segments is listed as certified unless it lies on the path's own, so that the
// final certification checks no more than those. Catches a shortcut taken without a check, a
// corner cut off the path's segments, a lost end, a shortcut that does nothing and a certified
// segment left to be checked again.
TEST(PathShortcut, ShorterFreeAndRepeatable) {
  const unsigned seed = 3201;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(-1, 1), y(0.3, 1.5);
  static Scene s;
  double ratios = 0;
  int paths = 0;
  for (int trial = 0; trial < 24; trial++) {
    const int type = 1 + trial % kRobotTypes;
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial << " type " << type);
    robot_setup(type, s.robot);
    s.kin = Kinematics(s.robot);
    s.cell.rh = {x(rng), y(rng), 0};
    const JointPath raw = wandering_path(rng, s, 8);
    if (raw.size() < 3) continue;
    JointPath shorter = raw, again = raw;
    ShortcutTally tally, tallyAgain;
    shortcut_path(s.robot, s.cell, 30, shorter, s.kin, tally);
    shortcut_path(s.robot, s.cell, 30, again, s.kin, tallyAgain);
    EXPECT_EQ(shorter, again);
    EXPECT_LE(tally.checks, 30);
    ASSERT_GE(shorter.size(), 2u);
    EXPECT_EQ(shorter.front(), raw.front());
    EXPECT_EQ(shorter.back(), raw.back());
    EXPECT_LE(length_of(shorter), length_of(raw) * (1 + 1e-12));
    for (size_t k = 1; k < shorter.size(); k++) {
      ASSERT_FALSE(judge::line_collides(s.robot, s.cell, shorter[k - 1].data(), shorter[k].data()))
          << "segment " << k << " of " << shorter.size() - 1;
      EXPECT_TRUE(listed(tally.certified, shorter[k - 1], shorter[k]) ||
                  lies_on_path(shorter[k - 1], shorter[k], raw))
          << "segment " << k << " of " << shorter.size() - 1;
    }
    // The segments it lists as certified, which the final certification takes on trust.
    for (const auto& segment : tally.certified)
      ASSERT_FALSE(
          judge::line_collides(s.robot, s.cell, segment.first.data(), segment.second.data()));
    ratios += length_of(shorter) / length_of(raw);
    paths++;
  }
  EXPECT_GT(paths, 16);
  EXPECT_LT(ratios / paths, 0.85) << "mean length ratio";
}

// The designed fall-back: a path the certification refuses gives way to the fallback, and a
// pair of refused paths to none. Which paths cut in is judged here.
TEST(PathShortcut, CertificationFallsBackToThePlannersPath) {
  static Scene s;
  robot_setup(1, s.robot);
  s.kin = Kinematics(s.robot);
  s.cell.rh = {0, 1.3, 0};
  std::mt19937 rng(3202);
  JointPath free = wandering_path(rng, s, 4), cutting;
  ASSERT_GE(free.size(), 2u);
  // A path that swings the arm round through the plate and back.
  JointVector through = free.front();
  for (double turn = 0.5; turn < 7 && cutting.empty(); turn += 0.5) {
    through[1] = free.front()[1] + turn;
    if (judge::line_collides(s.robot, s.cell, free.front().data(), through.data()))
      cutting = {free.front(), through, free.back()};
  }
  ASSERT_FALSE(cutting.empty());
  // Measured by the full check (1) or certified by the yes/no check alone (0): the same verdicts.
  for (int measure : {1, 0}) {
    double wall, floor, obstacle;
    JointPath path = cutting;
    EXPECT_EQ(certify_or_fall_back(s.robot, s.cell, free, measure, {}, path, s.kin, wall, floor,
                                   obstacle),
              1);
    EXPECT_EQ(path, free);
    if (measure)
      EXPECT_GE(wall, -kWorkcellTolerance);
    else
      EXPECT_TRUE(std::isnan(wall));
    path = free;
    EXPECT_EQ(certify_or_fall_back(s.robot, s.cell, cutting, measure, {}, path, s.kin, wall, floor,
                                   obstacle),
              1);
    EXPECT_EQ(path, free);
    path = cutting;
    EXPECT_EQ(certify_or_fall_back(s.robot, s.cell, cutting, measure, {}, path, s.kin, wall, floor,
                                   obstacle),
              0);
    EXPECT_TRUE(path.empty());
  }
  // Certified segments listed as known spare only themselves: the cutting one, listed neither
  // as it stands nor by its first end alone, is still checked.
  const SegmentList known = {
      {cutting[1], cutting[0]}, {cutting[0], cutting[2]}, {free[0], free[1]}};
  double wall, floor, obstacle;
  JointPath path = cutting;
  EXPECT_EQ(certify_or_fall_back(s.robot, s.cell, {}, 0, known, path, s.kin, wall, floor, obstacle),
            0);
}

}  // namespace
