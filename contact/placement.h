// The complete placement solver: every goal pose of a scene (robot, goal, wall) at once.
//
// The goal fixes six coordinates of the work; joint Lcont (the joint Method B turns) is free.
// For each value theta of it, pinv4 (positioning joints posJoints, wrist centre placed) gives up
// to four positions and oinv2 (wrist joints N-2..N) up to two wrists each: a finite set of full
// poses. The wrist joints move neither the wrist centre (joint N-1) nor, once the work is
// oriented, joint N, so the clearance (collision/edge_clearance.h) depends on theta and the
// position alone, and both wrists of a position share it.
//
// The sweep: theta over one turn on a grid of `samples` points (h = 2 PI / samples). Each
// position branch is followed from sample to sample as a curve q(theta): a track takes the pose
// nearest to its last step carried on in a straight line when that is a small step (0.3 rad of
// joint distance, 0.05 from the straight line); where the branch moves faster or bends harder (a
// joint swinging past a near-singular pose, two branches crossing) it is walked there in
// smaller steps, halved as needed; where it ends (a fold of the family at the edge of the
// goal's reach, or a gap in it) the walk stops within 1e-12 of the end, and a branch that
// appears is walked back to where it begins. On each branch:
//   - a touching pose at every sign change of the clearance between consecutive poses, found
//     by Brent's method to 1e-13 in theta (the pose at each trial taken between the bracket's
//     ends, positioning joints polished by Newton steps on the wrist centre);
//   - at every local extremum of the clearance within 1e-3 of 0, Brent's minimiser: a
//     tangential touch when the extremum is within 1e-9 of 0, two touching poses (and a clear
//     family between them, or a split one) when it crosses 0;
//   - one clear family per maximal theta-interval of clearance > 1e-9, represented by its pose
//     of LARGEST CLEARANCE (Brent's maximiser around the best pose met); families that cross
//     theta = +-PI are joined.
// A sign change where the clearance jumps (an arm entering the wall plate other than through
// its edge, e.g. from below rh) gives no touch; it is counted in `discontinuities`.
// Each pose is then built in full (every oinv2 wrist), checked by forward kinematics (position
// and orientation errors as pos_error/ori_error, each <= 1e-9, every value finite), judged
// against the whole workcell (collision/workcell_check.h: the wall plate and the floor against
// every arm, the hand and the workpiece; a pose that cuts in is dropped and counted as invalid)
// and classified by its own edge clearance: touching when |c| <= 1e-9 at the plate's edge,
// clear when c > 1e-9. A pose that fails the check is dropped and counted. A clear family is
// represented by its pose of largest score, the least of its edge and workcell clearances, so
// that a family partly cut by the plate or the floor is represented by a valid pose when the
// grid met one.
// The hand and the workpiece stand at the goal in every pose: when they cut in, there is no pose
// (kPlacementWorkpieceCuts) and no sweep.

// Arms whose ends never move along the family (arm N-1 always, arm 1 when joint 2 lies on
// joint Lcont's axis) have a constant clearance: when it is below -1e-9 every pose cuts in;
// within 1e-9 of 0, the poses on which the other arms stay clear all touch, and each such
// stretch is listed as one touching family (represented like a clear one).
//
// Limits: a branch, or a part of the family, that exists only within less than about one grid
// step of theta (a positioning joint within a few thousandths of a radian of a singular value,
// e.g. an elbow straight or folded) can be missed, and so can a feature of the clearance
// narrower than that; poses a few 1e-4 in theta from a fold come out less exactly (the
// joints change as the square root of the distance to it).
//
// Lengths in model units, angles in radians. No heap allocation, no exceptions.
#pragma once

#include "collision/edge_clearance.h"
#include "collision/workcell_check.h"
#include "math/vecmat.h"
#include "model/state.h"

constexpr int kPlacementSamples = 1440;  // default grid: a quarter of a degree
constexpr int kPlacementMinSamples = 16;
constexpr int kPlacementMaxSamples = 1 << 22;
constexpr int kMaxPlacements = 64;  // poses a result holds; more are counted in `truncated`
constexpr double kPlacementTouchTolerance = 1e-9;  // |clearance| of a touching pose
constexpr double kPlacementCheckTolerance = 1e-9;  // position and orientation errors

struct PlacementOptions {
  int samples = kPlacementSamples;  // grid points over one turn of joint Lcont
};

enum PlacementKind {
  kPlacementTouch,  // an arm's tube touches the edge, |clearance| <= 1e-9
  kPlacementClear,  // every arm stays clear, clearance > 1e-9
};

enum PlacementStatus {
  kPlacementFound,            // at least one pose is listed
  kPlacementOutOfReach,       // no value of joint Lcont puts the wrist centre on the goal's
  kPlacementWristOutOfReach,  // positioned poses exist, but the wrist orients none of them
  kPlacementWallCutsAll,      // positioned, oriented poses exist; every one cuts into the wall
                              // plate or the floor (smallestDepth: the least any of them cuts
                              // in; where: that pose's clearances)
  kPlacementWorkpieceCuts,    // the hand or the workpiece at the goal cuts into the wall or the
                              // floor (smallestDepth, where: how deep and where)
  kPlacementUnverified,       // touching or clear poses were found, but none passed the check
  kPlacementBadInput,         // a non-finite goal, wall edge, initial pose or radius, a goal
                              // orientation that is no rotation, or samples out of range
  kPlacementUnsupported,      // not a 7-joint model with wristChar 'R', positioning joints
                              // I < J < K < N-2 and a free joint Lcont among 1..N-3
};

struct PlacementPose {
  double q[kJointSlots];  // joints 1..N in [-PI, PI]; entry 0 and spare slots 0
  PlacementKind kind;
  int arm;                     // the touching arm, or for a clear pose the nearest one (1..N-1)
  ContactPlace place;          // where on that arm the contact (nearest point) lies
  double contactAlong;         // its distance from joint `arm`
  double contactHeight;        // height of the edge point touched (nearest) above rh
  double edgeClearance;        // smallest arm-to-edge distance less the link radius
  WorkcellClearance workcell;  // the pose against the wall plate and the floor (valid)
  double theta;                // joint Lcont, = q[Lcont]
  // The theta-range of the family the pose stands for: a clear (or, with a constantly touching
  // arm, touching) family's maximal interval, thetaLo in [-PI, PI], thetaHi >= thetaLo, at most
  // a turn apart (exactly a turn when the branch is clear all round); a single touching pose has
  // thetaLo = thetaHi = theta.
  double thetaLo, thetaHi;
  int wrist;                   // which oinv2 wrist (0 or 1)
  double distanceFromInitial;  // sum over joints 1..N of |angle_diff(q, qInit)|
  double positionError;        // L1 distance of the work point from the goal (as pos_error)
  double orientationError;     // sum of |Ew - EwG| over the nine entries (as ori_error)
};

struct PlacementResult {
  PlacementStatus status;
  int count;       // poses listed in poses[0..count-1]: touching first, then clear, each by
                   // distanceFromInitial (then theta, then the joints)
  int touchCount;  // how many of them touch
  int clearCount;  // how many are clear
  PlacementPose poses[kMaxPlacements];
  int truncated;  // verified poses (or sweep events) beyond the room of the arrays, not listed
  int dropped;    // poses that failed the forward-kinematics check
  int discontinuities;      // sign changes of the clearance that were jumps (an arm entering the
                            // plate other than through its edge), not touches
  int invalid;              // checked poses dropped because they cut into the wall or the floor
  double smallestDepth;     // kPlacementWallCutsAll, kPlacementWorkpieceCuts: how little the least
                            // deep pose cuts in (-its least clearance, >= 0); 0 otherwise
  WorkcellClearance where;  // those two statuses: the clearances of that pose
  int positionedSamples;    // grid samples with at least one positioned pose
  int branches;             // position branches followed (pieces between folds)
  long evaluations;         // pinv4 calls, the sweep's unit of work
};

// Every goal pose of the scene: robot model `robot` (7 joints, wristChar 'R'), goal rwG/EwG
// and wall edge rh of `cell`, initial pose qInit (joints 1..N; the ranking's reference, and the
// held values of the joints no solver sets). Writes `result` whole and returns its status.
// Equal input gives equal output. Re-entrant: all its state is its own.
PlacementStatus placement_solve(const RobotModel& robot, const Workcell& cell, const double qInit[],
                                const PlacementOptions& options, PlacementResult& result);

// A short English sentence for a status, e.g. "the goal is out of reach for every value of the
// free joint". Never null.
const char* placement_status_text(PlacementStatus status);
