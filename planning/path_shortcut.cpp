#include "planning/path_shortcut.h"

#include "model/forward_kinematics.h"

namespace {

// The pose at fraction t of the way from a to b.
JointVector between(int N, const JointVector& a, const JointVector& b, double t) {
  JointVector q{};
  for (int i = 1; i <= N; i++) q[i] = a[i] + t * (b[i] - a[i]);
  return q;
}

// The checks shortcut_path makes: a certified verdict on each new straight segment. A segment
// asked about again (each round tries the path's first waypoint against its last, among others)
// gets its first answer.
struct SegmentChecker {
  const RobotModel& robot;
  const Workcell& cell;
  int maxChecks;
  Kinematics& kin;
  ShortcutTally& tally;
  QuarterTurns turns;  // the robot's, for the fast kinematics of the probes and the checks
  int asked = 0;
  SegmentList refused;
  SegmentList pieces, wholes;  // pieces[s] lies on wholes[s]

  bool spent() const { return asked >= maxChecks; }

  // Whether the segment from a to b is certified free: its first answer, else check's.
  bool free(const JointVector& a, const JointVector& b) {
    asked++;
    if (listed(tally.certified, a, b)) return true;
    if (listed(refused, a, b)) return false;
    if (check(a, b)) {
      tally.certified.emplace_back(a, b);
      return true;
    }
    refused.emplace_back(a, b);
    return false;
  }

  // A shortcut that cuts through an obstacle mostly does so about its middle: the poses at a
  // half, a quarter and three quarters of the way, checked first (by the verdict's own fast
  // kinematics), settle most such shortcuts before the certified check creeps up to the obstacle.
  bool check(const JointVector& a, const JointVector& b) {
    tally.checks++;
    for (double t : {0.5, 0.25, 0.75}) {
      tally.poses++;
      if (!pose_valid_fast(robot, turns, cell, between(robot.N, a, b, t).data(), kin)) return false;
    }
    MotionVerdict verdict;
    motion_verdict(robot, turns, cell, a.data(), b.data(), kin, verdict);
    tally.poses += verdict.poses;
    return !verdict.collides;
  }

  // Records that the segment from a to b lies on the segment from wa to wb.
  void lies_on(const JointVector& a, const JointVector& b, const JointVector& wa,
               const JointVector& wb) {
    if (a == wa && b == wb) return;
    pieces.emplace_back(a, b);
    wholes.emplace_back(wa, wb);
  }

  // Whether the segment from a to b is certified or lies on one that is, through the pieces the
  // corner cuts left (a chain no longer than their record).
  bool on_certified(JointVector a, JointVector b) const {
    for (size_t step = 0; step <= pieces.size(); step++) {
      if (listed(tally.certified, a, b)) return true;
      const long whole = segment_index(pieces, a, b);
      if (whole < 0) return false;
      a = wholes[whole].first;
      b = wholes[whole].second;
    }
    return false;
  }

  // Lists as certified each segment of the path that lies on a certified one: the path's final
  // certification need not check it again.
  void list_certified_pieces(const JointPath& path) {
    for (size_t k = 1; k < path.size(); k++)
      if (!listed(tally.certified, path[k - 1], path[k]) && on_certified(path[k - 1], path[k]))
        tally.certified.emplace_back(path[k - 1], path[k]);
  }
};

// Each kept waypoint joined to the farthest later waypoint it reaches in one free segment (the
// next one always: its segment is certified already).
void join_far_waypoints(SegmentChecker& check, JointPath& path) {
  JointPath kept(1, path.front());
  size_t i = 0;
  while (i + 1 < path.size()) {
    size_t j = path.size() - 1;
    while (j > i + 1 && (check.spent() || !check.free(path[i], path[j]))) j--;
    kept.push_back(path[j]);
    i = j;
  }
  path.swap(kept);
}

// Each corner cut between the points at fraction f before and after it on its two segments, for
// the largest f of 1/2, 1/4, 1/8 whose segment is free. The segments to the cut's ends lie on
// certified segments, so only the cut needs a check.
void cut_corners(int N, SegmentChecker& check, JointPath& path) {
  JointPath out(1, path.front());
  for (size_t k = 1; k + 1 < path.size(); k++) {
    const JointVector& corner = path[k];
    bool cut = false;
    for (double f = 0.5; f > 0.1 && !cut && !check.spent(); f /= 2) {
      const JointVector a = between(N, corner, out.back(), f);
      const JointVector b = between(N, corner, path[k + 1], f);
      if (!check.free(a, b)) continue;
      check.lies_on(out.back(), a, path[k - 1], corner);
      out.push_back(a);
      out.push_back(b);
      cut = true;
    }
    if (!cut) {
      check.lies_on(out.back(), corner, path[k - 1], corner);
      out.push_back(corner);
    }
  }
  check.lies_on(out.back(), path.back(), path[path.size() - 2], path.back());
  out.push_back(path.back());
  path.swap(out);
}

}  // namespace

void shortcut_path(const RobotModel& robot, const Workcell& cell, int maxChecks, JointPath& path,
                   Kinematics& kin, ShortcutTally& tally) {
  tally = ShortcutTally();
  if (path.size() < 3) return;
  SegmentChecker check{robot, cell, maxChecks, kin, tally, {}, 0, {}, {}, {}};
  quarter_turns(robot, check.turns);
  join_far_waypoints(check, path);
  double length = path_length(robot.N, path);
  while (path.size() > 2 && !check.spent()) {
    cut_corners(robot.N, check, path);
    join_far_waypoints(check, path);
    const double shorter = path_length(robot.N, path);
    if (!(shorter < length * (1 - 1e-3))) break;
    length = shorter;
  }
  check.list_certified_pieces(path);
}
