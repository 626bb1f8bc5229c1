// The placement solver's evaluator: the positioned poses of the family at a value theta of
// joint Lcont (pinv4's candidates) as nodes with their clearances, the pose on one branch
// between two nodes of it, and Brent's root and minimiser (math/brent.h) along a branch.
// Each pinv4 call counts in rec.evaluations; every node made is offered to rec's best poses
// (highest, leastDeep). Angles in radians.
#pragma once

#include "contact/placement_solver.h"

namespace placement {

// How clear a pose is of everything: the least of its edge and workcell clearances. Clear
// families are represented by their pose of largest score.
double score(const Node& n);
// The node's edge clearance c, and its workcell clearance v.
double edge_clearance(const Node& n);
double workcell_value(const Node& n);

// Joint distance over the positioning joints I, J, K alone (modulo turns).
double position_distance(const PlacementSetup& ps, const double a[], const double b[]);

// Newton steps on the positioning joints of q that put joint N-1 on the wrist centre, to the
// limit of double precision (the closed form may leave up to 1e-6). Keeps the best iterate.
// Not ik's pinv_polish: that one closes the chain in joint I's frame and ends on other last bits,
// which the listed poses (--solve, --map) would show.
void polish(const PlacementSetup& ps, double q[]);

// The positioned poses at theta (pinv4's candidates), 0..4.
int positions_at(const PlacementSetup& ps, PlacementRecords& rec, double theta,
                 double cand[4][kJointSlots]);

// A node at theta with the joints of candidate q; its clearance is not yet known.
void set_joints(const PlacementSetup& ps, double theta, const double q[], Node& n);

// Completes a node: polished when asked (or when its clearance comes within 1e-5 of 0), its
// clearance, and the record of the best positioned pose.
void finish_node(const PlacementSetup& ps, PlacementRecords& rec, bool polished, Node& n);

// Every positioned pose at theta as a node, written to nodes; returns their number.
int family(const PlacementSetup& ps, PlacementRecords& rec, double theta, Node nodes[4]);

// The pose at theta on the branch between nodes a and b of it: the candidate that lies most
// nearly between them (least joint distance to a plus to b, at most 1 rad more than a to b),
// polished. False when there is none.
bool eval_between(const PlacementSetup& ps, PlacementRecords& rec, double theta, const Node& a,
                  const Node& b, Node& out);

// Brent's method for the clearance's zero between nodes a and b of one branch, whose values lie
// on opposite sides (c > 0 and c <= 0): out is the bracket end of smaller |c| once the bracket
// is 1e-13 wide. False when the branch cannot be followed inside.
bool find_root(const PlacementSetup& ps, PlacementRecords& rec, const Node& a, const Node& b,
               Node& out);

// Brent's minimiser of sign * f over [a.theta, b.theta] on one branch, from m inside; poses
// are taken between a and m, or m and b. False when the branch cannot be followed.
bool minimise(const PlacementSetup& ps, PlacementRecords& rec, const Node& a, const Node& m,
              const Node& b, double sign, double (*f)(const Node&), Node& out);

// The pose of largest f on the branch of node `best` for theta in [from, to] (which holds
// best.theta), by Brent's method from it. False when the branch cannot be followed.
bool peak_near(const PlacementSetup& ps, PlacementRecords& rec, const Node& best, double from,
               double to, double (*f)(const Node&), Node& top);

}  // namespace placement
