// Closed-form distances between the workcell's shapes: segments (the axes of the tubes), oriented
// boxes (the workpiece, the user's obstacles) and an axis-aligned rectangle standing in a plane y =
// const (the wall plate). Every routine is exact up to rounding, allocates nothing and keeps no
// state. Lengths in model units, world frame.
#pragma once

#include "math/vecmat.h"

// A rectangle in the plane y = y, spanning x0..x1 and z0..z1 (x0 <= x1, z0 <= z1).
struct WallRect {
  double y;
  double x0, x1;
  double z0, z1;
};

// An oriented box: centre c, axes the columns of R, half-extents h along them.
struct OrientedBox {
  Vec3 c;
  Mat3 R;
  double h[3];
};

// The part of a rectangle a nearest point lies on.
enum RectFeature {
  kRectFace,    // inside
  kRectEdgeX1,  // on the edge x = x1 (corners included)
  kRectEdgeX0,  // on the edge x = x0 (corners included)
  kRectEdgeZ1,  // on the edge z = z1
  kRectEdgeZ0,  // on the edge z = z0
};

// Where the segment a..b lies against a rectangle: the distance between the two (0 when they
// meet), the nearest point on the rectangle and its feature. When the segment passes through the
// rectangle's interior, `depth` is how far its crossing lies inside, from the nearest rectangle
// edge (> 0); else 0.
struct SegmentRect {
  double distance;
  double depth;
  Vec3 onRect;
  RectFeature feature;
};

// std::fmax and std::fmin inlined, with their results (the number when the other is NaN, the
// second on a tie): libm's call costs more than the small routines that use them. Written so
// that the compiler makes the comparison one maxsd or minsd, after a test for a NaN y.
inline double max_of(double x, double y) {
  return y != y ? x : (x > y ? x : y);
}
inline double min_of(double x, double y) {
  return y != y ? x : (x < y ? x : y);
}

// The gap between the axis-aligned boxes lo..hi and boxLo..boxHi (boxLo <= boxHi), per axis: how
// far the second lies beyond hi (> 0) or below lo (< 0); 0 where they overlap. Its length is a
// lower bound of the distance between what the two boxes hold.
inline Vec3 bounds_gap(const Vec3& lo, const Vec3& hi, const Vec3& boxLo, const Vec3& boxHi) {
  return {max_of(0.0, boxLo.x - hi.x) - max_of(0.0, lo.x - boxHi.x),
          max_of(0.0, boxLo.y - hi.y) - max_of(0.0, lo.y - boxHi.y),
          max_of(0.0, boxLo.z - hi.z) - max_of(0.0, lo.z - boxHi.z)};
}

// The same gap between the box lo..hi and the bounding box of segment p..q.
inline Vec3 box_gap(const Vec3& lo, const Vec3& hi, const Vec3& p, const Vec3& q) {
  return bounds_gap(lo, hi, {min_of(p.x, q.x), min_of(p.y, q.y), min_of(p.z, q.z)},
                    {max_of(p.x, q.x), max_of(p.y, q.y), max_of(p.z, q.z)});
}

// The squared distance between segments p0..p1 and q0..q1 (either may be a point). Kept for the
// tests, which hold other routines' nearest points to it.
double segment_segment_distance2(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1);

// The same, and a nearest point of each segment: onP on p0..p1, onQ on q0..q1.
double segment_segment_nearest(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1,
                               Vec3& onP, Vec3& onQ);

// The segment a..b against rectangle r. Writes out.
void segment_rect(const Vec3& a, const Vec3& b, const WallRect& r, SegmentRect& out);

// A lower bound of the distance between segment a..b and rectangle r: the gap between their
// bounding boxes. away is the gap's unit direction from the rectangle towards the segment, zero
// when the bounding boxes meet.
double segment_rect_bound(const Vec3& a, const Vec3& b, const WallRect& r, Vec3& away);

// A lower bound of the distance between a solid box and rectangle r: the distance of the box's
// centre from r less the box's half-diagonal. away is the unit vector from r's point nearest the
// centre towards it, zero when the centre lies on r.
double box_rect_bound(const OrientedBox& box, const WallRect& r, Vec3& away);

// The squared distance between segment a..b and the solid box (0 when they meet).
double segment_box_distance2(const Vec3& a, const Vec3& b, const OrientedBox& box);

// The signed separation of a solid box and rectangle r: their distance when apart, minus the
// least translation that parts them (separating axes) when they overlap. feature is the part of
// the rectangle nearest the box (for an overlap, the part the box reaches through).
double box_rect_clearance(const OrientedBox& box, const WallRect& r, RectFeature& feature);

// The lowest height (z) of any point of the box.
double box_bottom(const OrientedBox& box);

// The box's extent along n: the largest n . x over its corners.
double box_support(const OrientedBox& box, const Vec3& n);

// The box's world bounding box lo..hi.
void box_bounds(const OrientedBox& box, Vec3& lo, Vec3& hi);

// Cheap lower bounds of the clearances below (equal to them where the two meet): the largest
// separation along the separating axes, less the radius; away is that axis, turned from the
// obstacle towards the body (a normal of a plane parting them when the bound is positive, for a
// box; when it exceeds the radius, for a tube).
double tube_box_bound(const Vec3& a, const Vec3& b, double radius, const OrientedBox& box,
                      Vec3& away);
double box_box_bound(const OrientedBox& body, const OrientedBox& obstacle, Vec3& away);

// The signed clearance of the tube a..b (radius) from the solid box, given `bound`, the result
// of tube_box_bound for the same shapes: the distance of segment and box less the radius when
// apart, else -(radius + the least translation that parts segment and box). away is the unit
// vector from the box's nearest point towards the segment's, a normal of a plane parting the
// two; zero when they meet. NaN for input that is no number.
double tube_box_clearance_from(const Vec3& a, const Vec3& b, double radius, const OrientedBox& box,
                               double bound, Vec3& away);
// The signed clearance of two solid boxes, given `bound`, the result of box_box_bound for the
// same shapes: their distance when apart, minus the least translation that parts them
// (separating axes) when they overlap. away is the unit vector from the obstacle's nearest point
// towards the body's, a normal of a plane parting the two; zero when they meet. NaN for input
// that is no number.
double box_box_clearance_from(const OrientedBox& body, const OrientedBox& obstacle, double bound,
                              Vec3& away);

// Where the rectangle's nearest feature to the convex hull of corners[0..count-1] is plain to see,
// found without the edge pairs. Over the face: every corner lies strictly on one side of the
// rectangle's plane and the corner nearest the plane lies over the rectangle (edges included);
// the hull's distance from the rectangle is then that corner's height, and side is +1 or -1, the
// hull's side along y. False elsewhere.
bool hull_rect_distance_over_face(const Vec3 corners[], int count, const WallRect& r,
                                  double& distance, double& side);

// Beyond an edge: every corner lies strictly past one edge's line (x = x0, x1, z = z0 or z1, on
// either side of the plane). For any point of the rectangle the point of that edge level with it
// lies nearer every point of the hull, so the hull's distance from the rectangle is its distance
// from the edge from..to. False where no edge has every corner past it.
bool rect_edge_beyond_hull(const Vec3 corners[], int count, const WallRect& r, Vec3& from,
                           Vec3& to);
