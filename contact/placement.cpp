#include "contact/placement.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "collision/workcell_check.h"
#include "ik/oinv.h"
#include "ik/pinv.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"

namespace {

constexpr int kSlots = kMaxJoints + 1;  // joint slots used inside: 0..N

// A grid pose whose clearance is within this of 0 is polished before it is trusted.
constexpr double kPolishBelow = 1e-5;
// A local extremum of the clearance on the grid within this of 0 is refined.
constexpr double kNearTouch = 1e-3;
// Joint distances below are summed over the positioning joints, each wrapped into [-PI, PI].
// How much farther a pose taken between the two ends of a bracket may be from them (summed)
// than they are from each other.
constexpr double kMatchLimit = 1.0;
// Largest joint distance between consecutive poses a track steps through: a branch that moves
// farther between two samples is walked in smaller steps.
constexpr double kSmoothStep = 0.3;
// Largest joint distance between such a pose and where the branch's last step, carried on in a
// straight line, puts it: a branch that bends harder (a swing through a near-singular pose,
// where two branches run close and trade places) is walked in smaller steps.
constexpr double kPredictionSlack = 0.05;
// A walk that needs a step in theta smaller than this has met the end of its branch.
constexpr double kMinStep = 1e-9;
// Evaluations one walk may spend, and the poses a backward walk may keep.
constexpr int kWalkMax = 256;
// Width in theta to which Brent's method brackets a touching pose.
constexpr double kRootTolerance = 1e-13;
constexpr int kMaxRuns = 64;
constexpr int kMaxTouches = 64;
constexpr int kMaxCandidates = 2 * (kMaxRuns + kMaxTouches);

// A positioned pose on a branch: joint Lcont at theta (a label on the unwrapped sweep; pinv4
// reads it through its cosine and sine), the positioning joints from pinv4, the wrist joints
// held; c the clearance from the wall's edge of the arms that move along the family, v their
// least clearance from the wall plate and the floor (the workcell's).
struct Node {
  double theta;
  double q[kSlots];
  double c;
  double v;
};

// How clear a pose is of everything: the least of its edge and workcell clearances. Clear
// families are represented by their pose of largest score.
double score(const Node& n) {
  return std::fmin(n.c, n.v);
}

double edge_clearance(const Node& n) {
  return n.c;
}

double workcell_value(const Node& n) {
  return n.v;
}

// A maximal clear stretch of one branch.
struct Run {
  double lo, hi;  // theta labels; lo unknown (loKnown false) when begun at the sweep's start
  bool loKnown;
  bool closed;
  Node best;       // its sample of largest score
  int next;        // the run it continues into across the seam of the sweep, or -1
  bool continued;  // some run continues into this one
  bool done;       // emitted (while the runs are collected)
};

struct Track {
  Node cur, prev;
  bool hasPrev;
  int run;   // the clear run it is in, or -1
  int slot;  // the sample-0 pose it began at, until its first step; else -1
};

// A pose that became a listed one: from a touching event, or the representative of a run.
struct Event {
  Node node;
  double lo, hi;
  bool touch;
};

struct Solver {
  const RobotModel& robot;
  const Workcell& cell;
  int N, L, I, J, K;
  double held[kJointSlots];  // qInit: the joints no solver sets
  Vec3 wristCentre;          // joint N-1 of every positioned pose
  Vec3 lastJoint;            // joint N of every positioned, oriented pose
  bool moving[kSlots];       // arms whose clearance changes along the family
  int firstMoving, lastMoving;
  double cFixed;   // clearance of the other arms, the same for every pose
  WallRect plate;  // the wall plate
  double h;        // grid step

  Run runs[kMaxRuns];
  int nRuns = 0;
  Node touches[kMaxTouches];
  int nTouches = 0;
  int lost = 0;        // events beyond the arrays
  int unresolved = 0;  // roots that could not be followed to the end
  bool anyPositioned = false;
  Node highest;    // the positioned pose of largest edge clearance met
  Node leastDeep;  // the positioned pose of largest workcell clearance met
  int positionedSamples = 0;
  int branches = 0;
  long evaluations = 0;
  Node firstNext[4];  // the pose after each sample-0 pose on its branch
  bool hasFirstNext[4] = {false, false, false, false};

  Kinematics kin;  // the workspace of the forward-kinematics checks

  Solver(const RobotModel& r, const Workcell& w) : robot(r), cell(w) { kinematics_at_base(r, kin); }
};

// Joint distance over the positioning joints I, J, K alone (modulo turns).
double position_distance(const Solver& s, const double a[], const double b[]) {
  return wrapped_distance3(s.I, s.J, s.K, a, b);
}

// Edge clearance (the result) and workcell clearance v of the moving arms of positioned pose q:
// joints up to N-2 by forward kinematics, the wrist centre and joint N from the goal.
double moving_clearance(const Solver& s, const double q[], double& v) {
  Mat3 E[kSlots];
  Vec3 Jpos[kSlots];
  const int upTo = std::min(s.lastMoving + 1, s.N - 2);
  joint_positions(s.robot, q, upTo, E, Jpos);
  Jpos[s.N - 1] = s.wristCentre;
  Jpos[s.N] = s.lastJoint;
  const double r = s.robot.linkRadius;
  double c = INFINITY;
  v = INFINITY;
  for (int m = s.firstMoving; m <= s.lastMoving; m++) {
    if (!s.moving[m]) continue;
    SegmentClearance seg;
    segment_clearance(Jpos[m], Jpos[m + 1], s.cell.rh, r, seg);
    if (seg.value < c || std::isnan(seg.value)) c = seg.value;
    WorkcellFeature feature;
    double w = tube_wall_clearance(Jpos[m], Jpos[m + 1], r, s.plate, feature);
    if (m != 1) w = std::fmin(w, std::fmin(Jpos[m].z, Jpos[m + 1].z) - r);  // the floor
    if (w < v || std::isnan(w)) v = w;
  }
  return c;
}

// Newton steps on the positioning joints of q that put joint N-1 on the wrist centre, to the
// limit of double precision (the closed form may leave up to 1e-6). Keeps the best iterate.
void polish(const Solver& s, double q[]) {
  const int idx[3] = {s.I, s.J, s.K};
  double best[3] = {q[s.I], q[s.J], q[s.K]};
  double bestResidual = INFINITY;
  for (int it = 0; it < 8; it++) {
    Mat3 E[kSlots];
    Vec3 P[kSlots];
    joint_positions(s.robot, q, s.N - 1, E, P);
    const Vec3& p = P[s.N - 1];
    const Vec3 r = {s.wristCentre.x - p.x, s.wristCentre.y - p.y, s.wristCentre.z - p.z};
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

void note_positioned(Solver& s, const Node& n) {
  if (!s.anyPositioned || n.c > s.highest.c) s.highest = n;
  if (!s.anyPositioned || n.v > s.leastDeep.v) s.leastDeep = n;
  s.anyPositioned = true;
}

// The positioned poses at theta (pinv4's candidates), 0..4.
int positions_at(Solver& s, double theta, double cand[4][kJointSlots]) {
  double q[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) q[k] = s.held[k];
  q[s.L] = theta;
  s.evaluations++;
  return pinv4(s.robot, q, s.I, s.J, s.K, s.robot.rwLoc, s.cell.rwG, s.cell.EwG, cand);
}

// A node at theta with the joints of candidate q; its clearance is not yet known.
void set_joints(const Solver& s, double theta, const double q[], Node& n) {
  n.theta = theta;
  for (int k = 0; k < kSlots; k++) n.q[k] = q[k];
  n.q[s.L] = theta;
}

// Completes a node: polished when asked (or when its clearance comes within kPolishBelow of 0),
// its clearance, and the record of the best positioned pose.
void finish_node(Solver& s, bool polished, Node& n) {
  if (polished) polish(s, n.q);
  n.c = moving_clearance(s, n.q, n.v);
  if (!polished && std::fabs(n.c) < kPolishBelow) {
    polish(s, n.q);
    n.c = moving_clearance(s, n.q, n.v);
  }
  note_positioned(s, n);
}

void make_node(Solver& s, double theta, const double q[], bool polished, Node& n) {
  set_joints(s, theta, q, n);
  finish_node(s, polished, n);
}

// Every positioned pose at theta as a node; returns their number.
int family(Solver& s, double theta, Node nodes[4]) {
  double cand[4][kJointSlots];
  const int n = positions_at(s, theta, cand);
  for (int k = 0; k < n; k++) make_node(s, theta, cand[k], false, nodes[k]);
  if (n > 0) s.positionedSamples++;
  return n;
}

// The pose at theta on the branch between nodes a and b of it: the candidate that lies most
// nearly between them (least joint distance to a plus to b, at most kMatchLimit more than a to
// b), polished. Near a fold, where the branch and its partner draw together, the partner's pose
// lies beyond the fold and so farther from the node away from it, which a straight line drawn
// between a and b would not tell. False when there is none.
bool eval_between(Solver& s, double theta, const Node& a, const Node& b, Node& out) {
  double cand[4][kJointSlots];
  const int n = positions_at(s, theta, cand);
  int best = -1;
  double bestDist = position_distance(s, a.q, b.q) + kMatchLimit;
  for (int k = 0; k < n; k++) {
    const double d = position_distance(s, cand[k], a.q) + position_distance(s, cand[k], b.q);
    if (d < bestDist) bestDist = d, best = k;
  }
  if (best < 0) return false;
  make_node(s, theta, cand[best], true, out);
  return true;
}

bool positive(double c) {
  return c > 0;
}

// Brent's method for the clearance's zero between nodes a and b of one branch, whose values lie
// on opposite sides (c > 0 and c <= 0). The result is the bracket end of smaller |c| once the
// bracket is kRootTolerance wide. False when the branch cannot be followed inside.
bool find_root(Solver& s, const Node& na, const Node& nb, Node& out) {
  Node A = na, B = nb, C = na;
  double d = B.theta - A.theta, e = d;
  for (int it = 0; it < 200; it++) {
    if (positive(B.c) == positive(C.c)) {
      C = A;
      d = e = B.theta - A.theta;
    }
    if (std::fabs(C.c) < std::fabs(B.c)) {
      A = B;
      B = C;
      C = A;
    }
    const double tol = 2 * DBL_EPSILON * std::fabs(B.theta) + 0.5 * kRootTolerance;
    const double m = 0.5 * (C.theta - B.theta);
    if (std::fabs(m) <= tol || B.c == 0) break;
    if (std::fabs(e) >= tol && std::fabs(A.c) > std::fabs(B.c)) {
      const double sr = B.c / A.c;
      double p, q;
      if (A.theta == C.theta) {
        p = 2 * m * sr;
        q = 1 - sr;
      } else {
        const double qa = A.c / C.c, r = B.c / C.c;
        p = sr * (2 * m * qa * (qa - r) - (B.theta - A.theta) * (r - 1));
        q = (qa - 1) * (r - 1) * (sr - 1);
      }
      if (p > 0)
        q = -q;
      else
        p = -p;
      if (2 * p < std::min(3 * m * q - std::fabs(tol * q), std::fabs(e * q))) {
        e = d;
        d = p / q;
      } else {
        d = e = m;
      }
    } else {
      d = e = m;
    }
    A = B;
    const double x = B.theta + (std::fabs(d) > tol ? d : (m > 0 ? tol : -tol));
    Node X;
    if (!eval_between(s, x, B, C, X)) {
      // Not followed there: try the bracket's middle once before giving up.
      if (!eval_between(s, B.theta + m, B, C, X)) return false;
      d = e = m;
    }
    B = X;
  }
  out = B;
  return std::isfinite(B.c);
}

// Brent's minimiser of sign * f over [a.theta, b.theta] on one branch, from m inside; poses
// are taken between a and m, or m and b. False when the branch cannot be followed.
bool minimise(Solver& s, const Node& a, const Node& m, const Node& b, double sign,
              double (*f)(const Node&), Node& out) {
  constexpr double kGolden = 0.3819660112501051;
  double lo = a.theta, hi = b.theta;
  Node X;
  if (!eval_between(s, m.theta, m, m, X)) return false;
  Node W = X, V = X;
  double fx = sign * f(X), fw = fx, fv = fx;
  double d = 0, e = 0;
  for (int it = 0; it < 100; it++) {
    const double x = X.theta;
    const double xm = 0.5 * (lo + hi);
    const double tol1 = 1.5e-8 * std::fabs(x) + 1e-10, tol2 = 2 * tol1;
    if (std::fabs(x - xm) <= tol2 - 0.5 * (hi - lo)) break;
    bool golden = true;
    if (std::fabs(e) > tol1) {
      const double r = (x - W.theta) * (fx - fv);
      double q = (x - V.theta) * (fx - fw);
      double p = (x - V.theta) * q - (x - W.theta) * r;
      q = 2 * (q - r);
      if (q > 0) p = -p;
      q = std::fabs(q);
      const double etemp = e;
      e = d;
      if (!(std::fabs(p) >= std::fabs(0.5 * q * etemp) || p <= q * (lo - x) || p >= q * (hi - x))) {
        d = p / q;
        const double u = x + d;
        if (u - lo < tol2 || hi - u < tol2) d = xm - x >= 0 ? tol1 : -tol1;
        golden = false;
      }
    }
    if (golden) {
      e = (x >= xm ? lo : hi) - x;
      d = kGolden * e;
    }
    const double u = std::fabs(d) >= tol1 ? x + d : x + (d >= 0 ? tol1 : -tol1);
    Node U;
    if (!(u <= m.theta ? eval_between(s, u, a, m, U) : eval_between(s, u, m, b, U))) return false;
    const double fu = sign * f(U);
    if (fu <= fx) {
      if (u >= x)
        lo = x;
      else
        hi = x;
      V = W, fv = fw;
      W = X, fw = fx;
      X = U, fx = fu;
    } else {
      if (u < x)
        lo = u;
      else
        hi = u;
      if (fu <= fw || W.theta == x) {
        V = W, fv = fw;
        W = U, fw = fu;
      } else if (fu <= fv || V.theta == x || V.theta == W.theta) {
        V = U, fv = fu;
      }
    }
  }
  out = X;
  return std::isfinite(X.c);
}

int open_run(Solver& s, double lo, bool loKnown) {
  if (s.nRuns == kMaxRuns) {
    s.lost++;
    return -1;
  }
  Run& r = s.runs[s.nRuns];
  r.lo = lo;
  r.hi = lo;
  r.loKnown = loKnown;
  r.closed = false;
  r.best.c = r.best.v = -INFINITY;
  r.best.theta = lo;
  r.next = -1;
  r.continued = false;
  r.done = false;
  return s.nRuns++;
}

void offer(Solver& s, int run, const Node& n) {
  if (run >= 0 && score(n) > score(s.runs[run].best)) s.runs[run].best = n;
}

void close_run(Solver& s, int run, double hi) {
  if (run < 0) return;
  s.runs[run].hi = hi;
  s.runs[run].closed = true;
}

void add_touch(Solver& s, const Node& n) {
  if (s.nTouches == kMaxTouches) {
    s.lost++;
    return;
  }
  s.touches[s.nTouches++] = n;
}

// A zero between nodes a and b (opposite sides) as a touching event; returns its theta (the
// middle of the bracket when it could not be resolved).
double root_event(Solver& s, const Node& a, const Node& b) {
  Node r;
  if (find_root(s, a, b, r)) {
    add_touch(s, r);
    return r.theta;
  }
  s.unresolved++;
  return 0.5 * (a.theta + b.theta);
}

// A local extremum of the clearance at t.cur (between t.prev and next) near 0: a tangential
// touch, or two zeros the grid stepped over, splitting or adding a clear run.
void check_extremum(Solver& s, Track& t, const Node& next) {
  const Node &a = t.prev, &m = t.cur, &b = next;
  if (m.c > 0) {
    if (!(m.c < kNearTouch && m.c < a.c && m.c <= b.c)) return;
    Node low;
    if (!minimise(s, a, m, b, 1.0, edge_clearance, low) || low.c > kPlacementTouchTolerance) return;
    double from, to;
    if (low.c >= -kPlacementTouchTolerance) {
      add_touch(s, low);
      from = to = low.theta;
    } else {
      from = root_event(s, a, low);
      to = root_event(s, low, b);
    }
    close_run(s, t.run, from);
    t.run = open_run(s, to, true);
    if (m.theta > to) offer(s, t.run, m);
  } else {
    if (!(m.c > -kNearTouch && m.c > a.c && m.c >= b.c)) return;
    Node high;
    if (!minimise(s, a, m, b, -1.0, edge_clearance, high) || high.c < -kPlacementTouchTolerance)
      return;
    if (high.c <= kPlacementTouchTolerance) {
      add_touch(s, high);
      return;
    }
    const double from = root_event(s, a, high);
    const double to = root_event(s, high, b);
    const int run = open_run(s, from, true);
    offer(s, run, high);
    close_run(s, run, to);
  }
}

// Moves track t on to node `next` of its branch: extremum at the current node, zero on the
// step, clear run bookkeeping.
void advance(Solver& s, Track& t, const Node& next) {
  if (t.hasPrev) check_extremum(s, t, next);
  if (positive(t.cur.c) != positive(next.c)) {
    const double at = root_event(s, t.cur, next);
    if (positive(t.cur.c)) {
      close_run(s, t.run, at);
      t.run = -1;
    } else {
      t.run = open_run(s, at, true);
    }
  }
  if (t.slot >= 0) {
    s.firstNext[t.slot] = next;
    s.hasFirstNext[t.slot] = true;
    t.slot = -1;
  }
  t.prev = t.cur;
  t.hasPrev = true;
  t.cur = next;
  if (positive(next.c)) offer(s, t.run, next);
}

// Where a branch should be at theta, carrying on the step from pose `before` to pose `cur` in a
// straight line (cur's joints when there is no step before).
void predict(const Solver& s, const Node& cur, const Node& before, bool hasBefore, double theta,
             double q[]) {
  for (int k = 0; k < kSlots; k++) q[k] = cur.q[k];
  const double span = cur.theta - before.theta;
  if (!hasBefore || span == 0) return;
  const double f = (theta - cur.theta) / span;
  for (int i : {s.I, s.J, s.K}) q[i] = cur.q[i] + f * wrap_angle(cur.q[i] - before.q[i]);
}

// The pose among nodes[0..n-1] nearest to the prediction `pred` within kSmoothStep of pose
// `from`; its index, or -1.
int nearest_step(const Solver& s, const Node nodes[], int n, const double pred[],
                 const Node& from) {
  int best = -1;
  double bestDist = INFINITY;
  for (int k = 0; k < n; k++) {
    if (position_distance(s, nodes[k].q, from.q) > kSmoothStep) continue;
    const double d = position_distance(s, nodes[k].q, pred);
    if (d < bestDist) bestDist = d, best = k;
  }
  return bestDist <= kPredictionSlack ? best : -1;
}

// Follows the branch through pose `from` (reached from `before` when hasBefore) toward theta
// `to`, in steps that move the positioning joints by at most kSmoothStep and stay within
// kPredictionSlack of the last step carried on: a step is doubled after a success and halved
// where the branch moves faster, bends harder or is gone, so a walk passes through a fast
// swing of a joint and stops within kMinStep of a fold or a gap in the reach. The poses
// accepted before `to` go to path[0..nPath-1] in order; at `to` the pose is chosen among the
// sample's own poses target[0..nTarget-1]. Returns that pose's index, or -1 when the branch
// ends first (its last pose is then the last one in path, or `from`).
int walk(Solver& s, const Node& from, const Node& before, bool hasBefore, double to,
         const Node target[], int nTarget, Node path[kWalkMax], int& nPath) {
  nPath = 0;
  const Node* cur = &from;
  const Node* prev = &before;
  double step = to - from.theta;
  for (int it = 0; it < kWalkMax; it++) {
    const double remaining = to - cur->theta;
    const bool last = std::fabs(step) >= std::fabs(remaining);
    const double theta = last ? to : cur->theta + step;
    double pred[kSlots];
    predict(s, *cur, *prev, hasBefore, theta, pred);
    if (last) {
      const int k = nearest_step(s, target, nTarget, pred, *cur);
      if (k >= 0) return k;
    } else {
      Node nodes[4];
      double cand[4][kJointSlots];
      const int n = positions_at(s, theta, cand);
      for (int i = 0; i < n; i++) set_joints(s, theta, cand[i], nodes[i]);
      const int k = nearest_step(s, nodes, n, pred, *cur);
      if (k >= 0) {
        finish_node(s, false, nodes[k]);
        path[nPath] = nodes[k];
        prev = cur;
        cur = &path[nPath++];
        hasBefore = true;
        step *= 2;
        continue;
      }
    }
    step = 0.5 * (last ? remaining : step);
    if (std::fabs(step) < kMinStep) return -1;
  }
  return -1;
}

// A new track whose branch passes through `node` and was not followed before it: the branch is
// walked back toward `back` to where it begins (a fold of the family, or a gap in its reach),
// and the track steps from there through the poses met to `node`. A branch that reaches `back`
// after all starts there.
void start_track(Solver& s, const Node& node, double back, Track& t) {
  Node path[kWalkMax];
  int n;
  walk(s, node, node, false, back, nullptr, 0, path, n);
  s.branches++;
  t.cur = n > 0 ? path[n - 1] : node;
  t.hasPrev = false;
  t.slot = -1;
  t.run = positive(t.cur.c) ? open_run(s, t.cur.theta, true) : -1;
  if (t.run >= 0) offer(s, t.run, t.cur);
  for (int k = n - 2; k >= 0; k--) advance(s, t, path[k]);
  if (n > 0) advance(s, t, node);
}

// Moves the tracks on to the poses nodes[0..n-1] of the sample at theta: each takes the pose
// nearest to where it should be when that is a small step, else walks its branch there (or to
// its end). claimed[k] is the track that took pose k, or -1. Ended tracks close their runs.
int step_tracks(Solver& s, Track tracks[], int nTracks, const Node nodes[], int n, double theta,
                Track moved[4], int claimed[4]) {
  bool done[4] = {false, false, false, false};
  for (int k = 0; k < 4; k++) claimed[k] = -1;
  // Small steps first, nearest first.
  double dist[4][4];
  for (int i = 0; i < nTracks; i++) {
    double pred[kSlots];
    predict(s, tracks[i].cur, tracks[i].prev, tracks[i].hasPrev, theta, pred);
    for (int k = 0; k < n; k++) {
      dist[i][k] = position_distance(s, nodes[k].q, pred);
      if (position_distance(s, nodes[k].q, tracks[i].cur.q) > kSmoothStep ||
          dist[i][k] > kPredictionSlack)
        dist[i][k] = INFINITY;
    }
  }
  for (;;) {
    int bi = -1, bk = -1;
    double bd = INFINITY;
    for (int i = 0; i < nTracks; i++) {
      if (done[i]) continue;
      for (int k = 0; k < n; k++)
        if (claimed[k] < 0 && dist[i][k] < bd) bd = dist[i][k], bi = i, bk = k;
    }
    if (bi < 0) break;
    done[bi] = true;
    claimed[bk] = bi;
    moved[bk] = tracks[bi];
    advance(s, moved[bk], nodes[bk]);
  }
  // The others walk.
  for (int i = 0; i < nTracks; i++) {
    if (done[i]) continue;
    Track& t = tracks[i];
    Node path[kWalkMax];
    int nPath;
    const int k = walk(s, t.cur, t.prev, t.hasPrev, theta, nodes, n, path, nPath);
    for (int p = 0; p < nPath; p++) advance(s, t, path[p]);
    if (k >= 0 && claimed[k] < 0) {
      claimed[k] = i;
      moved[k] = t;
      advance(s, moved[k], nodes[k]);
    } else {
      // Its branch ends here, or it ran into a pose another track holds.
      close_run(s, t.run, t.cur.theta);
    }
  }
  return n;
}

// The sweep over theta = -PI + j h, j = 0..S, sample S being sample 0 a turn on. The tracks
// begun at sample 0 hold runs whose start is open; the step into sample S closes the ring: a
// run arriving at a pose of sample 0 continues into the run begun there, a branch that begins
// just before sample S is walked back to its start, and the extremum test at sample 0 is made
// with the pose before it.
void sweep(Solver& s, int S) {
  s.h = 2 * PI / S;
  const double t0 = -PI;
  Node first[4];
  const int n0 = family(s, t0, first);
  int seamRun[4] = {-1, -1, -1, -1};
  Track tracks[4];
  for (int k = 0; k < n0; k++) {
    Track& t = tracks[k];
    s.branches++;
    t.cur = first[k];
    t.hasPrev = false;
    t.slot = k;
    t.run = positive(first[k].c) ? open_run(s, t0, false) : -1;
    seamRun[k] = t.run;
    if (t.run >= 0) offer(s, t.run, first[k]);
  }
  int nTracks = n0;
  for (int j = 1; j <= S; j++) {
    const double theta = t0 + j * s.h;
    Node nodes[4];
    int n;
    if (j == S) {
      n = n0;
      for (int k = 0; k < n; k++) nodes[k] = first[k], nodes[k].theta = theta;
    } else {
      n = family(s, theta, nodes);
    }
    Track moved[4];
    int claimed[4];
    step_tracks(s, tracks, nTracks, nodes, n, theta, moved, claimed);
    if (j < S) {
      for (int k = 0; k < n; k++)
        if (claimed[k] < 0) start_track(s, nodes[k], theta - s.h, moved[k]);
      for (int k = 0; k < n; k++) tracks[k] = moved[k];
      nTracks = n;
      continue;
    }
    for (int k = 0; k < n; k++) {
      Track t;
      if (claimed[k] >= 0) {
        t = moved[k];
      } else {
        start_track(s, nodes[k], theta - s.h, t);
        s.branches--;  // the branch was counted at sample 0
      }
      if (t.hasPrev && s.hasFirstNext[k]) check_extremum(s, t, s.firstNext[k]);
      if (t.run < 0) continue;
      if (seamRun[k] >= 0) {
        s.runs[t.run].next = seamRun[k];
        s.runs[seamRun[k]].continued = true;
      } else {
        close_run(s, t.run, theta);
      }
    }
  }
}

// Appends a clear family with best pose `best` over [lo, hi] to events[n..] (room in all).
void emit_run(Solver& s, const Node& best, double lo, double hi, Event events[], int room, int& n) {
  if (!(best.c > -INFINITY)) return;  // no pose was offered to it
  if (n == room) {
    s.lost++;
    return;
  }
  events[n++] = {best, lo, hi, false};
}

// The runs as events: runs joined across the seam are one family; a chain of runs that closes
// on itself is a branch clear all round. Returns the number of events written.
int collect_runs(Solver& s, Event events[], int room) {
  int n = 0;
  for (int r = 0; r < s.nRuns; r++) {
    if (s.runs[r].continued || s.runs[r].done) continue;
    Node best = s.runs[r].best;
    double shift = 0;
    int x = r;
    s.runs[r].done = true;
    while (s.runs[x].next >= 0 && !s.runs[s.runs[x].next].done) {
      x = s.runs[x].next;
      shift += 2 * PI;
      s.runs[x].done = true;
      Node b = s.runs[x].best;
      b.theta += shift;
      if (score(b) > score(best)) best = b;
    }
    const double lo = s.runs[r].loKnown ? s.runs[r].lo : -PI;
    const double hi = s.runs[x].closed ? s.runs[x].hi + shift : lo + 2 * PI;
    emit_run(s, best, lo, std::min(hi, lo + 2 * PI), events, room, n);
  }
  // What is left are cycles of runs, each begun at the seam: clear for every theta.
  for (int r = 0; r < s.nRuns; r++) {
    if (s.runs[r].done) continue;
    Node best = s.runs[r].best;
    for (int x = s.runs[r].next; x >= 0 && !s.runs[x].done; x = s.runs[x].next) {
      s.runs[x].done = true;
      if (score(s.runs[x].best) > score(best)) best = s.runs[x].best;
    }
    s.runs[r].done = true;
    emit_run(s, best, -PI, PI, events, room, n);
  }
  return n;
}

// The pose of largest f on the branch of node `best` for theta in [from, to] (which holds
// best.theta), by Brent's method from it. False when the branch cannot be followed.
bool peak_near(Solver& s, const Node& best, double from, double to, double (*f)(const Node&),
               Node& top) {
  Node a = best, b = best;
  if (from < best.theta && !eval_between(s, from, best, best, a)) a = best;
  if (to > best.theta && !eval_between(s, to, best, best, b)) b = best;
  return minimise(s, a, best, b, -1.0, f, top);
}

// Moves a run's best sample to the run's pose of largest score (within a grid step of it,
// inside the run).
void refine_best(Solver& s, Event& ev) {
  const Node& best = ev.node;
  const double from = std::max(ev.lo, best.theta - s.h), to = std::min(ev.hi, best.theta + s.h);
  Node top;
  if (peak_near(s, best, from, to, score, top) && score(top) >= score(best)) ev.node = top;
}

// Forward kinematics check and clearance of a full pose; false when it fails the check.
bool verify(Solver& s, PlacementPose& p) {
  const Workcell& w = s.cell;
  p.orientationError = ori_error(s.robot, w.EwG, p.q, s.kin);
  p.positionError = pos_error(s.robot, w.rwG, p.q, s.kin);
  ArmClearance ac;
  arms_clearance(s.kin.Jpos, s.robot.Llen, 1, s.N - 1, w.rh, s.robot.linkRadius, ac);
  p.clearance = ac.c;
  p.arm = ac.arm;
  p.place = ac.place;
  p.contactAlong = ac.along;
  p.contactHeight = ac.height;
  // Finite only when every joint is.
  p.distanceFromInitial = joint_distance(s.N, p.q, s.held);
  workcell_clearance(s.robot, s.kin, w, p.workcell);
  const bool finite = std::isfinite(p.positionError) && std::isfinite(p.orientationError) &&
                      std::isfinite(p.clearance) && std::isfinite(p.distanceFromInitial) &&
                      std::isfinite(p.contactAlong) && std::isfinite(p.contactHeight);
  return finite && p.positionError <= kPlacementCheckTolerance &&
         p.orientationError <= kPlacementCheckTolerance;
}

struct Tally {
  int dropped = 0;
  int discontinuities = 0;
  int wristless = 0;            // events whose position no wrist orients
  int invalid = 0;              // checked poses that cut into the wall or the floor
  WorkcellClearance closest{};  // the least deep of them
};

// Keeps the clearances of the invalid pose that cuts in least.
void note_invalid(const WorkcellClearance& c, Tally& tally) {
  if (tally.invalid++ == 0 || c.least > tally.closest.least) tally.closest = c;
}

// The full poses of an event (every wrist), checked and classified, appended to out[n..].
void build_poses(Solver& s, const Event& ev, PlacementPose out[], int room, int& n, Tally& tally) {
  double q[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) q[k] = k <= s.N ? ev.node.q[k] : 0;
  q[0] = 0;
  q[s.L] = ev.node.theta;
  polish(s, q);
  double wrists[2][kJointSlots] = {};
  const int m = oinv2(s.robot, q, s.robot.EwLoc, s.cell.EwG, wrists);
  if (m == 0) tally.wristless++;
  const double lo = std::remainder(ev.lo, 2 * PI), span = ev.hi - ev.lo;
  for (int w = 0; w < m; w++) {
    PlacementPose p = {};
    for (int i = 1; i <= s.N; i++) p.q[i] = std::remainder(wrists[w][i], 2 * PI);
    p.wrist = w;
    if (!verify(s, p)) {
      tally.dropped++;
      continue;
    }
    if (!p.workcell.valid) {
      note_invalid(p.workcell, tally);
      continue;
    }
    const double c = p.clearance;
    // A touch of the edge above the plate's top touches nothing.
    if (std::fabs(c) <= kPlacementTouchTolerance && p.contactHeight <= kWallPlateSize) {
      p.kind = kPlacementTouch;
    } else if (!ev.touch && c > kPlacementTouchTolerance) {
      p.kind = kPlacementClear;
    } else {
      tally.discontinuities++;
      continue;
    }
    p.theta = p.q[s.L];
    if (ev.touch) {
      p.thetaLo = p.thetaHi = p.theta;
    } else {
      p.thetaLo = lo;
      p.thetaHi = lo + span;
    }
    if (n == room) {
      s.lost++;
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
void set_up(Solver& s, const double qInit[]) {
  const RobotModel& r = s.robot;
  const Workcell& w = s.cell;
  s.N = r.N;
  s.L = r.Lcont;
  s.I = r.posJoints[0];
  s.J = r.posJoints[1];
  s.K = r.posJoints[2];
  for (int k = 0; k < kJointSlots; k++) s.held[k] = k >= 1 && k <= s.N ? qInit[k] : 0;
  s.plate = wall_plate(w.rh);
  // As pinv_setup: the wrist centre lies handLength + Llen[N] back from the goal along its axis.
  const double back = r.handLength + r.Llen[s.N];
  s.wristCentre = {w.rwG.x - back * w.EwG.m[2], w.rwG.y - back * w.EwG.m[5],
                   w.rwG.z - back * w.EwG.m[8]};
  // Joint N's frame is EwG EwLoc^T once oriented; the work point lies rwLoc from joint N in it.
  Mat3 EwLocT, frameN;
  mtrans(r.EwLoc, EwLocT);
  mmul(w.EwG, EwLocT, frameN);
  Vec3 hand;
  mvmul(frameN, r.rwLoc, hand);
  vsub(w.rwG, hand, s.lastJoint);
  // Joints up to the first one the family turns keep their places, and the next one too when
  // it lies on that joint's axis; joints N-1 and N are fixed by the goal.
  const int f = std::min(s.L, s.I);
  bool fixedJoint[kSlots];
  for (int j = 0; j <= s.N; j++) fixedJoint[j] = j <= f || j >= s.N - 1;
  if (f + 1 <= s.N && r.Lloc[f + 1].x == 0 && r.Lloc[f + 1].y == 0) fixedJoint[f + 1] = true;
  Mat3 E[kSlots];
  Vec3 Jpos[kSlots];
  joint_positions(s.robot, s.held, std::min(f + 1, s.N - 2), E, Jpos);
  Jpos[s.N - 1] = s.wristCentre;
  Jpos[s.N] = s.lastJoint;
  s.cFixed = INFINITY;
  s.firstMoving = s.N;
  s.lastMoving = 0;
  for (int m = 1; m <= s.N - 1; m++) {
    s.moving[m] = !(fixedJoint[m] && fixedJoint[m + 1]);
    if (s.moving[m]) {
      s.firstMoving = std::min(s.firstMoving, m);
      s.lastMoving = std::max(s.lastMoving, m);
      continue;
    }
    SegmentClearance seg;
    segment_clearance(Jpos[m], Jpos[m + 1], w.rh, r.linkRadius, seg);
    s.cFixed = std::min(s.cFixed, seg.value);
  }
}

}  // namespace

PlacementStatus placement_solve(const RobotModel& robot, const Workcell& cell, const double qInit[],
                                const PlacementOptions& options, PlacementResult& result) {
  result.status = kPlacementBadInput;
  result.count = result.touchCount = result.clearCount = 0;
  result.truncated = result.dropped = result.discontinuities = result.invalid = 0;
  result.where = {};
  result.smallestDepth = 0;
  result.positionedSamples = result.branches = 0;
  result.evaluations = 0;
  const PlacementStatus input = check_input(robot, cell, qInit, options);
  if (input != kPlacementFound) return result.status = input;

  Solver s(robot, cell);
  set_up(s, qInit);
  // The hand and the workpiece stand where the goal puts them, in every pose.
  if (!held_work_clearance(robot, s.lastJoint, cell.rwG, cell.EwG, s.plate, result.where)) {
    result.smallestDepth = std::max(0.0, -result.where.least);
    return result.status = kPlacementWorkpieceCuts;
  }
  sweep(s, options.samples);

  Event events[kMaxRuns + kMaxTouches];
  int nEvents = 0;
  // Every pose cuts in when an arm that never moves does.
  const bool fixedCuts = s.cFixed < -kPlacementTouchTolerance;
  if (!fixedCuts) {
    for (int t = 0; t < s.nTouches; t++) events[nEvents++] = {s.touches[t], 0, 0, true};
    nEvents += collect_runs(s, events + nEvents, kMaxRuns + kMaxTouches - nEvents);
    for (int e = 0; e < nEvents; e++)
      if (!events[e].touch) refine_best(s, events[e]);
    // No event, yet the best pose met comes within the tolerance of touching: a tangential
    // touch from the wall side that no local test saw.
    if (nEvents == 0 && s.anyPositioned && s.highest.c >= -kPlacementTouchTolerance)
      events[nEvents++] = {s.highest, 0, 0, true};
  }

  static_assert(kMaxCandidates >= 2 * (kMaxRuns + kMaxTouches), "room for every wrist");
  PlacementPose found[kMaxCandidates];
  int nFound = 0;
  Tally tally;
  for (int e = 0; e < nEvents; e++) build_poses(s, events[e], found, kMaxCandidates, nFound, tally);

  // Duplicates (a touch reached twice) out, then the listing order.
  int order[kMaxCandidates];
  int nKept = 0;
  for (int i = 0; i < nFound; i++) {
    bool repeated = false;
    for (int k = 0; k < nKept && !repeated; k++)
      repeated = same_pose(s.N, found[order[k]], found[i]);
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
  result.truncated = nKept - result.count + s.lost;
  result.dropped = tally.dropped + s.unresolved;
  result.invalid = tally.invalid;
  result.discontinuities = tally.discontinuities;
  result.positionedSamples = s.positionedSamples;
  result.branches = s.branches;

  if (result.count > 0) {
    result.status = kPlacementFound;
  } else if (!s.anyPositioned) {
    result.status = kPlacementOutOfReach;
  } else if (nEvents > 0 && tally.wristless == nEvents) {
    result.status = kPlacementWristOutOfReach;
  } else if (tally.invalid == 0 && (tally.dropped > 0 || s.unresolved > 0)) {
    result.status = kPlacementUnverified;
  } else {
    // Every positioned pose cuts in: how little the best of them does, refined on its branch,
    // judged whole (every wrist) against the wall plate and the floor.
    Node top = s.leastDeep, refined;
    if (peak_near(s, top, top.theta - s.h, top.theta + s.h, workcell_value, refined) &&
        refined.v > top.v)
      top = refined;
    double q[kJointSlots];
    for (int k = 0; k < kJointSlots; k++) q[k] = k <= s.N ? top.q[k] : 0;
    double wrists[2][kJointSlots] = {};
    const int m = oinv2(robot, q, robot.EwLoc, cell.EwG, wrists);
    if (m == 0 && tally.invalid == 0) {
      result.status = kPlacementWristOutOfReach;
    } else {
      for (int w = 0; w < m; w++) {
        WorkcellClearance c;
        pose_check(robot, cell, wrists[w], s.kin, c);
        note_invalid(c, tally);
      }
      result.status = kPlacementWallCutsAll;
      result.where = tally.closest;
      result.smallestDepth = std::max(0.0, -tally.closest.least);
    }
  }
  result.evaluations = s.evaluations;
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
