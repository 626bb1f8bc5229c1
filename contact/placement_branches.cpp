#include "contact/placement_branches.h"

#include <algorithm>
#include <cmath>

#include "collision/edge_clearance.h"
#include "collision/workcell_check.h"
#include "ik/pinv.h"
#include "math/angles.h"
#include "math/brent.h"
#include "model/forward_kinematics.h"

namespace placement {

namespace {

// A grid pose whose clearance is within this of 0 is polished before it is trusted.
constexpr double kPolishBelow = 1e-5;
// How much farther a pose taken between the two ends of a bracket may be from them (summed
// over the positioning joints) than they are from each other.
constexpr double kMatchLimit = 1.0;
// Width in theta to which Brent's method brackets a touching pose.
constexpr double kRootTolerance = 1e-13;

// Edge clearance (the result) and workcell clearance v of the moving arms of positioned pose q:
// joints up to N-2 by forward kinematics, the wrist centre and joint N from the goal.
double moving_clearance(const PlacementSetup& ps, const double q[], double& v) {
  Mat3 E[kSlots];
  Vec3 Jpos[kSlots];
  joint_positions(ps.robot, q, std::min(ps.lastMoving + 1, ps.N - 2), E, Jpos);
  Jpos[ps.N - 1] = ps.wristCentre;
  Jpos[ps.N] = ps.lastJoint;
  const double r = ps.robot.linkRadius;
  ArmClearance edge;
  arms_edge_clearance(Jpos, ps.robot.Llen, ps.firstMoving, ps.lastMoving, ps.cell.rh, r, edge);
  v = INFINITY;
  for (int m = ps.firstMoving; m <= ps.lastMoving; m++) {
    WorkcellFeature feature;
    Vec3 away;
    double w = tube_plate_clearance(Jpos[m], Jpos[m + 1], r, ps.plate, feature, away);
    if (m != 1) w = std::fmin(w, std::fmin(Jpos[m].z, Jpos[m + 1].z) - r);  // the floor
    if (w < v || std::isnan(w)) v = w;
  }
  return edge.c;
}

void note_positioned(PlacementRecords& rec, const Node& n) {
  if (!rec.anyPositioned || n.c > rec.highest.c) rec.highest = n;
  if (!rec.anyPositioned || n.v > rec.leastDeep.v) rec.leastDeep = n;
  rec.anyPositioned = true;
}

void make_node(const PlacementSetup& ps, PlacementRecords& rec, double theta, const double q[],
               bool polished, Node& n) {
  set_joints(ps, theta, q, n);
  finish_node(ps, rec, polished, n);
}

// Brent's root finder on a branch: every pose it evaluates is kept, its id the index here.
struct RootSearch {
  const PlacementSetup* ps;
  PlacementRecords* rec;
  Node nodes[2 + kBrentRootIterations];  // the two ends, then one pose per iteration
  int n;
};

// The clearance at x on the branch between the bracket's ends b and c.
int root_value(void* context, double x, const BrentPoint& b, const BrentPoint& c, BrentPoint& out) {
  RootSearch& rs = *static_cast<RootSearch*>(context);
  Node& X = rs.nodes[rs.n];
  if (!eval_between(*rs.ps, *rs.rec, x, rs.nodes[b.id], rs.nodes[c.id], X)) return 0;
  out = {x, X.c, rs.n++};
  return 1;
}

// Brent's minimiser of sign * f on a branch, poses taken between a and m or m and b (the first
// at m itself); every pose it evaluates is kept, its id the index here.
struct MinimumSearch {
  const PlacementSetup* ps;
  PlacementRecords* rec;
  const Node *a, *m, *b;
  double sign;
  double (*f)(const Node&);
  Node nodes[1 + kBrentMinimumIterations];  // the start, then one pose per iteration
  int n;
};

int minimum_value(void* context, double x, const BrentPoint&, const BrentPoint&, BrentPoint& out) {
  MinimumSearch& ms = *static_cast<MinimumSearch*>(context);
  Node& X = ms.nodes[ms.n];
  const Node *from = ms.m, *to = ms.m;  // the start, at m itself
  if (ms.n > 0 && x <= ms.m->theta)
    from = ms.a;
  else if (ms.n > 0)
    to = ms.b;
  if (!eval_between(*ms.ps, *ms.rec, x, *from, *to, X)) return 0;
  out = {x, ms.sign * ms.f(X), ms.n++};
  return 1;
}

}  // namespace

double score(const Node& n) {
  return std::fmin(n.c, n.v);
}

double edge_clearance(const Node& n) {
  return n.c;
}

double workcell_value(const Node& n) {
  return n.v;
}

double position_distance(const PlacementSetup& ps, const double a[], const double b[]) {
  return wrapped_distance3(ps.I, ps.J, ps.K, a, b);
}

void polish(const PlacementSetup& ps, double q[]) {
  const int idx[3] = {ps.I, ps.J, ps.K};
  double best[3] = {q[ps.I], q[ps.J], q[ps.K]};
  double bestResidual = INFINITY;
  for (int it = 0; it < 8; it++) {
    Mat3 E[kSlots];
    Vec3 P[kSlots];
    joint_positions(ps.robot, q, ps.N - 1, E, P);
    const Vec3& p = P[ps.N - 1];
    const Vec3 r = {ps.wristCentre.x - p.x, ps.wristCentre.y - p.y, ps.wristCentre.z - p.z};
    const double residual = std::fabs(r.x) + std::fabs(r.y) + std::fabs(r.z);
    if (!(residual < bestResidual)) break;
    bestResidual = residual;
    for (int k = 0; k < 3; k++) best[k] = q[idx[k]];
    if (residual == 0) break;
    Vec3 col[3];
    for (int k = 0; k < 3; k++) {
      const Mat3& F = E[idx[k]];
      const Vec3 z = {F.m[2], F.m[5], F.m[8]};
      Vec3 arm;
      vsub(p, P[idx[k]], arm);
      vcross(z, arm, col[k]);
    }
    Vec3 c12, c20, c01;
    vcross(col[1], col[2], c12);
    vcross(col[2], col[0], c20);
    vcross(col[0], col[1], c01);
    const double det = vdot(col[0], c12);
    if (!(std::fabs(det) > 1e-14 * vnorm(col[0]) * vnorm(col[1]) * vnorm(col[2]))) break;
    // Cramer's rule: delta_k = r . (col[k+1] x col[k+2]) / det.
    q[idx[0]] += vdot(r, c12) / det;
    q[idx[1]] += vdot(r, c20) / det;
    q[idx[2]] += vdot(r, c01) / det;
  }
  for (int k = 0; k < 3; k++) q[idx[k]] = best[k];
}

int positions_at(const PlacementSetup& ps, PlacementRecords& rec, double theta,
                 double cand[4][kJointSlots]) {
  double q[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) q[k] = ps.held[k];
  q[ps.L] = theta;
  rec.evaluations++;
  return pinv4(ps.robot, q, ps.I, ps.J, ps.K, ps.robot.rwLoc, ps.cell.rwG, ps.cell.EwG, cand);
}

void set_joints(const PlacementSetup& ps, double theta, const double q[], Node& n) {
  n.theta = theta;
  for (int k = 0; k < kSlots; k++) n.q[k] = q[k];
  n.q[ps.L] = theta;
}

void finish_node(const PlacementSetup& ps, PlacementRecords& rec, bool polished, Node& n) {
  if (polished) polish(ps, n.q);
  n.c = moving_clearance(ps, n.q, n.v);
  if (!polished && std::fabs(n.c) < kPolishBelow) {
    polish(ps, n.q);
    n.c = moving_clearance(ps, n.q, n.v);
  }
  note_positioned(rec, n);
}

int family(const PlacementSetup& ps, PlacementRecords& rec, double theta, Node nodes[4]) {
  double cand[4][kJointSlots];
  const int n = positions_at(ps, rec, theta, cand);
  for (int k = 0; k < n; k++) make_node(ps, rec, theta, cand[k], false, nodes[k]);
  if (n > 0) rec.positionedSamples++;
  return n;
}

// Near a fold, where the branch and its partner draw together, the partner's pose lies beyond
// the fold and so farther from the node away from it, which a straight line drawn between a and
// b would not tell.
bool eval_between(const PlacementSetup& ps, PlacementRecords& rec, double theta, const Node& a,
                  const Node& b, Node& out) {
  double cand[4][kJointSlots];
  const int n = positions_at(ps, rec, theta, cand);
  int best = -1;
  double bestDist = position_distance(ps, a.q, b.q) + kMatchLimit;
  for (int k = 0; k < n; k++) {
    const double d = position_distance(ps, cand[k], a.q) + position_distance(ps, cand[k], b.q);
    if (d < bestDist) bestDist = d, best = k;
  }
  if (best < 0) return false;
  make_node(ps, rec, theta, cand[best], true, out);
  return true;
}

bool find_root(const PlacementSetup& ps, PlacementRecords& rec, const Node& a, const Node& b,
               Node& out) {
  RootSearch rs;
  rs.ps = &ps;
  rs.rec = &rec;
  rs.nodes[0] = a;
  rs.nodes[1] = b;
  rs.n = 2;
  BrentPoint root;
  if (brent_root(root_value, &rs, {a.theta, a.c, 0}, {b.theta, b.c, 1}, kRootTolerance, root) ==
      kBrentNotEvaluated)
    return false;
  out = rs.nodes[root.id];
  return std::isfinite(out.c);
}

bool minimise(const PlacementSetup& ps, PlacementRecords& rec, const Node& a, const Node& m,
              const Node& b, double sign, double (*f)(const Node&), Node& out) {
  MinimumSearch ms;
  ms.ps = &ps;
  ms.rec = &rec;
  ms.a = &a;
  ms.m = &m;
  ms.b = &b;
  ms.sign = sign;
  ms.f = f;
  ms.n = 0;
  BrentPoint low;
  if (brent_minimise(minimum_value, &ms, a.theta, b.theta, m.theta, 1.5e-8, 1e-10, low) ==
      kBrentNotEvaluated)
    return false;
  out = ms.nodes[low.id];
  return std::isfinite(out.c);
}

bool peak_near(const PlacementSetup& ps, PlacementRecords& rec, const Node& best, double from,
               double to, double (*f)(const Node&), Node& top) {
  Node a = best, b = best;
  if (from < best.theta && !eval_between(ps, rec, from, best, best, a)) a = best;
  if (to > best.theta && !eval_between(ps, rec, to, best, best, b)) b = best;
  return minimise(ps, rec, a, best, b, -1.0, f, top);
}

}  // namespace placement
