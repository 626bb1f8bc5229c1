// Shorter joint paths by certified straight shortcuts: each new segment is checked by the
// workcell's certified motion check (collision/motion_check.h, motion_verdict), so a path that was
// free stays free. Deterministic: the same path gives the same result.
#pragma once

#include "planning/joint_path.h"

// What shortcut_path did: the segment checks it made, the poses they evaluated and the
// segments known certified free: those the checks certified, and the segments of the shortened
// path that lie on one of them (left by a corner cut), which its final certification can spare.
struct ShortcutTally {
  long checks = 0;
  long poses = 0;
  SegmentList certified;
};

// Shortens the certified path in place (its first and last waypoints kept): in turn, each kept
// waypoint joined straight to the farthest later one it reaches freely, and each corner cut
// between points on its two segments (halfway, then a quarter, an eighth of the way to the
// corner), while a round shortens the path by more than 1e-3 of its length and fewer than
// maxChecks segments have been tried (a segment tried again is not checked again). kin is the
// workspace. Writes tally.
void shortcut_path(const RobotModel& robot, const Workcell& cell, int maxChecks, JointPath& path,
                   Kinematics& kin, ShortcutTally& tally);
