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

Vec3 box_gap(const Vec3& lo, const Vec3& hi, const Vec3& p, const Vec3& q) {
  return {std::fmax(0.0, std::fmin(p.x, q.x) - hi.x) - std::fmax(0.0, lo.x - std::fmax(p.x, q.x)),
          std::fmax(0.0, std::fmin(p.y, q.y) - hi.y) - std::fmax(0.0, lo.y - std::fmax(p.y, q.y)),
          std::fmax(0.0, std::fmin(p.z, q.z) - hi.z) - std::fmax(0.0, lo.z - std::fmax(p.z, q.z))};
}

double segment_segment_distance2(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1) {
  Vec3 d1, d2;
  vsub(p1, p0, d1);
  vsub(q1, q0, d2);
  double s, t;
  closest_parameters(p0, d1, q0, d2, s, t);
  return distance2(along(p0, d1, s), along(q0, d2, t));
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

double segment_box_distance2(const Vec3& a, const Vec3& b, const OrientedBox& box) {
  // In the box's frame the squared distance is sum_i max(0, |p_i(t)| - h_i)^2, convex and
  // quadratic between the parameters where a coordinate crosses a face's plane: each piece's
  // minimum, clamped to the piece, is a candidate.
  Vec3 ra, rd, w, d;
  vsub(a, box.c, w);
  vsub(b, a, d);
  mtvmul(box.R, w, ra);
  mtvmul(box.R, d, rd);
  const double p0[3] = {ra.x, ra.y, ra.z}, dp[3] = {rd.x, rd.y, rd.z};
  double cut[8] = {0, 1};
  int n = 2;
  for (int i = 0; i < 3; i++) {
    if (dp[i] == 0) continue;
    for (double sign : {-1.0, 1.0}) {
      const double t = (sign * box.h[i] - p0[i]) / dp[i];
      if (t > 0 && t < 1) cut[n++] = t;
    }
  }
  std::sort(cut, cut + n);
  auto f = [&](double t) {
    double sum = 0;
    for (int i = 0; i < 3; i++) {
      const double out = std::fabs(p0[i] + t * dp[i]) - box.h[i];
      if (out > 0) sum += out * out;
    }
    return sum;
  };
  double best = std::min(f(0), f(1));
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
    if (den > 0) best = std::min(best, f(clamp(-num / den, lo, hi)));
  }
  return best;
}

double box_rect_clearance(const OrientedBox& box, const WallRect& r, RectFeature& feature) {
  // Apart, the nearest points pair an edge of the box with the rectangle, or an edge of the
  // rectangle with the box; the two meet exactly when one of these pairs does.
  double best2 = INFINITY;
  Vec3 corner[4];
  rect_corners(r, corner);
  for (int k = 0; k < 4; k++) {
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
