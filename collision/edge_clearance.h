// Clearance of the arms from the wall's free edge: how far each arm's tube stays from the edge, or
// how deep it cuts in there. The edge is the vertical ray from rh upward; behind it lies the
// half-plate in the plane y = rh.y with x <= rh.x and z >= rh.z (the region contact_check treats
// as the wall). Arm m (1..N-1) is the segment from joint m to joint m+1, a tube of the link
// radius. This is the function whose zeros are the touching poses; whether a pose is free of the
// wall plate, the floor, the hand and the workpiece is the workcell's judgement
// (collision/workcell_check.h). Lengths in model units. No shared state.
#pragma once

#include "math/vecmat.h"

// Where on an arm its point nearest the edge (or its crossing of the wall plate) lies.
enum ContactPlace {
  kContactInside,   // strictly between the arm's two joints: line contact
  kContactAtStart,  // at joint m, the arm's start
  kContactAtEnd,    // at joint m+1, the arm's end
};

// One arm against the wall.
struct SegmentClearance {
  // Distance between the segment and the edge ray less the radius; when the segment crosses the
  // wall plate, -(radius + k) with k >= 0 how far behind the edge (toward -x) it crosses. Both
  // agree (-radius) for a crossing on the edge, so the value is continuous wherever a segment
  // enters the wall through its edge.
  double value;
  double along;   // place of the nearest point (or the crossing) on the segment, 0..1
  double height;  // height of the nearest edge point (or of the crossing) above rh, >= 0
  int crossing;   // 1 when the segment crosses the wall plate, else 0
};

// The clearance of the segment a..b with tube radius `radius`. Finite for finite input.
void segment_edge_clearance(const Vec3& a, const Vec3& b, const Vec3& rh, double radius,
                            SegmentClearance& out);

// The clearance of a whole pose: the smallest segment value over the arms.
struct ArmClearance {
  double c;            // smallest value over the arms: > 0 apart, 0 touching, < 0 cutting in
  int arm;             // the arm that gives it (the lowest-numbered on a tie)
  ContactPlace place;  // where on that arm the nearest point or the crossing lies
  double along;        // distance of that point from joint `arm`, model units
  double height;       // height of the edge point nearest it above rh
  int crossing;        // 1 when that arm crosses the wall plate
};

// The clearance over arms first..last (1 <= first <= last <= N-1) for the joint positions
// Jpos[first..last+1]. Returns out.c.
double arms_edge_clearance(const Vec3 Jpos[], const double Llen[], int first, int last,
                           const Vec3& rh, double radius, ArmClearance& out);
