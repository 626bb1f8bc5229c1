#include "contact/placement.h"

#include <algorithm>
#include <cmath>

#include "collision/edge_clearance.h"
#include "collision/workcell_check.h"
#include "contact/placement_result.h"
#include "contact/placement_solver.h"
#include "contact/placement_sweep.h"
#include "ik/pinv.h"
#include "model/forward_kinematics.h"

namespace placement {
namespace {

bool finite_vec(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

PlacementStatus check_input(const RobotModel& robot, const Workcell& cell, const double qInit[],
                            const PlacementOptions& options) {
  const int N = robot.N;
  if (N < 5 || N > kMaxJoints || robot.wristChar != 'R') return kPlacementUnsupported;
  const int L = robot.Lcont, I = robot.posJoints[0], J = robot.posJoints[1], K = robot.posJoints[2];
  if (!(1 <= I && I < J && J < K && K <= N - 3) || L < 1 || L > N - 3 || L == I || L == J || L == K)
    return kPlacementUnsupported;
  for (int i = 1; i <= N; i++)
    if (robot.jointKind[i] != 'R') return kPlacementUnsupported;
  if (options.samples < kPlacementMinSamples || options.samples > kPlacementMaxSamples)
    return kPlacementBadInput;
  if (!finite_vec(cell.rwG) || !finite_vec(cell.rh) || !std::isfinite(robot.linkRadius) ||
      robot.linkRadius < 0 || !finite_vec(robot.rwLoc) || !std::isfinite(robot.handLength))
    return kPlacementBadInput;
  for (int i = 0; i <= N; i++)
    if (!finite_vec(robot.Lloc[i]) || !std::isfinite(robot.Llen[i])) return kPlacementBadInput;
  for (int i = 1; i <= N; i++)
    if (!std::isfinite(qInit[i])) return kPlacementBadInput;
  // The goal orientation must be a rotation.
  const double* G = cell.EwG.m;
  for (int k = 0; k < 9; k++)
    if (!std::isfinite(G[k])) return kPlacementBadInput;
  Mat3 GtG;
  mtmul(cell.EwG, cell.EwG, GtG);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      if (std::fabs(GtG.m[3 * i + j] - (i == j ? 1.0 : 0.0)) > 1e-9) return kPlacementBadInput;
  const double det = G[0] * (G[4] * G[8] - G[5] * G[7]) - G[1] * (G[3] * G[8] - G[5] * G[6]) +
                     G[2] * (G[3] * G[7] - G[4] * G[6]);
  if (det < 0) return kPlacementBadInput;
  return kPlacementFound;
}

// The constant data of one solve: goal-fixed joints, which arms move along the family, and the
// clearance of those that do not.
void set_up(const double qInit[], int samples, PlacementSetup& ps) {
  const RobotModel& r = ps.robot;
  const Workcell& w = ps.cell;
  ps.N = r.N;
  ps.L = r.Lcont;
  ps.I = r.posJoints[0];
  ps.J = r.posJoints[1];
  ps.K = r.posJoints[2];
  for (int k = 0; k < kJointSlots; k++) ps.held[k] = k >= 1 && k <= ps.N ? qInit[k] : 0;
  ps.plate = wall_plate(w.rh);
  ps.h = 2 * PI / samples;
  // The wrist centre is the target pinv4 puts joint N-1 on.
  PinvGeometry geo;
  pinv_setup(r, 'R', ps.held, ps.I, ps.J, ps.K, r.rwLoc, w.rwG, w.EwG, geo);
  ps.wristCentre = geo.target;
  // Joint N's frame is EwG EwLoc^T once oriented; the work point lies rwLoc from joint N in it.
  Mat3 EwLocT, frameN;
  mtrans(r.EwLoc, EwLocT);
  mmul(w.EwG, EwLocT, frameN);
  Vec3 hand;
  mvmul(frameN, r.rwLoc, hand);
  vsub(w.rwG, hand, ps.lastJoint);
  // Joints up to the first one the family turns keep their places, and the next one too when
  // it lies on that joint's axis; joints N-1 and N are fixed by the goal. The arms between two
  // fixed joints keep their clearance; the others, which follow one another, move.
  const int f = std::min(ps.L, ps.I);
  bool fixedJoint[kSlots];
  for (int j = 0; j <= ps.N; j++) fixedJoint[j] = j <= f || j >= ps.N - 1;
  if (f + 1 <= ps.N && r.Lloc[f + 1].x == 0 && r.Lloc[f + 1].y == 0) fixedJoint[f + 1] = true;
  Mat3 E[kSlots];
  Vec3 Jpos[kSlots];
  joint_positions(r, ps.held, std::min(f + 1, ps.N - 2), E, Jpos);
  Jpos[ps.N - 1] = ps.wristCentre;
  Jpos[ps.N] = ps.lastJoint;
  ps.cFixed = INFINITY;
  ps.firstMoving = ps.N;
  ps.lastMoving = 0;
  for (int m = 1; m <= ps.N - 1; m++) {
    if (!(fixedJoint[m] && fixedJoint[m + 1])) {
      ps.firstMoving = std::min(ps.firstMoving, m);
      ps.lastMoving = std::max(ps.lastMoving, m);
      continue;
    }
    SegmentClearance seg;
    segment_edge_clearance(Jpos[m], Jpos[m + 1], w.rh, r.linkRadius, seg);
    ps.cFixed = std::min(ps.cFixed, seg.value);
  }
}

}  // namespace
}  // namespace placement

PlacementStatus placement_solve(const RobotModel& robot, const Workcell& cell, const double qInit[],
                                const PlacementOptions& options, PlacementResult& result) {
  result.status = kPlacementBadInput;
  result.count = result.touchCount = result.clearCount = 0;
  result.truncated = result.dropped = result.discontinuities = result.invalid = 0;
  result.where = {};
  result.smallestDepth = 0;
  result.positionedSamples = result.branches = 0;
  result.evaluations = 0;
  const PlacementStatus input = placement::check_input(robot, cell, qInit, options);
  if (input != kPlacementFound) return result.status = input;

  placement::PlacementSetup ps(robot, cell);
  placement::set_up(qInit, options.samples, ps);
  // The hand and the workpiece stand where the goal puts them, in every pose.
  if (!held_work_clearance(robot, cell, ps.lastJoint, cell.rwG, cell.EwG, result.where)) {
    result.smallestDepth = std::max(0.0, -result.where.least);
    return result.status = kPlacementWorkpieceCuts;
  }
  placement::PlacementRecords rec;
  placement::sweep(ps, rec, options.samples);
  placement::Event events[placement::kMaxEvents];
  const int nEvents = placement::collect_events(ps, rec, events);
  placement::assemble_result(ps, rec, events, nEvents, result);
  return result.status;
}

const char* placement_status_text(PlacementStatus status) {
  switch (status) {
    case kPlacementFound:
      return "goal poses found";
    case kPlacementOutOfReach:
      return "the goal is out of reach for every value of the free joint";
    case kPlacementWristOutOfReach:
      return "the wrist cannot give the goal orientation in any pose that reaches the goal";
    case kPlacementWallCutsAll:
      return "every pose that reaches the goal cuts into the wall or the floor";
    case kPlacementWorkpieceCuts:
      return "the workpiece at the goal cuts into the wall";
    case kPlacementUnverified:
      return "poses were found, but none passed the forward-kinematics check";
    case kPlacementBadInput:
      return "the goal, the wall or the initial pose is not a valid number";
    case kPlacementUnsupported:
      return "this robot model is not one the placement solver handles";
  }
  return "unknown placement status";
}
