// The closed-form distances of collision/geometry.h against this file's own computations: dense
// points on one shape measured exactly against the other (an upper bound of the distance, at
// most half a sample step above it), and for an overlap of box and plate the depth from a
// brute-force hull of their difference.
#include "collision/geometry.h"

#include <fcl/geometry/shape/box.h>
#include <fcl/geometry/shape/capsule.h>
#include <fcl/narrowphase/collision.h>
#include <fcl/narrowphase/collision_object.h>
#include <fcl/narrowphase/distance.h>

#include <random>

#include "collision_support.h"
#include "support.h"

namespace {

using namespace judge;

// The whole clearance of a tube or a box from a solid box as the workcell's checks measure it:
// the cheap bound along the separating axes, then the measurement that starts from it.
double tube_box_clearance(const Vec3& a, const Vec3& b, double radius, const OrientedBox& box,
                          Vec3& away) {
  Vec3 axis;
  return tube_box_clearance_from(a, b, radius, box, tube_box_bound(a, b, radius, box, axis), away);
}
double box_box_clearance(const OrientedBox& body, const OrientedBox& obstacle, Vec3& away) {
  Vec3 axis;
  return box_box_clearance_from(body, obstacle, box_box_bound(body, obstacle, axis), away);
}

constexpr int kSamples = 2000;  // points per sampled segment
constexpr double kRound = 1e-12;
constexpr double kNearZero = 1e-6;  // FCL decides touches within about this

struct Rng {
  std::mt19937 gen;
  double u(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(gen); }
};

WallRect random_rect(Rng& g) {
  const double x0 = g.u(-2, 0), z0 = g.u(-1, 1);
  return {g.u(-1, 1), x0, x0 + g.u(0.05, 3), z0, z0 + g.u(0.05, 3)};
}

// A point around the rectangle, within `dy` of its plane.
Vec3 point_near(Rng& g, const WallRect& r, double dy) {
  return {g.u(r.x0 - 1, r.x1 + 1), g.u(r.y - dy, r.y + dy), g.u(r.z0 - 1, r.z1 + 1)};
}

// A segment from a, long or (one time in four) short.
Vec3 segment_end(Rng& g, const Vec3& a, const WallRect& r) {
  if (g.u(0, 1) < 0.25) return add(a, {g.u(-0.05, 0.05), g.u(-0.05, 0.05), g.u(-0.05, 0.05)});
  return point_near(g, r, 1.5);
}

Mat3 random_rotation(Rng& g) {
  std::normal_distribution<double> n;
  double w = n(g.gen), x = n(g.gen), y = n(g.gen), z = n(g.gen);
  const double k = 1 / std::sqrt(w * w + x * x + y * y + z * z);
  w *= k, x *= k, y *= k, z *= k;
  return {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),  //
           2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),  //
           2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
}

OrientedBox random_box(Rng& g, const WallRect& r) {
  return {
      point_near(g, r, 0.6), random_rotation(g), {g.u(0.02, 0.5), g.u(0.02, 0.5), g.u(0.02, 0.5)}};
}

// The support function of (box - rectangle) along unit u: how far the two overlap along u, so
// minus it bounds their signed separation from below.
double support_gap(const OrientedBox& b, const WallRect& r, const Vec3& u) {
  const Vec3 rc = {0.5 * (r.x0 + r.x1), r.y, 0.5 * (r.z0 + r.z1)};
  double h = dot(sub(b.c, rc), u) + 0.5 * (r.x1 - r.x0) * std::fabs(u.x) +
             0.5 * (r.z1 - r.z0) * std::fabs(u.z);
  for (int i = 0; i < 3; i++) h += b.h[i] * std::fabs(dot(axis(b.R, i), u));
  return h;
}

// The distance of the origin from the boundary of the hull of points p[0..n-1] (the difference
// set of two convex shapes: the least translation that parts them), found by brute force over
// every plane through three of them that has all on one side. Negative when the origin lies
// outside the hull (the two apart).
double hull_depth(const Vec3 p[], int count) {
  double depth = INFINITY;
  for (int i = 0; i < count; i++)
    for (int j = i + 1; j < count; j++)
      for (int k = j + 1; k < count; k++) {
        Vec3 n;
        vcross(sub(p[j], p[i]), sub(p[k], p[i]), n);
        const double len = norm(n);
        if (len < 1e-9) continue;  // three points on a line: no plane
        n = scale(1 / len, n);
        const double d = dot(n, p[i]);
        bool above = false, below = false;
        for (int m = 0; m < count && !(above && below); m++) {
          const double off = dot(n, p[m]) - d;
          above |= off > 1e-12, below |= off < -1e-12;
        }
        if (!(above && below)) depth = std::min(depth, above ? -d : d);
      }
  return depth;
}

// The least translation that parts box and rectangle when they overlap: the hull depth of the
// 32 differences of corners.
double hull_depth(const OrientedBox& b, const WallRect& r) {
  Vec3 c[8], p[32];
  box_corners(b, c);
  const Vec3 rc[4] = {{r.x0, r.y, r.z0}, {r.x1, r.y, r.z0}, {r.x1, r.y, r.z1}, {r.x0, r.y, r.z1}};
  for (int i = 0; i < 8; i++)
    for (int k = 0; k < 4; k++) p[4 * i + k] = sub(c[i], rc[k]);
  return hull_depth(p, 32);
}

// Segment to segment: the closed form lies in the bracket of either segment sampled against
// the other. Catches a wrong clamp in the closest-parameter cases (an end against the interior,
// near-parallel pairs).
TEST(Geometry, SegmentSegmentDistanceWithinSampledBracket) {
  const unsigned seed = 2101;
  Rng g{std::mt19937(seed)};
  for (int trial = 0; trial < 3000; trial++) {
    const WallRect space = {0, -1, 1, -1, 1};
    const Vec3 p0 = point_near(g, space, 1), p1 = segment_end(g, p0, space);
    const Vec3 q0 = point_near(g, space, 1);
    // One pair in four nearly parallel: there the determinant of the closest-point equations
    // cancels to a few digits and the parameters lose about half their precision, so the
    // distance may come out a little long (seen: 3.5e-10 on unit lengths); allowed 1e-8.
    const bool parallel = g.u(0, 1) < 0.25;
    const Vec3 q1 = parallel ? add(q0, add(scale(g.u(-1, 1), sub(p1, p0)), {1e-9, 0, 0}))
                             : segment_end(g, q0, space);
    const double tol = parallel ? 1e-8 : kRound;
    const double got = std::sqrt(segment_segment_distance2(p0, p1, q0, q1));
    const double sp = sample_segment(p0, p1, norm(sub(p1, p0)) / kSamples + 1e-300,
                                     [&](const Vec3& p) { return point_segment(p, q0, q1); });
    const double sq = sample_segment(q0, q1, norm(sub(q1, q0)) / kSamples + 1e-300,
                                     [&](const Vec3& q) { return point_segment(q, p0, p1); });
    const double lo =
        std::max(sp - norm(sub(p1, p0)) / (2 * kSamples), sq - norm(sub(q1, q0)) / (2 * kSamples));
    ASSERT_LE(got, std::min(sp, sq) + tol) << "seed " << seed << " trial " << trial;
    ASSERT_GE(got, lo - tol) << "seed " << seed << " trial " << trial;
  }
}

// Segment to rectangle: the distance in the sampled bracket; depth > 0 exactly when the segment
// crosses the plane once, strictly inside, and then equals the crossing's distance from the rim;
// onRect on the rectangle, at the reported distance from the segment, on its named feature.
// Catches a missed edge pair, a crossing taken outside the rectangle, a wrong feature.
TEST(Geometry, SegmentRectAgreesWithSampledGeometry) {
  const unsigned seed = 2102;
  Rng g{std::mt19937(seed)};
  int pierced = 0;
  for (int trial = 0; trial < 5000; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const WallRect r = random_rect(g);
    const Vec3 a = point_near(g, r, 1.5), b = segment_end(g, a, r);
    SegmentRect got;
    segment_rect(a, b, r, got);
    const double len = norm(sub(b, a));
    const double s = sample_segment(a, b, len / kSamples + 1e-300,
                                    [&](const Vec3& p) { return point_rect(p, r); });
    ASSERT_LE(got.distance, s + kRound);
    ASSERT_GE(got.distance, s - len / (2 * kSamples) - kRound);
    const double ha = a.y - r.y, hb = b.y - r.y;
    const Vec3 p = lerp(a, b, ha / (ha - hb));
    const double rim = std::min({p.x - r.x0, r.x1 - p.x, p.z - r.z0, r.z1 - p.z});
    if (ha * hb < 0 && rim > 1e-9) {
      pierced++;
      EXPECT_NEAR(got.depth, rim, 1e-9);
      EXPECT_EQ(got.distance, 0);
    } else if (!(ha * hb < 0 && rim > -1e-9)) {
      EXPECT_EQ(got.depth, 0);
    }
    const Vec3& q = got.onRect;
    // onRect is computed along an edge from its far corner: allow the rounding of that sum.
    ASSERT_TRUE(q.y == r.y && q.x >= r.x0 - kRound && q.x <= r.x1 + kRound &&
                q.z >= r.z0 - kRound && q.z <= r.z1 + kRound);
    EXPECT_NEAR(point_segment(q, a, b), got.distance, 1e-9);
    switch (got.feature) {
      case kRectFace:
        EXPECT_TRUE(q.x > r.x0 && q.x < r.x1 && q.z > r.z0 && q.z < r.z1);
        break;
      case kRectEdgeX1:
        EXPECT_NEAR(q.x, r.x1, kRound);
        break;
      case kRectEdgeX0:
        EXPECT_NEAR(q.x, r.x0, kRound);
        break;
      case kRectEdgeZ1:
        EXPECT_NEAR(q.z, r.z1, kRound);
        break;
      case kRectEdgeZ0:
        EXPECT_NEAR(q.z, r.z0, kRound);
        break;
    }
  }
  EXPECT_GT(pierced, 300);
}

// Segment to solid box and the box's lowest point: the sampled bracket (points measured exactly
// against the box), and the least corner height. Catches a missed piece of the piecewise
// minimisation (a segment grazing an edge or a corner of the box).
TEST(Geometry, SegmentBoxAndBoxBottomAgreeWithSampledGeometry) {
  const unsigned seed = 2103;
  Rng g{std::mt19937(seed)};
  for (int trial = 0; trial < 5000; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const WallRect around = {0, -0.5, 0.5, -0.5, 0.5};
    const OrientedBox box = random_box(g, around);
    const Vec3 a = point_near(g, around, 1), b = segment_end(g, a, around);
    const double got = std::sqrt(segment_box_distance2(a, b, box));
    const double len = norm(sub(b, a));
    const double s = sample_segment(a, b, len / kSamples + 1e-300,
                                    [&](const Vec3& p) { return point_box(p, box); });
    ASSERT_LE(got, s + kRound);
    ASSERT_GE(got, s - len / (2 * kSamples) - kRound);
    Vec3 c[8];
    box_corners(box, c);
    double bottom = INFINITY;
    for (const Vec3& p : c) bottom = std::min(bottom, p.z);
    EXPECT_NEAR(box_bottom(box), bottom, kRound);
  }
}

// Box to rectangle, signed. Apart: within the sampled bracket, and the named rectangle edge as
// near as the box. Overlapping: the depth of the brute-force hull (so never deeper than the
// move along the plate normal or a box axis that parts them, nor shallower than the least
// move). Catches a missing separating axis, a wrong overlap formula, a missed edge pair, a
// wrong feature.
TEST(Geometry, BoxRectClearanceAgreesWithSamplesAndHull) {
  const unsigned seed = 2104;
  Rng g{std::mt19937(seed)};
  constexpr double kStep = 1e-3;  // sample spacing on edges
  int apart = 0, overlapping = 0;
  for (int trial = 0; trial < 2000; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const WallRect r = random_rect(g);
    const OrientedBox box = random_box(g, r);
    RectFeature feature;
    const double got = box_rect_clearance(box, r, feature);
    const double s = box_rect_sampled(box, r, kStep);
    ASSERT_LE(got, s + kRound);
    for (double sign : {-1.0, 1.0}) {
      ASSERT_GE(got, -support_gap(box, r, {0, sign, 0}) - kRound);
      for (int i = 0; i < 3; i++)
        ASSERT_GE(got, -support_gap(box, r, scale(sign, axis(box.R, i))) - kRound);
    }
    const double depth = hull_depth(box, r);
    if (depth > 1e-9) {
      overlapping++;
      ASSERT_NEAR(got, -depth, 1e-9);  // the hull's planes from differences of unit-size points
      continue;
    }
    ASSERT_GE(got, s - kStep / 2 - kRound);
    if (s < kStep) continue;
    apart++;
    const Vec3 rc[4] = {{r.x1, r.y, r.z0}, {r.x1, r.y, r.z1}, {r.x0, r.y, r.z1}, {r.x0, r.y, r.z0}};
    const int edge[5] = {-1, 0, 2, 1, 3};  // the rectangle edge of each feature
    if (feature != kRectFace) {
      const int k = edge[feature];
      const double e = sample_segment(rc[k], rc[(k + 1) % 4], kStep,
                                      [&](const Vec3& p) { return point_box(p, box); });
      EXPECT_LE(e, got + kStep / 2 + kRound) << "feature " << feature;
    }
  }
  EXPECT_GT(apart, 300);
  EXPECT_GT(overlapping, 300);
}

// The plate's nearest feature found without the edge pairs: over the face, or past one edge,
// the distance of a segment's or a box's hull is the full routine's (segment_rect,
// box_rect_clearance), and the nearest points reported on the two segments lie on them at that
// distance. Catches an edge taken as nearest when a corner dips over the face, a corner over the
// face that the plate does not reach, a wrong side.
TEST(Geometry, QuickPlateDistancesAgreeWithTheFullOnes) {
  const unsigned seed = 2107;
  Rng g{std::mt19937(seed)};
  int overFace[2] = {}, pastEdge[2] = {};
  for (int trial = 0; trial < 4000; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const WallRect r = random_rect(g);
    const Vec3 a = point_near(g, r, 1.5), b = segment_end(g, a, r);
    const OrientedBox box = random_box(g, r);
    Vec3 boxCorners[8];
    box_corners(box, boxCorners);
    SegmentRect sr;
    segment_rect(a, b, r, sr);
    RectFeature feature;
    const double boxFull = box_rect_clearance(box, r, feature);
    const Vec3 segment[2] = {a, b};
    for (int shape = 0; shape < 2; shape++) {
      const Vec3* corners = shape == 0 ? segment : boxCorners;
      const int count = shape == 0 ? 2 : 8;
      const double full = shape == 0 ? sr.distance : boxFull;
      double d, side;
      Vec3 from, to;
      if (hull_rect_distance_over_face(corners, count, r, d, side)) {
        overFace[shape]++;
        EXPECT_NEAR(d, full, 1e-12) << "shape " << shape;
        EXPECT_EQ(side, corners[0].y > r.y ? 1 : -1);
      } else if (rect_edge_beyond_hull(corners, count, r, from, to)) {
        pastEdge[shape]++;
        Vec3 onP, onQ;
        d = shape == 0 ? std::sqrt(segment_segment_nearest(a, b, from, to, onP, onQ))
                       : std::sqrt(segment_box_distance2(from, to, box));
        EXPECT_NEAR(d, full, 1e-12) << "shape " << shape;
        if (shape == 0) {
          EXPECT_NEAR(norm(sub(onP, onQ)), d, 1e-12);
          EXPECT_NEAR(norm(sub(onP, a)) + norm(sub(b, onP)), norm(sub(b, a)), 1e-12);
          EXPECT_NEAR(norm(sub(onQ, from)) + norm(sub(to, onQ)), norm(sub(to, from)), 1e-12);
        }
      }
    }
  }
  for (int shape = 0; shape < 2; shape++) {
    EXPECT_GT(overFace[shape], 200) << "shape " << shape;
    EXPECT_GT(pastEdge[shape], 200) << "shape " << shape;
  }
}

// Degenerate and exact-contact cases, each with its value by hand. Catches divisions by a zero
// length, a parallel segment taken as crossing, a touch taken as a gap.
TEST(Geometry, DegenerateCases) {
  const WallRect r = {1, -1, 1, 0, 2};
  SegmentRect sr;
  auto rect = [&](Vec3 a, Vec3 b, double distance, double depth, RectFeature f) {
    segment_rect(a, b, r, sr);
    EXPECT_NEAR(sr.distance, distance, kRound);
    EXPECT_EQ(sr.depth, depth);
    EXPECT_EQ(sr.feature, f);
  };
  rect({0, 3, 1}, {0, 3, 1}, 2, 0, kRectFace);                   // point in front of the face
  rect({0, 1, 1}, {0, 1, 1}, 0, 0, kRectFace);                   // point on the face
  rect({2, 1, 3}, {2, 1, 3}, std::sqrt(2.0), 0, kRectEdgeX1);    // point beyond a corner
  rect({-0.5, 1.5, 1}, {0.5, 1.5, 1}, 0.5, 0, kRectFace);        // parallel to the plate
  rect({-2, 1, 1}, {2, 1, 1}, 0, 0, kRectEdgeX1);                // in its plane, across it
  rect({2, 1, -1}, {3, 1, -1}, std::sqrt(2.0), 0, kRectEdgeX1);  // in its plane, outside
  rect({-0.5, 2, 2.5}, {0.5, 2, 2.5}, std::sqrt(1.25), 0, kRectEdgeZ1);  // along the top edge
  rect({-0.5, 1, 3}, {0.5, 1, 3}, 1, 0, kRectEdgeZ1);                    // in the plane along it
  rect({0, 2, 1}, {0, 1, 1}, 0, 1, kRectFace);                           // ends on the face
  rect({1, 0, 1}, {1, 2, 1}, 0, 0, kRectEdgeX1);                         // through the edge exactly
  rect({0.5, 0, -1}, {0.5, 2, 3}, 0, 0.5, kRectFace);  // through the face, slanted

  const Vec3 o = {0, 0, 0}, x1 = {1, 0, 0};
  EXPECT_NEAR(segment_segment_distance2(o, o, {0, 3, 4}, {0, 3, 4}), 25, kRound);  // points
  EXPECT_NEAR(segment_segment_distance2(o, o, {-1, 2, 0}, {1, 2, 0}), 4, kRound);  // point, segment
  EXPECT_NEAR(segment_segment_distance2({0.5, 1, 0}, {3, 1, 0}, o, x1), 1, kRound);    // parallel
  EXPECT_NEAR(segment_segment_distance2({2, 0, 0}, {3, 0, 0}, o, x1), 1, kRound);      // collinear
  EXPECT_NEAR(segment_segment_distance2({0.5, 0, 0}, {0.5, 0, 0}, x1, o), 0, kRound);  // on it

  const Mat3 I = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  const OrientedBox box = {{0, 0, 0}, I, {0.5, 0.5, 0.5}};
  EXPECT_EQ(segment_box_distance2({0.1, 0.1, 0.1}, {0.1, 0.1, 0.1}, box), 0);    // point inside
  EXPECT_NEAR(segment_box_distance2({-2, 1, 0}, {2, 1, 0}, box), 0.25, kRound);  // face-parallel
  EXPECT_NEAR(segment_box_distance2({1, 1, 1}, {1, 1, 1}, box), 0.75, kRound);   // corner
  EXPECT_EQ(segment_box_distance2({0.5, 0.5, -3}, {0.5, 0.5, 3}, box), 0);       // along an edge

  RectFeature f;
  const OrientedBox resting = {{0, 1.25, 1}, I, {0.2, 0.25, 0.1}};  // face flush on the plate
  EXPECT_EQ(box_rect_clearance(resting, r, f), 0);  // touching: neither apart nor overlapping
  EXPECT_EQ(box_bottom({{0, 0, 0.1}, I, {0.2, 0.3, 0.1}}), 0);
  // Axes along the plate's edges: no cross-product axes; the least overlap is along y, x, z.
  EXPECT_NEAR(box_rect_clearance({{0, 1, 1}, I, {0.2, 0.3, 0.1}}, r, f), -0.3, kRound);
  EXPECT_NEAR(box_rect_clearance({{1, 1, 1}, I, {0.2, 0.3, 0.1}}, r, f), -0.2, kRound);
  EXPECT_NEAR(box_rect_clearance({{0, 1.1, 2.05}, I, {0.2, 0.3, 0.1}}, r, f), -0.05, kRound);
  EXPECT_NEAR(box_rect_clearance({{1.5, 1, 1}, I, {0.2, 0.3, 0.1}}, r, f), 0.3, kRound);
  EXPECT_EQ(f, kRectEdgeX1);
}

// max_of and min_of give std::fmax's and std::fmin's numbers, NaN and infinities included; the
// gap of two bounding boxes is, axis by axis, how far the second lies beyond the first (signed
// towards it), 0 where they overlap, on random boxes that often touch along an axis. Catches a
// comparison turned round and a gap measured from the wrong side.
TEST(Geometry, MinMaxAndBoundingBoxGaps) {
  const double values[] = {-INFINITY, -2.5, -0.0, 0.0, 1.0, 3.0, INFINITY, NAN};
  for (double x : values) {
    for (double y : values) {
      EXPECT_TRUE(max_of(x, y) == std::fmax(x, y) || (std::isnan(x) && std::isnan(y)));
      EXPECT_TRUE(min_of(x, y) == std::fmin(x, y) || (std::isnan(x) && std::isnan(y)));
    }
  }
  Rng rng{std::mt19937(3301)};
  for (int trial = 0; trial < 2000; trial++) {
    double lo[3], hi[3], blo[3], bhi[3];
    for (int i = 0; i < 3; i++) {
      lo[i] = std::round(rng.u(-3, 3));  // whole numbers: touching boxes are common
      hi[i] = lo[i] + std::round(rng.u(0, 2));
      blo[i] = std::round(rng.u(-3, 3));
      bhi[i] = blo[i] + std::round(rng.u(0, 2));
    }
    const Vec3 gap = bounds_gap({lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]},
                                {blo[0], blo[1], blo[2]}, {bhi[0], bhi[1], bhi[2]});
    const double g[3] = {gap.x, gap.y, gap.z};
    for (int i = 0; i < 3; i++)
      ASSERT_EQ(g[i], blo[i] > hi[i]   ? blo[i] - hi[i]
                      : bhi[i] < lo[i] ? bhi[i] - lo[i]
                                       : 0)
          << "trial " << trial << " axis " << i;
  }
}

// FCL's view of the same shapes: a capsule along a..b, or a box.
fcl::CollisionObjectd fcl_capsule(const Vec3& a, const Vec3& b, double radius) {
  const fcl::Vector3d pa(a.x, a.y, a.z), pb(b.x, b.y, b.z);
  auto shape = std::make_shared<fcl::Capsuled>(radius, (pb - pa).norm());
  const fcl::Quaterniond turn = fcl::Quaterniond::FromTwoVectors(fcl::Vector3d::UnitZ(), pb - pa);
  return fcl::CollisionObjectd(shape, turn.toRotationMatrix(), 0.5 * (pa + pb));
}
fcl::CollisionObjectd fcl_box(const OrientedBox& b) {
  fcl::Matrix3d R;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) R(i, j) = b.R.m[3 * i + j];
  auto shape = std::make_shared<fcl::Boxd>(2 * b.h[0], 2 * b.h[1], 2 * b.h[2]);
  return fcl::CollisionObjectd(shape, R, fcl::Vector3d(b.c.x, b.c.y, b.c.z));
}
double fcl_distance(const fcl::CollisionObjectd& a, const fcl::CollisionObjectd& b) {
  fcl::DistanceRequestd request;
  request.distance_tolerance = 1e-10;
  fcl::DistanceResultd result;
  return fcl::distance(&a, &b, request, result);
}
bool fcl_collide(const fcl::CollisionObjectd& a, const fcl::CollisionObjectd& b) {
  fcl::CollisionRequestd request;
  fcl::CollisionResultd result;
  fcl::collide(&a, &b, request, result);
  return result.isCollision();
}

// The largest n . x over the box's corners.
double corner_support(const OrientedBox& b, const Vec3& n) {
  Vec3 c[8];
  box_corners(b, c);
  double s = -INFINITY;
  for (const Vec3& p : c) s = std::max(s, dot(n, p));
  return s;
}

// FCL's GJK distances (asked for 1e-10) agree with exact ones to about this.
constexpr double kFclDistance = 1e-6;

// Tube to solid box, signed. Apart: the distance within the sampled bracket, and FCL's capsule
// distance; `away` a unit normal of a parting plane (the segment's ends, less the radius, beyond
// the box's corners along it by exactly the clearance). Meeting: minus the radius and the depth
// of the brute-force hull of the 16 end-corner differences, and FCL calls it a collision.
// Catches a missing separating axis (a segment through an edge region), a wrong sign, a wrong
// nearest pair or an `away` that does not part the two.
TEST(Geometry, TubeBoxClearanceAgreesWithSamplesHullAndFcl) {
  const unsigned seed = 2105;
  Rng g{std::mt19937(seed)};
  int apart = 0, meeting = 0, nearZero = 0;
  for (int trial = 0; trial < 4000; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const WallRect around = {0, -0.5, 0.5, -0.5, 0.5};
    const OrientedBox box = random_box(g, around);
    // One segment in two starts near the box's centre: about half of them meet it.
    const Vec3 a = g.u(0, 1) < 0.5 ? add(box.c, {g.u(-0.4, 0.4), g.u(-0.4, 0.4), g.u(-0.4, 0.4)})
                                   : point_near(g, around, 1);
    const Vec3 b = segment_end(g, a, around);
    const double r = g.u(0.01, 0.15);
    Vec3 away;
    const double got = tube_box_clearance(a, b, r, box, away);
    const double len = norm(sub(b, a));
    const double s = sample_segment(a, b, len / kSamples + 1e-300,
                                    [&](const Vec3& p) { return point_box(p, box); });
    const fcl::CollisionObjectd tube = fcl_capsule(a, b, r), solid = fcl_box(box);
    if (std::fabs(got) > kNearZero) {
      EXPECT_EQ(fcl_collide(tube, solid), got < 0) << got;
    } else {
      nearZero++;
    }
    if (s > len / (2 * kSamples)) {  // apart
      apart++;
      ASSERT_LE(got, s - r + kRound);
      ASSERT_GE(got, s - r - len / (2 * kSamples) - kRound);
      ASSERT_NEAR(norm(away), 1, kRound);
      EXPECT_NEAR(std::min(dot(away, a), dot(away, b)) - r - corner_support(box, away), got, 1e-9);
      if (got > kNearZero) {
        EXPECT_NEAR(fcl_distance(tube, solid), got, kFclDistance);
      }
      continue;
    }
    Vec3 c[8], p[16];
    box_corners(box, c);
    for (int k = 0; k < 8; k++) p[2 * k] = sub(a, c[k]), p[2 * k + 1] = sub(b, c[k]);
    const double depth = hull_depth(p, 16);
    if (depth < 1e-9) continue;  // a touch the samples cannot tell from a gap
    meeting++;
    ASSERT_NEAR(got, -(r + depth), 1e-9);
    EXPECT_EQ(norm(away), 0);
  }
  std::printf("[ TUBE-BOX ] %d apart, %d meeting, %d within 1e-6 of zero\n", apart, meeting,
              nearZero);
  EXPECT_GT(apart, 1000);
  EXPECT_GT(meeting, 500);
}

// Box to solid box, signed. Apart: the distance within the bracket of each box's edges sampled
// against the other, and FCL's distance; `away` a parting plane's normal, the body's corners
// beyond the obstacle's by the clearance. Overlapping: minus the depth of the brute-force hull
// of the 64 corner differences; FCL's collision verdict agrees off zero. Catches a missing
// cross-product axis, an edge pair left out, an `away` pointing the wrong way (towards the
// obstacle).
TEST(Geometry, BoxBoxClearanceAgreesWithSamplesHullAndFcl) {
  const unsigned seed = 2106;
  Rng g{std::mt19937(seed)};
  constexpr double kStep = 1e-3;  // sample spacing on edges
  int apart = 0, overlapping = 0;
  for (int trial = 0; trial < 1500 / kSlowdown; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
    const WallRect around = {0, -0.5, 0.5, -0.5, 0.5};
    const OrientedBox body = random_box(g, around);
    // The obstacle within reach of the body: about half the pairs overlap.
    OrientedBox obstacle = random_box(g, around);
    obstacle.c = add(body.c, {g.u(-0.6, 0.6), g.u(-0.6, 0.6), g.u(-0.6, 0.6)});
    Vec3 away;
    const double got = box_box_clearance(body, obstacle, away);
    Vec3 cb[8], co[8];
    box_corners(body, cb);
    box_corners(obstacle, co);
    double s = INFINITY;
    for (const auto& e : kBoxEdge) {
      s = std::min(s, sample_segment(cb[e[0]], cb[e[1]], kStep,
                                     [&](const Vec3& p) { return point_box(p, obstacle); }));
      s = std::min(s, sample_segment(co[e[0]], co[e[1]], kStep,
                                     [&](const Vec3& p) { return point_box(p, body); }));
    }
    const fcl::CollisionObjectd fb = fcl_box(body), fo = fcl_box(obstacle);
    if (std::fabs(got) > kNearZero) {
      EXPECT_EQ(fcl_collide(fb, fo), got < 0) << got;
    }
    ASSERT_LE(got, s + kRound);
    if (s > kStep) {
      apart++;
      ASSERT_GE(got, s - kStep / 2 - kRound);
      ASSERT_NEAR(norm(away), 1, kRound);
      double lowest = INFINITY;
      for (const Vec3& p : cb) lowest = std::min(lowest, dot(away, p));
      EXPECT_NEAR(lowest - corner_support(obstacle, away), got, 1e-9);
      EXPECT_NEAR(fcl_distance(fb, fo), got, kFclDistance);
      continue;
    }
    Vec3 p[64];
    for (int i = 0; i < 8; i++)
      for (int k = 0; k < 8; k++) p[8 * i + k] = sub(cb[i], co[k]);
    const double depth = hull_depth(p, 64);
    if (depth > 1e-9) {
      overlapping++;
      ASSERT_NEAR(got, -depth, 1e-9);
      EXPECT_EQ(norm(away), 0);
    }
  }
  std::printf("[ BOX-BOX  ] %d apart, %d overlapping\n", apart, overlapping);
  EXPECT_GT(apart, 300 / kSlowdown);
  EXPECT_GT(overlapping, 300 / kSlowdown);
}

// Tube-box and box-box cases with their values by hand: a point inside a box, a segment along a
// box's axis through it (its cross axes vanish), a tube beside a face, boxes aligned with each
// other (parallel edges, no cross axes) overlapping and flush, input that is no number.
TEST(Geometry, ObstacleDegenerateCases) {
  const Mat3 I = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  const OrientedBox box = {{0, 0, 0}, I, {0.5, 0.4, 0.3}};
  Vec3 away;
  auto tube = [&](Vec3 a, Vec3 b, double r) { return tube_box_clearance(a, b, r, box, away); };
  EXPECT_NEAR(tube({0.4, 0, 0}, {0.4, 0, 0}, 0.1), -0.2, kRound);  // a point 0.1 inside x
  EXPECT_NEAR(tube({0, 0, -2}, {0, 0, 2}, 0.1), -0.5, kRound);     // along z, least out by y
  EXPECT_NEAR(tube({-1, 0.6, 0}, {1, 0.6, 0}, 0.1), 0.1, kRound);  // parallel to a face
  expect_near(away, {0, 1, 0}, kRound);
  EXPECT_NEAR(tube({0.7, 0.6, -1}, {0.7, 0.6, 1}, 0), std::sqrt(0.08), kRound);  // by an edge
  expect_near(away, {std::sqrt(0.5), std::sqrt(0.5), 0}, kRound);
  EXPECT_TRUE(std::isnan(tube({NAN, 0, 0}, {1, 0, 0}, 0.1)));

  const OrientedBox shifted = {{0.9, 0.2, 0}, I, {0.5, 0.4, 0.3}};
  EXPECT_NEAR(box_box_clearance(shifted, box, away), -0.1, kRound);  // overlap 0.1 along x
  EXPECT_EQ(norm(away), 0);
  const OrientedBox flush = {{1, 0.2, 0}, I, {0.5, 0.4, 0.3}};
  EXPECT_EQ(box_box_clearance(flush, box, away), 0);  // face on face: touching
  const OrientedBox apart = {{1.3, 1.2, 0}, I, {0.5, 0.4, 0.3}};
  EXPECT_NEAR(box_box_clearance(apart, box, away), std::sqrt(0.09 + 0.16), kRound);
  expect_near(away, {0.6, 0.8, 0}, kRound);  // from the obstacle towards the body
  EXPECT_TRUE(std::isnan(box_box_clearance({{NAN, 0, 0}, I, {1, 1, 1}}, box, away)));
}

}  // namespace
