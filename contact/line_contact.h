// The contact solver of Method B (turn one joint until an arm rests against the wall's edge) and
// the classification of a pose against the wall. The edge is the vertical line through the wall
// point rh; the wall is the plate in the plane y = rh.y reaching from the edge toward -x.
#pragma once

#include "math/message_log.h"
#include "model/state.h"

// How a pose stands against the wall (Method B's sgnCONTACT; the traces print the numbers).
enum ContactClass {
  kContactUnknown = 0,  // not classified yet
  kContactCuts = 1,     // an arm cuts into the wall
  kContactTouches = 2,  // the nearest arm touches the edge
  kContactApart = 3,    // the nearest arm stays apart from the edge
};

// Turns joint K of q so that arm M touches the edge line: prefers the last candidate touching on
// the arm itself from the free side, then a free-side touch beyond the arm's ends nearest q[K],
// then any candidate nearest q[K], then (q[K] NaN or far more than a turn away) the first.
// Returns 1 with qout (0..N) = the choice, d its signed distance and t its contact parameter; 0
// with qout = q, d and t untouched, when there is none (noted in log). qout may be q. Uses kin as
// its workspace.
int line_contact(const RobotModel& robot, const Vec3& rh, const double q[], int K, int M,
                 Kinematics& kin, double qout[], double& d, double& t, MessageLog* log = nullptr);

// Method B's own contact check, kept as Method B's steps and traces need it: it sees the wall as
// the infinite vertical edge line with a crossing test, not as the whole workcell; whether a pose
// is free of the wall plate and the floor is judged by collision/workcell_check.h.
// Classifies pose q (20 entries, see arm_line_distance) against the wall. Returns the first arm
// (1..N-3) whose end joint can reach the edge line as joint K turns, or N+1 when none can. mc
// gets an arm (2..N-1) whose segment crosses the wall plate, else one (1..N-1) whose tube lies
// across the edge (segment nearer the edge line than the link radius), or 0. sgnCONTACT: the
// class of the pose (never kContactUnknown). d, t: signed distance and contact parameter of the
// classified arm (of a crossing arm: minus the crossing's depth behind the edge and its place
// along the arm; of a tube across the edge: its segment's distance and place); untouched when no
// arm reaches, crosses or lies across; finite within the range arm_line_distance states. Leaves
// the kinematic state of q in kin.
int contact_check(const RobotModel& robot, const Vec3& rh, int K, double q[], Kinematics& kin,
                  int& mc, ContactClass& sgnCONTACT, double& d, double& t);
