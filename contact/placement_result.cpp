#include "contact/placement_result.h"

#include <algorithm>
#include <cmath>

#include "collision/edge_clearance.h"
#include "collision/workcell_check.h"
#include "contact/placement_branches.h"
#include "ik/oinv.h"
#include "ik/poinv.h"
#include "math/angles.h"

namespace placement {

namespace {

// Every wrist of every event.
constexpr int kMaxCandidates = 2 * kMaxEvents;

// Forward kinematics check and clearance of a full pose; false when it fails the check.
bool verify(const PlacementSetup& ps, PlacementPose& p, Kinematics& kin) {
  const Workcell& w = ps.cell;
  p.orientationError = ori_error(ps.robot, w.EwG, p.q, kin);
  p.positionError = pos_error(ps.robot, w.rwG, p.q, kin);
  ArmClearance ac;
  arms_edge_clearance(kin.Jpos, ps.robot.Llen, 1, ps.N - 1, w.rh, ps.robot.linkRadius, ac);
  p.edgeClearance = ac.c;
  p.arm = ac.arm;
  p.place = ac.place;
  p.contactAlong = ac.along;
  p.contactHeight = ac.height;
  // Finite only when every joint is.
  p.distanceFromInitial = joint_distance(ps.N, p.q, ps.held);
  workcell_clearance(ps.robot, kin, w, p.workcell);
  const bool finite = std::isfinite(p.positionError) && std::isfinite(p.orientationError) &&
                      std::isfinite(p.edgeClearance) && std::isfinite(p.distanceFromInitial) &&
                      std::isfinite(p.contactAlong) && std::isfinite(p.contactHeight);
  return finite && p.positionError <= kPlacementCheckTolerance &&
         p.orientationError <= kPlacementCheckTolerance;
}

struct Tally {
  int dropped = 0;
  int discontinuities = 0;
  int wristless = 0;            // events whose position no wrist orients
  int lost = 0;                 // poses beyond the room of the list
  int invalid = 0;              // checked poses that cut into the wall or the floor
  WorkcellClearance closest{};  // the least deep of them
};

// Keeps the clearances of the invalid pose that cuts in least.
void note_invalid(const WorkcellClearance& c, Tally& tally) {
  if (tally.invalid++ == 0 || c.least > tally.closest.least) tally.closest = c;
}

// The full poses of an event (every wrist), checked and classified, appended to out[n..].
void build_poses(const PlacementSetup& ps, const Event& ev, PlacementPose out[], int room, int& n,
                 Kinematics& kin, Tally& tally) {
  double q[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) q[k] = k <= ps.N ? ev.node.q[k] : 0;
  q[0] = 0;
  q[ps.L] = ev.node.theta;
  polish(ps, q);
  double wrists[2][kJointSlots] = {};
  const int m = oinv2(ps.robot, q, ps.robot.EwLoc, ps.cell.EwG, wrists);
  if (m == 0) tally.wristless++;
  const double lo = wrap_remainder(ev.lo), span = ev.hi - ev.lo;
  for (int w = 0; w < m; w++) {
    PlacementPose p = {};
    for (int i = 1; i <= ps.N; i++) p.q[i] = wrap_remainder(wrists[w][i]);
    p.wrist = w;
    if (!verify(ps, p, kin)) {
      tally.dropped++;
      continue;
    }
    if (!p.workcell.valid) {
      note_invalid(p.workcell, tally);
      continue;
    }
    const double c = p.edgeClearance;
    // A touch of the edge above the plate's top touches nothing.
    if (std::fabs(c) <= kPlacementTouchTolerance && p.contactHeight <= kWallPlateSize) {
      p.kind = kPlacementTouch;
    } else if (!ev.touch && c > kPlacementTouchTolerance) {
      p.kind = kPlacementClear;
    } else {
      tally.discontinuities++;
      continue;
    }
    p.theta = p.q[ps.L];
    if (ev.touch) {
      p.thetaLo = p.thetaHi = p.theta;
    } else {
      p.thetaLo = lo;
      p.thetaHi = lo + span;
    }
    if (n == room) {
      tally.lost++;
      continue;
    }
    out[n++] = p;
  }
}

// The listing order: touching first, then by distance from the initial pose, theta, the joints,
// the wrist. A strict total order on distinct poses.
bool listed_before(const PlacementPose& a, const PlacementPose& b) {
  if (a.kind != b.kind) return a.kind == kPlacementTouch;
  if (a.distanceFromInitial != b.distanceFromInitial)
    return a.distanceFromInitial < b.distanceFromInitial;
  if (a.theta != b.theta) return a.theta < b.theta;
  for (int i = 1; i < kJointSlots; i++)
    if (a.q[i] != b.q[i]) return a.q[i] < b.q[i];
  return a.wrist < b.wrist;
}

bool same_pose(int N, const PlacementPose& a, const PlacementPose& b) {
  double d = 0;
  for (int i = 1; i <= N; i++) d += std::fabs(wrap_angle(a.q[i] - b.q[i]));
  return a.kind == b.kind && d <= 1e-9;
}

}  // namespace

void assemble_result(const PlacementSetup& ps, PlacementRecords& rec, const Event events[],
                     int nEvents, PlacementResult& result) {
  const RobotModel& robot = ps.robot;
  const Workcell& cell = ps.cell;
  Kinematics kin(robot);  // the workspace of the forward-kinematics checks
  PlacementPose found[kMaxCandidates];
  int nFound = 0;
  Tally tally;
  for (int e = 0; e < nEvents; e++)
    build_poses(ps, events[e], found, kMaxCandidates, nFound, kin, tally);

  // Duplicates (a touch reached twice) out, then the listing order.
  int order[kMaxCandidates];
  int nKept = 0;
  for (int i = 0; i < nFound; i++) {
    bool repeated = false;
    for (int k = 0; k < nKept && !repeated; k++)
      repeated = same_pose(ps.N, found[order[k]], found[i]);
    if (!repeated) order[nKept++] = i;
  }
  std::sort(order, order + nKept, [&](int a, int b) { return listed_before(found[a], found[b]); });
  result.count = std::min(nKept, kMaxPlacements);
  for (int k = 0; k < result.count; k++) {
    result.poses[k] = found[order[k]];
    if (result.poses[k].kind == kPlacementTouch)
      result.touchCount++;
    else
      result.clearCount++;
  }
  result.truncated = nKept - result.count + rec.lost + tally.lost;
  result.dropped = tally.dropped + rec.unresolved;
  result.invalid = tally.invalid;
  result.discontinuities = tally.discontinuities;
  result.positionedSamples = rec.positionedSamples;
  result.branches = rec.branches;

  if (result.count > 0) {
    result.status = kPlacementFound;
  } else if (!rec.anyPositioned) {
    result.status = kPlacementOutOfReach;
  } else if (nEvents > 0 && tally.wristless == nEvents) {
    result.status = kPlacementWristOutOfReach;
  } else if (tally.invalid == 0 && (tally.dropped > 0 || rec.unresolved > 0)) {
    result.status = kPlacementUnverified;
  } else {
    // Every positioned pose cuts in: how little the best of them does, refined on its branch,
    // judged whole (every wrist) against the wall plate and the floor.
    Node top = rec.leastDeep, refined;
    if (peak_near(ps, rec, top, top.theta - ps.h, top.theta + ps.h, workcell_value, refined) &&
        refined.v > top.v)
      top = refined;
    double q[kJointSlots];
    for (int k = 0; k < kJointSlots; k++) q[k] = k <= ps.N ? top.q[k] : 0;
    double wrists[2][kJointSlots] = {};
    const int m = oinv2(robot, q, robot.EwLoc, cell.EwG, wrists);
    if (m == 0 && tally.invalid == 0) {
      result.status = kPlacementWristOutOfReach;
    } else {
      for (int w = 0; w < m; w++) {
        WorkcellClearance c;
        pose_check(robot, cell, wrists[w], kin, c);
        note_invalid(c, tally);
      }
      result.status = kPlacementWallCutsAll;
      result.where = tally.closest;
      result.smallestDepth = std::max(0.0, -tally.closest.least);
    }
  }
  result.evaluations = rec.evaluations;
}

}  // namespace placement
