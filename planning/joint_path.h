// Joint paths as plain lists of waypoints (planning/motion_plan.h): their length, equal-length
// samples of them, and their certification against the workcell.
#pragma once

#include <utility>
#include <vector>

#include "planning/motion_plan.h"

// Sum over consecutive waypoints of the Euclidean distance of joints 1..N, radians.
double path_length(int N, const JointPath& path);

// steps + 1 poses along the path at equal joint-space length (the first and last waypoints
// included) into out. A path of one waypoint gives that pose steps + 1 times.
void sample_path(int N, const JointPath& path, int steps, JointPath& out);

// Certifies every segment of the path (collision/motion_check.h). Writes the least wall, floor
// and box clearances of the poses checked and of the last waypoint, and returns 1 when every
// segment is free.
int certify_path(const RobotModel& robot, const Workcell& cell, const JointPath& path,
                 Kinematics& kin, double& minWall, double& minFloor, double& minObstacle);

// Straight segments that the yes/no check (motion_verdict) certified free in this workcell, each
// as the two ends it was given, in order.
using SegmentList = std::vector<std::pair<JointVector, JointVector>>;

// The index of the segment from a to b in the list (the same ends, bit for bit, in that order),
// or -1.
long segment_index(const SegmentList& segments, const JointVector& a, const JointVector& b);

// Whether the segment from a to b is in the list: segment_index's answer is not -1.
bool listed(const SegmentList& segments, const JointVector& a, const JointVector& b);

// Whether every segment of the path is certified free by the yes/no check, and its one waypoint
// valid when it has one: certify_path's verdict without the clearances. A segment listed in
// `known` (the same ends, bit for bit, in the same order) is not checked again: the check would
// give the same answer.
int path_free(const RobotModel& robot, const Workcell& cell, const JointPath& path,
              const SegmentList& known, Kinematics& kin);

// certify_path on path when measure is 1, else path_free with `known` (the clearances then NAN);
// should it fail, path becomes fallback, certified in turn, and is cleared when that fails too.
// Writes the clearances of the path certified last and returns 1 when path is left certified.
int certify_or_fall_back(const RobotModel& robot, const Workcell& cell, const JointPath& fallback,
                         int measure, const SegmentList& known, JointPath& path, Kinematics& kin,
                         double& minWall, double& minFloor, double& minObstacle);
