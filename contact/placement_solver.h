// The placement solver's own data, shared by its parts in namespace placement (not part of the
// public interface):
// what is fixed for one solve apart from the records the sweep writes.
//   placement_branches: the positioned poses at a theta and their clearances (nodes), on one
//     branch between two nodes, and Brent's root and minimiser along a branch;
//   placement_sweep: the tracks of the branches over the grid, their clear runs and touches,
//     and the events (poses to list) made of them;
//   placement_result: each event's full poses checked, ordered and the status;
//   placement: the entry point, the input check and the set-up.
#pragma once

#include "collision/geometry.h"
#include "contact/placement.h"
#include "math/vecmat.h"
#include "model/state.h"

namespace placement {

constexpr int kSlots = kMaxJoints + 1;  // joint slots used inside: 0..N
constexpr int kMaxRuns = 64;
constexpr int kMaxTouches = 64;
constexpr int kMaxEvents = kMaxRuns + kMaxTouches;  // room for the events of one solve

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

// A pose that became a listed one: from a touching event, or the representative of a run.
struct Event {
  Node node;
  double lo, hi;
  bool touch;
};

// What one solve keeps fixed: the scene, the goal-fixed joints, which arms move along the
// family and the clearance of those that do not.
struct PlacementSetup {
  const RobotModel& robot;
  const Workcell& cell;
  int N, L, I, J, K;
  double held[kJointSlots];     // qInit: the joints no solver sets
  Vec3 wristCentre;             // joint N-1 of every positioned pose
  Vec3 lastJoint;               // joint N of every positioned, oriented pose
  int firstMoving, lastMoving;  // the arms whose clearance changes along the family
  double cFixed;                // clearance of the other arms, the same for every pose
  WallRect plate;               // the wall plate
  double h;                     // grid step

  PlacementSetup(const RobotModel& r, const Workcell& w) : robot(r), cell(w) {}
};

// What the sweep writes: the runs and touches found, the best poses met and the tallies.
struct PlacementRecords {
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
};

}  // namespace placement
