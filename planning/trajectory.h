// Timed motion along a joint path (planning/motion_plan.h): the path's straight segments are
// followed exactly, at rest at every corner, each (merged) straight run with the time-optimal
// jerk-limited rest-to-rest profile (the seven-phase double S) on its arc length. Consecutive
// segments that continue in the same direction are merged into one run, passed without stopping.
// The timing is computed once; sampling it is cheap, pure and allocates nothing.
#pragma once

#include <vector>

#include "planning/motion_plan.h"

// Limits of each joint, slots 1..N: speed rad/s, acceleration rad/s^2, jerk rad/s^3; all > 0.
struct JointLimits {
  double velocity[kJointSlots];
  double acceleration[kJointSlots];
  double jerk[kJointSlots];
};

// The defaults for the arms of the catalogue (4.4 units tall, links up to 2 long): the base and
// shoulder joints, which swing the whole arm, slowest; the wrist fastest. Joints 1..7 in slots
// 1..7.
constexpr double kDefaultMaxVelocity[kMaxJoints + 1] = {0, 1.0, 1.0, 1.2, 1.2, 2.0, 2.0, 2.5};
constexpr double kDefaultMaxAcceleration[kMaxJoints + 1] = {0, 2.0, 2.0, 2.5, 2.5, 4.0, 4.0, 5.0};
constexpr double kDefaultMaxJerk[kMaxJoints + 1] = {0, 10, 10, 12, 12, 20, 20, 25};

// The default limits above in slots 1..kMaxJoints (0 elsewhere).
JointLimits default_joint_limits();

// A rest-to-rest double-S profile of the path parameter s over [0, length]: jerk +-J for tj,
// acceleration aPeak held for ta - 2 tj, speed vPeak held for tv, and the mirror image to rest.
struct DoubleS {
  double length = 0;    // radians of joint-space arc
  double jerk = 0;      // J, rad/s^3 along the arc
  double tj = 0;        // seconds of each jerk phase
  double ta = 0;        // seconds of the acceleration (and of the deceleration)
  double tv = 0;        // seconds at the peak speed
  double aPeak = 0;     // J tj
  double vPeak = 0;     // aPeak (ta - tj)
  double duration = 0;  // 2 ta + tv
};

// The time-optimal rest-to-rest profile over `length` (>= 0) with speed, acceleration and jerk
// along the arc at most V, A, J (> 0). Writes profile.
void double_s_profile(double length, double V, double A, double J, DoubleS& profile);

// The profile at time t (clamped to 0..duration): arc s, speed sd >= 0 and acceleration sdd.
void double_s_at(const DoubleS& profile, double t, double& s, double& sd, double& sdd);

// One straight run of the path: from waypoint `from` to waypoint `to` along unit direction u,
// starting at `start` seconds.
struct TrajectorySegment {
  JointVector from{};
  JointVector to{};
  JointVector u{};
  double start = 0;
  DoubleS profile;
};

struct Trajectory {
  int N = 0;
  JointVector rest{};  // the first waypoint: the pose before the start (and all along when
                       // the path has no other)
  std::vector<TrajectorySegment> segments;
  double duration = 0;  // seconds
};

enum TrajectoryStatus {
  kTrajectoryOk,
  kTrajectoryBadPath,    // no waypoint, N outside 1..kMaxJoints, or a value that is no number
  kTrajectoryBadLimits,  // a limit that is not a finite number > 0
};

// Times the path (waypoints in slots 1..N) under the limits. Identical consecutive waypoints are
// skipped; a waypoint within 1e-12 rad of the straight line of its neighbours, between them, is
// passed without stopping. Writes trajectory (its segment table allocated here, once) and returns
// a TrajectoryStatus.
int time_trajectory(int N, const JointPath& path, const JointLimits& limits,
                    Trajectory& trajectory);

// Joint values q, speeds qd and accelerations qdd (slots 1..N) at time t seconds; before 0 the
// start, after the duration the last waypoint, at rest. Allocates nothing.
void trajectory_at(const Trajectory& trajectory, double t, double q[], double qd[], double qdd[]);
