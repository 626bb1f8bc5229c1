#include "contact/placement_sweep.h"

#include <algorithm>
#include <cmath>

#include "contact/placement_branches.h"
#include "math/angles.h"

namespace placement {

namespace {

// A local extremum of the clearance on the grid within this of 0 is refined.
constexpr double kNearTouch = 1e-3;
// Joint distances below are summed over the positioning joints, each wrapped into [-PI, PI].
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

bool positive(double c) {
  return c > 0;
}

// One branch followed over the grid.
struct Track {
  Node cur, prev;
  bool hasPrev;
  int run;   // the clear run it is in, or -1
  int slot;  // the sample-0 pose it began at, until its first step; else -1
};

int open_run(PlacementRecords& rec, double lo, bool loKnown) {
  if (rec.nRuns == kMaxRuns) {
    rec.lost++;
    return -1;
  }
  Run& r = rec.runs[rec.nRuns];
  r.lo = lo;
  r.hi = lo;
  r.loKnown = loKnown;
  r.closed = false;
  r.best.c = r.best.v = -INFINITY;
  r.best.theta = lo;
  r.next = -1;
  r.continued = false;
  r.done = false;
  return rec.nRuns++;
}

void offer(PlacementRecords& rec, int run, const Node& n) {
  if (run >= 0 && score(n) > score(rec.runs[run].best)) rec.runs[run].best = n;
}

void close_run(PlacementRecords& rec, int run, double hi) {
  if (run < 0) return;
  rec.runs[run].hi = hi;
  rec.runs[run].closed = true;
}

void add_touch(PlacementRecords& rec, const Node& n) {
  if (rec.nTouches == kMaxTouches) {
    rec.lost++;
    return;
  }
  rec.touches[rec.nTouches++] = n;
}

// A zero between nodes a and b (opposite sides) as a touching event; returns its theta (the
// middle of the bracket when it could not be resolved).
double root_event(const PlacementSetup& ps, PlacementRecords& rec, const Node& a, const Node& b) {
  Node r;
  if (find_root(ps, rec, a, b, r)) {
    add_touch(rec, r);
    return r.theta;
  }
  rec.unresolved++;
  return 0.5 * (a.theta + b.theta);
}

// A local extremum of the clearance at t.cur (between t.prev and next) near 0: a tangential
// touch, or two zeros the grid stepped over, splitting or adding a clear run.
void check_extremum(const PlacementSetup& ps, PlacementRecords& rec, Track& t, const Node& next) {
  const Node &a = t.prev, &m = t.cur, &b = next;
  if (m.c > 0) {
    if (!(m.c < kNearTouch && m.c < a.c && m.c <= b.c)) return;
    Node low;
    if (!minimise(ps, rec, a, m, b, 1.0, edge_clearance, low) || low.c > kPlacementTouchTolerance)
      return;
    double from, to;
    if (low.c >= -kPlacementTouchTolerance) {
      add_touch(rec, low);
      from = to = low.theta;
    } else {
      from = root_event(ps, rec, a, low);
      to = root_event(ps, rec, low, b);
    }
    close_run(rec, t.run, from);
    t.run = open_run(rec, to, true);
    if (m.theta > to) offer(rec, t.run, m);
  } else {
    if (!(m.c > -kNearTouch && m.c > a.c && m.c >= b.c)) return;
    Node high;
    if (!minimise(ps, rec, a, m, b, -1.0, edge_clearance, high) ||
        high.c < -kPlacementTouchTolerance)
      return;
    if (high.c <= kPlacementTouchTolerance) {
      add_touch(rec, high);
      return;
    }
    const double from = root_event(ps, rec, a, high);
    const double to = root_event(ps, rec, high, b);
    const int run = open_run(rec, from, true);
    offer(rec, run, high);
    close_run(rec, run, to);
  }
}

// Moves track t on to node `next` of its branch: extremum at the current node, zero on the
// step, clear run bookkeeping.
void advance(const PlacementSetup& ps, PlacementRecords& rec, Track& t, const Node& next) {
  if (t.hasPrev) check_extremum(ps, rec, t, next);
  if (positive(t.cur.c) != positive(next.c)) {
    const double at = root_event(ps, rec, t.cur, next);
    if (positive(t.cur.c)) {
      close_run(rec, t.run, at);
      t.run = -1;
    } else {
      t.run = open_run(rec, at, true);
    }
  }
  if (t.slot >= 0) {
    rec.firstNext[t.slot] = next;
    rec.hasFirstNext[t.slot] = true;
    t.slot = -1;
  }
  t.prev = t.cur;
  t.hasPrev = true;
  t.cur = next;
  if (positive(next.c)) offer(rec, t.run, next);
}

// Where a branch should be at theta, carrying on the step from pose `before` to pose `cur` in a
// straight line (cur's joints when there is no step before).
void predict(const PlacementSetup& ps, const Node& cur, const Node& before, bool hasBefore,
             double theta, double q[]) {
  for (int k = 0; k < kSlots; k++) q[k] = cur.q[k];
  const double span = cur.theta - before.theta;
  if (!hasBefore || span == 0) return;
  const double f = (theta - cur.theta) / span;
  for (int i : {ps.I, ps.J, ps.K}) q[i] = cur.q[i] + f * wrap_angle(cur.q[i] - before.q[i]);
}

// The pose among nodes[0..n-1] nearest to the prediction `pred` within kSmoothStep of pose
// `from`; its index, or -1.
int nearest_step(const PlacementSetup& ps, const Node nodes[], int n, const double pred[],
                 const Node& from) {
  int best = -1;
  double bestDist = INFINITY;
  for (int k = 0; k < n; k++) {
    if (position_distance(ps, nodes[k].q, from.q) > kSmoothStep) continue;
    const double d = position_distance(ps, nodes[k].q, pred);
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
int walk(const PlacementSetup& ps, PlacementRecords& rec, const Node& from, const Node& before,
         bool hasBefore, double to, const Node target[], int nTarget, Node path[kWalkMax],
         int& nPath) {
  nPath = 0;
  const Node* cur = &from;
  const Node* prev = &before;
  double step = to - from.theta;
  for (int it = 0; it < kWalkMax; it++) {
    const double remaining = to - cur->theta;
    const bool last = std::fabs(step) >= std::fabs(remaining);
    const double theta = last ? to : cur->theta + step;
    double pred[kSlots];
    predict(ps, *cur, *prev, hasBefore, theta, pred);
    if (last) {
      const int k = nearest_step(ps, target, nTarget, pred, *cur);
      if (k >= 0) return k;
    } else {
      Node nodes[4];
      double cand[4][kJointSlots];
      const int n = positions_at(ps, rec, theta, cand);
      for (int i = 0; i < n; i++) set_joints(ps, theta, cand[i], nodes[i]);
      const int k = nearest_step(ps, nodes, n, pred, *cur);
      if (k >= 0) {
        finish_node(ps, rec, false, nodes[k]);
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
void start_track(const PlacementSetup& ps, PlacementRecords& rec, const Node& node, double back,
                 Track& t) {
  Node path[kWalkMax];
  int n;
  walk(ps, rec, node, node, false, back, nullptr, 0, path, n);
  rec.branches++;
  t.cur = n > 0 ? path[n - 1] : node;
  t.hasPrev = false;
  t.slot = -1;
  t.run = positive(t.cur.c) ? open_run(rec, t.cur.theta, true) : -1;
  if (t.run >= 0) offer(rec, t.run, t.cur);
  for (int k = n - 2; k >= 0; k--) advance(ps, rec, t, path[k]);
  if (n > 0) advance(ps, rec, t, node);
}

// Moves the tracks on to the poses nodes[0..n-1] of the sample at theta: each takes the pose
// nearest to where it should be when that is a small step, else walks its branch there (or to
// its end). claimed[k] is the track that took pose k, or -1. Ended tracks close their runs.
int step_tracks(const PlacementSetup& ps, PlacementRecords& rec, Track tracks[], int nTracks,
                const Node nodes[], int n, double theta, Track moved[4], int claimed[4]) {
  bool done[4] = {false, false, false, false};
  for (int k = 0; k < 4; k++) claimed[k] = -1;
  // Small steps first, nearest first.
  double dist[4][4];
  for (int i = 0; i < nTracks; i++) {
    double pred[kSlots];
    predict(ps, tracks[i].cur, tracks[i].prev, tracks[i].hasPrev, theta, pred);
    for (int k = 0; k < n; k++) {
      dist[i][k] = position_distance(ps, nodes[k].q, pred);
      if (position_distance(ps, nodes[k].q, tracks[i].cur.q) > kSmoothStep ||
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
    advance(ps, rec, moved[bk], nodes[bk]);
  }
  // The others walk.
  for (int i = 0; i < nTracks; i++) {
    if (done[i]) continue;
    Track& t = tracks[i];
    Node path[kWalkMax];
    int nPath;
    const int k = walk(ps, rec, t.cur, t.prev, t.hasPrev, theta, nodes, n, path, nPath);
    for (int p = 0; p < nPath; p++) advance(ps, rec, t, path[p]);
    if (k >= 0 && claimed[k] < 0) {
      claimed[k] = i;
      moved[k] = t;
      advance(ps, rec, moved[k], nodes[k]);
    } else {
      // Its branch ends here, or it ran into a pose another track holds.
      close_run(rec, t.run, t.cur.theta);
    }
  }
  return n;
}

// The sweep over theta = -PI + j h, j = 0..S, sample S being sample 0 a turn on. The tracks
// begun at sample 0 hold runs whose start is open; the step into sample S closes the ring: a
// run arriving at a pose of sample 0 continues into the run begun there, a branch that begins
// just before sample S is walked back to its start, and the extremum test at sample 0 is made
// with the pose before it.
}  // namespace

void sweep(const PlacementSetup& ps, PlacementRecords& rec, int S) {
  const double t0 = -PI;
  Node first[4];
  const int n0 = family(ps, rec, t0, first);
  int seamRun[4] = {-1, -1, -1, -1};
  Track tracks[4];
  for (int k = 0; k < n0; k++) {
    Track& t = tracks[k];
    rec.branches++;
    t.cur = first[k];
    t.hasPrev = false;
    t.slot = k;
    t.run = positive(first[k].c) ? open_run(rec, t0, false) : -1;
    seamRun[k] = t.run;
    if (t.run >= 0) offer(rec, t.run, first[k]);
  }
  int nTracks = n0;
  for (int j = 1; j <= S; j++) {
    const double theta = t0 + j * ps.h;
    Node nodes[4];
    int n;
    if (j == S) {
      n = n0;
      for (int k = 0; k < n; k++) nodes[k] = first[k], nodes[k].theta = theta;
    } else {
      n = family(ps, rec, theta, nodes);
    }
    Track moved[4];
    int claimed[4];
    step_tracks(ps, rec, tracks, nTracks, nodes, n, theta, moved, claimed);
    if (j < S) {
      for (int k = 0; k < n; k++)
        if (claimed[k] < 0) start_track(ps, rec, nodes[k], theta - ps.h, moved[k]);
      for (int k = 0; k < n; k++) tracks[k] = moved[k];
      nTracks = n;
      continue;
    }
    for (int k = 0; k < n; k++) {
      Track t;
      if (claimed[k] >= 0) {
        t = moved[k];
      } else {
        start_track(ps, rec, nodes[k], theta - ps.h, t);
        rec.branches--;  // the branch was counted at sample 0
      }
      if (t.hasPrev && rec.hasFirstNext[k]) check_extremum(ps, rec, t, rec.firstNext[k]);
      if (t.run < 0) continue;
      if (seamRun[k] >= 0) {
        rec.runs[t.run].next = seamRun[k];
        rec.runs[seamRun[k]].continued = true;
      } else {
        close_run(rec, t.run, theta);
      }
    }
  }
}

namespace {

// Appends a clear family with best pose `best` over [lo, hi] to events[n..] (room in all).
void emit_run(PlacementRecords& rec, const Node& best, double lo, double hi, Event events[],
              int room, int& n) {
  if (!(best.c > -INFINITY)) return;  // no pose was offered to it
  if (n == room) {
    rec.lost++;
    return;
  }
  events[n++] = {best, lo, hi, false};
}

// The runs as events: runs joined across the seam are one family; a chain of runs that closes
// on itself is a branch clear all round. Returns the number of events written.
int collect_runs(PlacementRecords& rec, Event events[], int room) {
  int n = 0;
  for (int r = 0; r < rec.nRuns; r++) {
    if (rec.runs[r].continued || rec.runs[r].done) continue;
    Node best = rec.runs[r].best;
    double shift = 0;
    int x = r;
    rec.runs[r].done = true;
    while (rec.runs[x].next >= 0 && !rec.runs[rec.runs[x].next].done) {
      x = rec.runs[x].next;
      shift += 2 * PI;
      rec.runs[x].done = true;
      Node b = rec.runs[x].best;
      b.theta += shift;
      if (score(b) > score(best)) best = b;
    }
    const double lo = rec.runs[r].loKnown ? rec.runs[r].lo : -PI;
    const double hi = rec.runs[x].closed ? rec.runs[x].hi + shift : lo + 2 * PI;
    emit_run(rec, best, lo, std::min(hi, lo + 2 * PI), events, room, n);
  }
  // What is left are cycles of runs, each begun at the seam: clear for every theta.
  for (int r = 0; r < rec.nRuns; r++) {
    if (rec.runs[r].done) continue;
    Node best = rec.runs[r].best;
    for (int x = rec.runs[r].next; x >= 0 && !rec.runs[x].done; x = rec.runs[x].next) {
      rec.runs[x].done = true;
      if (score(rec.runs[x].best) > score(best)) best = rec.runs[x].best;
    }
    rec.runs[r].done = true;
    emit_run(rec, best, -PI, PI, events, room, n);
  }
  return n;
}

// Moves a run's best sample to the run's pose of largest score (within a grid step of it,
// inside the run).
void refine_best(const PlacementSetup& ps, PlacementRecords& rec, Event& ev) {
  const Node& best = ev.node;
  const double from = std::max(ev.lo, best.theta - ps.h), to = std::min(ev.hi, best.theta + ps.h);
  Node top;
  if (peak_near(ps, rec, best, from, to, score, top) && score(top) >= score(best)) ev.node = top;
}
}  // namespace

int collect_events(const PlacementSetup& ps, PlacementRecords& rec, Event events[kMaxEvents]) {
  int nEvents = 0;
  // Every pose cuts in when an arm that never moves does.
  if (ps.cFixed < -kPlacementTouchTolerance) return 0;
  for (int t = 0; t < rec.nTouches; t++) events[nEvents++] = {rec.touches[t], 0, 0, true};
  nEvents += collect_runs(rec, events + nEvents, kMaxEvents - nEvents);
  for (int e = 0; e < nEvents; e++)
    if (!events[e].touch) refine_best(ps, rec, events[e]);
  // No event, yet the best pose met comes within the tolerance of touching: a tangential
  // touch from the wall side that no local test saw.
  if (nEvents == 0 && rec.anyPositioned && rec.highest.c >= -kPlacementTouchTolerance)
    events[nEvents++] = {rec.highest, 0, 0, true};
  return nEvents;
}

}  // namespace placement
