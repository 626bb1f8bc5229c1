// Line contact of one arm with the wall's vertical edge: the values of one joint that put an
// arm's axis at the contact distance from the edge line, and the signed distance of an arm's
// axis from that line. The edge is the vertical line through the wall point rh; the wall extends
// from it toward -x. Lengths in model units, angles in radians.
#pragma once

#include "math/message_log.h"
#include "math/vecmat.h"
#include "model/state.h"

// Result of line_contact4 for an arm above 5, which it does not solve for.
constexpr int kArmBeyondContact = 10;

// Signed distance arm_line_distance gives for an arm number that names no arm (outside
// 0..N-1): far away on the free side.
constexpr double kNoArmDistance = 1e9;

// Tallies of the candidates line_contact4 refined by Newton steps and dropped as no contact
// (read by tests and benchmarks).
struct ContactPolishCounts {
  long polished;
  long dropped;
};

// Every value of joint K, the other joints held at q, at which the axis of arm M (joint M to
// joint M+1) passes the edge line at dd = linkRadius + edgeRadius. Returns the number of
// candidates (0..4) or kArmBeyondContact for M > 5; 0 for K < 1 or M < K (the arm does not move
// with joint K). Copies q (0..N) into all four cand; candidate r has joint K replaced and its
// signed distance in dist[r] and contact parameter in tpar[r] (see arm_line_distance), every one
// within 1e-6 of +-dd. Uses kin as its workspace (the base kin.E[0], kin.Jpos[0] is read); notes
// failing branches in log and adds to counts when given.
int line_contact4(const RobotModel& robot, const Vec3& rh, const double q[], int K, int M,
                  Kinematics& kin, double cand[4][kJointSlots], double dist[4], double tpar[4],
                  MessageLog* log = nullptr, ContactPolishCounts* counts = nullptr);

// Signed shortest distance between the axis line of arm M and the edge line for the pose q:
// positive when the arm passes the edge on the free side (+x), negative on the wall side. t gets
// the position of the arm-line point nearest the edge, along arm M from joint M. Zeroes
// q[N+1..19] and runs forward kinematics of q into kin. An arm parallel to the edge gives the
// horizontal distance with t = 0. Both results are finite for finite q and an edge point whose
// coordinates are within 1e150 (the squares of farther points overflow).
double arm_line_distance(const RobotModel& robot, const Vec3& rh, int M, double q[],
                         Kinematics& kin, double& t);
