#include "collision/geometry.h"

#include <algorithm>
#include <cmath>

namespace {

double clamp01(double x) {
  return x < 0 ? 0 : (x > 1 ? 1 : x);
}

double clamp(double x, double lo, double hi) {
  return x < lo ? lo : (x > hi ? hi : x);
}

Vec3 along(const Vec3& p, const Vec3& d, double t) {
  return {p.x + t * d.x, p.y + t * d.y, p.z + t * d.z};
}

double distance2(const Vec3& p, const Vec3& q) {
  const double dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
  return dx * dx + dy * dy + dz * dz;
}

// Closest points of segments p0 + s d1 and q0 + t d2 (s, t in [0, 1]), as in Ericson's
// Real-Time Collision Detection, 5.1.9.
void closest_parameters(const Vec3& p0, const Vec3& d1, const Vec3& q0, const Vec3& d2, double& s,
                        double& t) {
  Vec3 r;
  vsub(p0, q0, r);
  const double a = vdot(d1, d1), e = vdot(d2, d2), f = vdot(d2, r);
  if (a == 0 && e == 0) {  // both points
    s = t = 0;
    return;
  }
  if (a == 0) {  // the first is a point
    s = 0;
    t = clamp01(f / e);
    return;
  }
  const double c = vdot(d1, r);
  if (e == 0) {  // the second is a point
    t = 0;
    s = clamp01(-c / a);
    return;
  }
  const double b = vdot(d1, d2), denom = a * e - b * b;
  // Parallel segments (denom 0): any s serves, take 0.
  s = denom > 0 ? clamp01((b * f - c * e) / denom) : 0;
  t = (b * s + f) / e;
  if (t < 0) {
    t = 0;
    s = clamp01(-c / a);
  } else if (t > 1) {
    t = 1;
    s = clamp01((b - c) / a);
  }
}

RectFeature feature_at(const Vec3& p, const WallRect& r) {
  if (p.x >= r.x1) return kRectEdgeX1;
  if (p.x <= r.x0) return kRectEdgeX0;
  if (p.z >= r.z1) return kRectEdgeZ1;
  if (p.z <= r.z0) return kRectEdgeZ0;
  return kRectFace;
}

// The rectangle's corners in order round it, and each edge's feature (edge k runs from corner
// k to corner k+1).
void rect_corners(const WallRect& r, Vec3 corner[4]) {
  corner[0] = {r.x1, r.y, r.z0};
  corner[1] = {r.x1, r.y, r.z1};
  corner[2] = {r.x0, r.y, r.z1};
  corner[3] = {r.x0, r.y, r.z0};
}
// Squared distances within this of each other count as a tie that rounding could decide.
constexpr double kGapMargin = 1e-12;

constexpr RectFeature kEdgeFeature[4] = {kRectEdgeX1, kRectEdgeZ1, kRectEdgeX0, kRectEdgeZ0};

Vec3 column(const Mat3& R, int i) {
  return {R.m[i], R.m[3 + i], R.m[6 + i]};
}

}  // namespace

double segment_segment_distance2(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1) {
  Vec3 onP, onQ;
  return segment_segment_nearest(p0, p1, q0, q1, onP, onQ);
}

double segment_segment_nearest(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1,
                               Vec3& onP, Vec3& onQ) {
  Vec3 d1, d2;
  vsub(p1, p0, d1);
  vsub(q1, q0, d2);
  double s, t;
  closest_parameters(p0, d1, q0, d2, s, t);
  onP = along(p0, d1, s);
  onQ = along(q0, d2, t);
  return distance2(onP, onQ);
}

void segment_rect(const Vec3& a, const Vec3& b, const WallRect& r, SegmentRect& out) {
  const double ha = a.y - r.y, hb = b.y - r.y;
  out.depth = 0;
  // Through the plane (an end on it included) inside the rectangle: they meet.
  if (((ha <= 0 && hb >= 0) || (ha >= 0 && hb <= 0)) && ha != hb) {
    const double s = ha / (ha - hb);
    const Vec3 p = {a.x + s * (b.x - a.x), r.y, a.z + s * (b.z - a.z)};
    if (p.x >= r.x0 && p.x <= r.x1 && p.z >= r.z0 && p.z <= r.z1) {
      out.distance = 0;
      out.depth = std::min(std::min(p.x - r.x0, r.x1 - p.x), std::min(p.z - r.z0, r.z1 - p.z));
      out.onRect = p;
      out.feature = out.depth > 0 ? kRectFace : feature_at(p, r);
      return;
    }
  }
  // Apart (or lying in the plane): the nearest points pair an end of the segment with the
  // rectangle, or the segment with an edge of it.
  double best2 = INFINITY;
  for (const Vec3* end : {&a, &b}) {
    const Vec3 p = {clamp(end->x, r.x0, r.x1), r.y, clamp(end->z, r.z0, r.z1)};
    const double d2 = distance2(*end, p);
    if (d2 < best2) best2 = d2, out.onRect = p;
  }
  Vec3 corner[4], d;
  rect_corners(r, corner);
  vsub(b, a, d);
  const Vec3 lo = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
  const Vec3 hi = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
  for (int k = 0; k < 4; k++) {
    // An edge whose bounding box lies farther from the segment's than the best pair so far
    // cannot give a nearer pair (the margin keeps rounding from deciding).
    const Vec3 gap = box_gap(lo, hi, corner[k], corner[(k + 1) % 4]);
    if (vdot(gap, gap) > best2 + kGapMargin) continue;
    Vec3 e;
    vsub(corner[(k + 1) % 4], corner[k], e);
    double s, t;
    closest_parameters(a, d, corner[k], e, s, t);
    const Vec3 q = along(corner[k], e, t);
    const double d2 = distance2(along(a, d, s), q);
    if (d2 < best2) best2 = d2, out.onRect = q;
  }
  out.distance = std::sqrt(best2);
  out.feature = feature_at(out.onRect, r);
}

double segment_rect_bound(const Vec3& a, const Vec3& b, const WallRect& r, Vec3& away) {
  const Vec3 gap = box_gap({r.x0, r.y, r.z0}, {r.x1, r.y, r.z1}, a, b);
  const double n = vnorm(gap);
  away = n > 0 ? Vec3{gap.x / n, gap.y / n, gap.z / n} : Vec3{0, 0, 0};
  return n;
}

double box_rect_bound(const OrientedBox& box, const WallRect& r, Vec3& away) {
  const Vec3 nearest = {clamp(box.c.x, r.x0, r.x1), r.y, clamp(box.c.z, r.z0, r.z1)};
  Vec3 gap;
  vsub(box.c, nearest, gap);
  const double n = vnorm(gap);
  away = n > 0 ? Vec3{gap.x / n, gap.y / n, gap.z / n} : Vec3{0, 0, 0};
  return n - std::sqrt(box.h[0] * box.h[0] + box.h[1] * box.h[1] + box.h[2] * box.h[2]);
}

namespace {

// The squared distance between segment a..b and the solid box, and the parameter t of a
// nearest point on the segment; INFINITY (t 0) where the segment's extent along the box's axes
// shows it surely (by a relative 1e-9, far beyond rounding) more than above2.
double segment_box_nearest(const Vec3& a, const Vec3& b, const OrientedBox& box, double above2,
                           double& tBest) {
  // In the box's frame the squared distance is sum_i max(0, |p_i(t)| - h_i)^2, convex and
  // quadratic between the parameters where a coordinate crosses a face's plane: each piece's
  // minimum, clamped to the piece, is a candidate.
  Vec3 ra, rd, w, d;
  vsub(a, box.c, w);
  vsub(b, a, d);
  mtvmul(box.R, w, ra);
  mtvmul(box.R, d, rd);
  const double p0[3] = {ra.x, ra.y, ra.z}, dp[3] = {rd.x, rd.y, rd.z};
  tBest = 0;
  if (above2 < INFINITY) {
    // Each coordinate's least magnitude along the segment: a lower bound of each term.
    double lower2 = 0;
    for (int i = 0; i < 3; i++) {
      const double p1 = p0[i] + dp[i];
      const double least = p0[i] * p1 <= 0 ? 0 : min_of(std::fabs(p0[i]), std::fabs(p1));
      const double out = least - box.h[i];
      if (out > 0) lower2 += out * out;
    }
    if (lower2 > above2 * (1 + 1e-9) + 1e-18) return INFINITY;
  }
  double cut[8] = {0, 1};
  int n = 2;
  for (int i = 0; i < 3; i++) {
    if (dp[i] == 0) continue;
    for (double sign : {-1.0, 1.0}) {
      const double t = (sign * box.h[i] - p0[i]) / dp[i];
      if (t > 0 && t < 1) cut[n++] = t;
    }
  }
  // At most eight parameters: an insertion sort.
  for (int i = 1; i < n; i++) {
    const double v = cut[i];
    int k = i;
    for (; k > 0 && cut[k - 1] > v; k--) cut[k] = cut[k - 1];
    cut[k] = v;
  }
  auto f = [&](double t) {
    double sum = 0;
    for (int i = 0; i < 3; i++) {
      const double out = std::fabs(p0[i] + t * dp[i]) - box.h[i];
      if (out > 0) sum += out * out;
    }
    return sum;
  };
  double best = f(0);
  tBest = 0;
  const double atEnd = f(1);
  if (atEnd < best) best = atEnd, tBest = 1;
  for (int k = 0; k + 1 < n; k++) {
    const double lo = cut[k], hi = cut[k + 1];
    if (!(hi > lo)) continue;
    const double mid = 0.5 * (lo + hi);
    double num = 0, den = 0;
    for (int i = 0; i < 3; i++) {
      const double p = p0[i] + mid * dp[i];
      if (std::fabs(p) <= box.h[i]) continue;
      const double offset = p0[i] - (p > 0 ? box.h[i] : -box.h[i]);
      num += offset * dp[i];
      den += dp[i] * dp[i];
    }
    if (!(den > 0)) continue;
    const double t = clamp(-num / den, lo, hi), v = f(t);
    if (v < best) best = v, tBest = t;
  }
  return best;
}

}  // namespace

double segment_box_distance2(const Vec3& a, const Vec3& b, const OrientedBox& box) {
  double t;
  return segment_box_nearest(a, b, box, INFINITY, t);
}

double box_rect_clearance(const OrientedBox& box, const WallRect& r, RectFeature& feature) {
  // Apart, the nearest points pair an edge of the box with the rectangle, or an edge of the
  // rectangle with the box; the two meet exactly when one of these pairs does.
  double best2 = INFINITY;
  Vec3 corner[4], boxLo, boxHi;
  rect_corners(r, corner);
  box_bounds(box, boxLo, boxHi);
  const Vec3 rectLo = {r.x0, r.y, r.z0}, rectHi = {r.x1, r.y, r.z1};
  // A pair whose bounding boxes lie farther apart than the best pair so far cannot give a nearer
  // pair (the margin keeps rounding from deciding).
  for (int k = 0; k < 4; k++) {
    const Vec3 gap = box_gap(boxLo, boxHi, corner[k], corner[(k + 1) % 4]);
    if (vdot(gap, gap) > best2 + kGapMargin) continue;
    const double d2 = segment_box_distance2(corner[k], corner[(k + 1) % 4], box);
    if (d2 < best2) best2 = d2, feature = kEdgeFeature[k];
  }
  const Vec3 u[3] = {column(box.R, 0), column(box.R, 1), column(box.R, 2)};
  // The box's twelve edges: along each axis i, at the four corners of the other two.
  for (int i = 0; i < 3; i++) {
    const int j = (i + 1) % 3, k = (i + 2) % 3;
    for (double sj : {-1.0, 1.0}) {
      for (double sk : {-1.0, 1.0}) {
        Vec3 start =
            along(along(along(box.c, u[j], sj * box.h[j]), u[k], sk * box.h[k]), u[i], -box.h[i]);
        const Vec3 end = along(start, u[i], 2 * box.h[i]);
        const Vec3 gap = box_gap(rectLo, rectHi, start, end);
        if (vdot(gap, gap) > best2 + kGapMargin) continue;
        SegmentRect sr;
        segment_rect(start, end, r, sr);
        // On a tie the rectangle's edge found first names the contact.
        const double d2 = sr.distance * sr.distance;
        if (d2 < best2) best2 = d2, feature = sr.feature;
      }
    }
  }
  if (best2 > 0) return std::sqrt(best2);
  // Overlapping: the least overlap over the separating axes of a box and a flat rectangle
  // (the plate's normal, the box's axes, the plate's edge directions and their cross products
  // with the box's axes) is the least translation that parts them.
  const Vec3 ex = {1, 0, 0}, ey = {0, 1, 0}, ez = {0, 0, 1};
  Vec3 axes[15] = {ey, u[0], u[1], u[2], ex, ez};
  int n = 6;
  for (int i = 0; i < 3; i++) {
    vcross(u[i], ex, axes[n++]);
    vcross(u[i], ez, axes[n++]);
  }
  const Vec3 rc = {0.5 * (r.x0 + r.x1), r.y, 0.5 * (r.z0 + r.z1)};
  const double hx = 0.5 * (r.x1 - r.x0), hz = 0.5 * (r.z1 - r.z0);
  Vec3 gap;
  vsub(box.c, rc, gap);
  double depth = INFINITY;
  for (int k = 0; k < n; k++) {
    const double len = vnorm(axes[k]);
    if (len < 1e-12) continue;  // a box axis along a plate edge: no axis of its own
    const Vec3 L = {axes[k].x / len, axes[k].y / len, axes[k].z / len};
    const double rb = box.h[0] * std::fabs(vdot(u[0], L)) + box.h[1] * std::fabs(vdot(u[1], L)) +
                      box.h[2] * std::fabs(vdot(u[2], L));
    const double rr = hx * std::fabs(L.x) + hz * std::fabs(L.z);
    depth = std::min(depth, rb + rr - std::fabs(vdot(gap, L)));
  }
  return -std::max(0.0, depth);
}

double box_bottom(const OrientedBox& box) {
  const double* R = box.R.m;
  return box.c.z - box.h[0] * std::fabs(R[6]) - box.h[1] * std::fabs(R[7]) -
         box.h[2] * std::fabs(R[8]);
}

namespace {

// The point of the solid box nearest p (p itself inside).
Vec3 box_nearest(const OrientedBox& box, const Vec3& p) {
  Vec3 w, l;
  vsub(p, box.c, w);
  mtvmul(box.R, w, l);
  const double local[3] = {clamp(l.x, -box.h[0], box.h[0]), clamp(l.y, -box.h[1], box.h[1]),
                           clamp(l.z, -box.h[2], box.h[2])};
  Vec3 q = box.c;
  for (int i = 0; i < 3; i++) q = along(q, column(box.R, i), local[i]);
  return q;
}

// The box's half-extent along the unit vector L.
double box_radius(const OrientedBox& box, const Vec3& L) {
  const double* R = box.R.m;
  return box.h[0] * std::fabs(R[0] * L.x + R[3] * L.y + R[6] * L.z) +
         box.h[1] * std::fabs(R[1] * L.x + R[4] * L.y + R[7] * L.z) +
         box.h[2] * std::fabs(R[2] * L.x + R[5] * L.y + R[8] * L.z);
}

// The unit vector along d, or zero for a zero d.
Vec3 unit_or_zero(const Vec3& d) {
  const double n = vnorm(d);
  if (!(n > 0)) return {0, 0, 0};
  return {d.x / n, d.y / n, d.z / n};
}

// An axis shorter than this fraction of the product of its factors' lengths comes from
// parallel directions: it has no separating direction of its own.
constexpr double kParallelAxis = 1e-12;

// The unit vector along a, or zero when a is shorter than kParallelAxis times `scale`.
Vec3 axis_direction(const Vec3& a, double scale) {
  const double len = vnorm(a);
  if (!(len > kParallelAxis * scale)) return {0, 0, 0};
  return {a.x / len, a.y / len, a.z / len};
}

// Whether every number of the box is finite.
bool finite_box(const OrientedBox& box) {
  double sum = box.c.x + box.c.y + box.c.z + box.h[0] + box.h[1] + box.h[2];
  for (double v : box.R.m) sum += v;
  return std::isfinite(sum);
}

// The box's twelve edges: along each axis i, at the four corners of the other two.
void box_edges(const OrientedBox& box, Vec3 start[12], Vec3 end[12]) {
  int e = 0;
  for (int i = 0; i < 3; i++) {
    const int j = (i + 1) % 3, k = (i + 2) % 3;
    const Vec3 ui = column(box.R, i), uj = column(box.R, j), uk = column(box.R, k);
    for (double sj : {-1.0, 1.0}) {
      for (double sk : {-1.0, 1.0}) {
        start[e] = along(along(along(box.c, uj, sj * box.h[j]), uk, sk * box.h[k]), ui, -box.h[i]);
        end[e] = along(start[e], ui, 2 * box.h[i]);
        e++;
      }
    }
  }
}

// Keeps the smaller overlap `o` along the unit axis L, with L turned to point along g.
void keep_least_overlap(double o, const Vec3& L, const Vec3& g, double& depth, Vec3& axis) {
  if (!(o < depth)) return;
  depth = o;
  axis = vdot(g, L) < 0 ? Vec3{-L.x, -L.y, -L.z} : L;
}

// The least overlap of the segment a..a+d and the box over the face normals of their sum (the
// box's axes, and d crossed with each): the least translation that parts them when positive,
// else minus a separation along `axis` (unit, from the box towards the segment).
double segment_box_overlap(const Vec3& a, const Vec3& d, const OrientedBox& box, Vec3& axis) {
  Vec3 g;
  vsub(along(a, d, 0.5), box.c, g);
  const double length = vnorm(d);
  double depth = INFINITY;
  axis = {0, 0, 0};
  for (int i = 0; i < 3; i++) {
    const Vec3 u = column(box.R, i);
    Vec3 cross;
    vcross(d, u, cross);
    for (const Vec3& L : {u, axis_direction(cross, length)}) {
      if (L.x == 0 && L.y == 0 && L.z == 0) continue;  // along the box's axis, or a point
      keep_least_overlap(box_radius(box, L) + 0.5 * std::fabs(vdot(d, L)) - std::fabs(vdot(g, L)),
                         L, g, depth, axis);
    }
  }
  return depth;
}

// The least overlap of two boxes over their 15 separating axes (the faces' normals and the
// cross products of their axes): the least translation that parts them when positive, else
// minus a separation along `axis` (unit, from B towards A).
double box_box_overlap(const OrientedBox& A, const OrientedBox& B, Vec3& axis) {
  Vec3 g;
  vsub(A.c, B.c, g);
  Vec3 axes[15];
  for (int i = 0; i < 3; i++) {
    axes[i] = column(A.R, i);
    axes[3 + i] = column(B.R, i);
  }
  int n = 6;
  for (int i = 0; i < 3; i++)
    for (int k = 0; k < 3; k++) vcross(axes[i], axes[3 + k], axes[n++]);
  double depth = INFINITY;
  axis = {0, 0, 0};
  for (int k = 0; k < n; k++) {
    const Vec3 L = axis_direction(axes[k], 1);
    if (L.x == 0 && L.y == 0 && L.z == 0) continue;  // parallel edges: a face axis serves
    keep_least_overlap(box_radius(A, L) + box_radius(B, L) - std::fabs(vdot(g, L)), L, g, depth,
                       axis);
  }
  return depth;
}

}  // namespace

double box_support(const OrientedBox& box, const Vec3& n) {
  return vdot(box.c, n) + box_radius(box, n);
}

void box_bounds(const OrientedBox& box, Vec3& lo, Vec3& hi) {
  const double* R = box.R.m;
  const double ex =
      box.h[0] * std::fabs(R[0]) + box.h[1] * std::fabs(R[1]) + box.h[2] * std::fabs(R[2]);
  const double ey =
      box.h[0] * std::fabs(R[3]) + box.h[1] * std::fabs(R[4]) + box.h[2] * std::fabs(R[5]);
  const double ez =
      box.h[0] * std::fabs(R[6]) + box.h[1] * std::fabs(R[7]) + box.h[2] * std::fabs(R[8]);
  lo = {box.c.x - ex, box.c.y - ey, box.c.z - ez};
  hi = {box.c.x + ex, box.c.y + ey, box.c.z + ez};
}

double tube_box_bound(const Vec3& a, const Vec3& b, double radius, const OrientedBox& box,
                      Vec3& away) {
  Vec3 d;
  vsub(b, a, d);
  return -segment_box_overlap(a, d, box, away) - radius;
}

double box_box_bound(const OrientedBox& body, const OrientedBox& obstacle, Vec3& away) {
  return -box_box_overlap(body, obstacle, away);
}

double tube_box_clearance_from(const Vec3& a, const Vec3& b, double radius, const OrientedBox& box,
                               double bound, Vec3& away) {
  away = {0, 0, 0};
  if (!finite_box(box) || !std::isfinite(a.x + a.y + a.z + b.x + b.y + b.z)) return NAN;
  // They meet exactly when every axis shows an overlap; the least overlap parts them.
  if (bound < -radius) return bound;
  Vec3 d;
  vsub(b, a, d);
  double t;
  const double d2 = segment_box_nearest(a, b, box, INFINITY, t);
  const Vec3 p = along(a, d, t);
  Vec3 gap;
  vsub(p, box_nearest(box, p), gap);
  away = unit_or_zero(gap);
  return std::sqrt(d2) - radius;
}

double box_box_clearance_from(const OrientedBox& body, const OrientedBox& obstacle, double bound,
                              Vec3& away) {
  away = {0, 0, 0};
  if (!finite_box(body) || !finite_box(obstacle)) return NAN;
  if (bound < 0) return bound;  // they overlap: the least overlap parts them
  // Apart (or touching): a nearest pair has a point on an edge of one of the boxes.
  double best2 = INFINITY;
  Vec3 gap = {0, 0, 0}, start[12], end[12];
  for (int side = 0; side < 2; side++) {
    const OrientedBox& edges = side == 0 ? body : obstacle;
    const OrientedBox& solid = side == 0 ? obstacle : body;
    box_edges(edges, start, end);
    for (int e = 0; e < 12; e++) {
      double t;
      const double d2 = segment_box_nearest(start[e], end[e], solid, best2, t);
      if (!(d2 < best2)) continue;
      best2 = d2;
      Vec3 d;
      vsub(end[e], start[e], d);
      const Vec3 p = along(start[e], d, t), q = box_nearest(solid, p);
      // From the obstacle's point towards the body's.
      if (side == 0)
        vsub(p, q, gap);
      else
        vsub(q, p, gap);
    }
  }
  if (!(best2 > 0)) return 0;
  away = unit_or_zero(gap);
  return std::sqrt(best2);
}

bool hull_rect_distance_over_face(const Vec3 corners[], int count, const WallRect& r,
                                  double& distance, double& side) {
  int nearest = 0;
  bool above = true, below = true;
  for (int i = 0; i < count; i++) {
    const double h = corners[i].y - r.y;
    above = above && h > 0;
    below = below && h < 0;
    if (std::fabs(h) < std::fabs(corners[nearest].y - r.y)) nearest = i;
  }
  const Vec3& foot = corners[nearest];
  if (!(above || below) || !(foot.x >= r.x0 && foot.x <= r.x1 && foot.z >= r.z0 && foot.z <= r.z1))
    return false;
  distance = std::fabs(foot.y - r.y);
  side = above ? 1 : -1;
  return true;
}

bool rect_edge_beyond_hull(const Vec3 corners[], int count, const WallRect& r, Vec3& from,
                           Vec3& to) {
  bool pastX0 = true, pastX1 = true, pastZ0 = true, pastZ1 = true;
  for (int i = 0; i < count; i++) {
    const Vec3& p = corners[i];
    pastX0 = pastX0 && p.x < r.x0;
    pastX1 = pastX1 && p.x > r.x1;
    pastZ0 = pastZ0 && p.z < r.z0;
    pastZ1 = pastZ1 && p.z > r.z1;
  }
  if (pastX0 || pastX1) {
    const double x = pastX0 ? r.x0 : r.x1;
    from = {x, r.y, r.z0}, to = {x, r.y, r.z1};
    return true;
  }
  if (pastZ0 || pastZ1) {
    const double z = pastZ0 ? r.z0 : r.z1;
    from = {r.x0, r.y, z}, to = {r.x1, r.y, z};
    return true;
  }
  return false;
}
