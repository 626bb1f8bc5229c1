#include "contact/line_contact4.h"

#include <cmath>

#include "math/tri2.h"
#include "model/forward_kinematics.h"

namespace {

// Edge and arm seen from joint K: e, h in frame K- (joint K's frame before its rotation), m, s
// in frame K. Rz(q[K]) carries frame K vectors into frame K-.
struct ContactGeometry {
  Vec3 e;  // edge direction
  Vec3 h;  // edge point relative to joint K
  Vec3 m;  // unit direction of arm M
  Vec3 s;  // start of arm M (joint M) relative to joint K
};

// The triple product F = A cos + B sin + C of the contact equation, and the terms of the squared
// length |Rz m x e|^2 = (U sin - V cos)^2 + G - 2 W (U cos + V sin).
struct ContactEquation {
  double A, B, C, U, V, W, G;
};

Vec3 scaled(const Vec3& v, double k) {
  return {v.x * k, v.y * k, v.z * k};
}

// Rz(th) v.
Vec3 turned(const Vec3& v, double th) {
  const double c = std::cos(th), s = std::sin(th);
  return {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
}

// d/dth of Rz(th) v, given w = Rz(th) v: the z axis crossed with w.
Vec3 turn_rate(const Vec3& w) {
  return {-w.y, w.x, 0};
}

// Carries the edge down the chain to frame K- and arm M up from frame M to frame K, using the
// local rotations kin.Eloc of the pose and the base frame and point of forward kinematics.
void contact_geometry(const RobotModel& robot, const Vec3& rh, const Kinematics& kin, int K, int M,
                      ContactGeometry& geo) {
  Vec3 e, h, tmp;
  mtvmul(kin.E[0], kEhz, e);
  vsub(rh, kin.Jpos[0], tmp);
  mtvmul(kin.E[0], tmp, h);
  for (int f = 1; f < K; f++) {
    mtvmul(kin.Eloc[f], e, tmp);
    e = tmp;
    vsub(h, robot.Lloc[f], tmp);
    mtvmul(kin.Eloc[f], tmp, h);
  }
  mtvmul(robot.Erel[K], e, geo.e);
  vsub(h, robot.Lloc[K], tmp);
  mtvmul(robot.Erel[K], tmp, geo.h);

  Vec3 m = robot.LlocU[M + 1], s = {0, 0, 0};
  for (int f = M; f > K; f--) {
    mvmul(kin.Eloc[f], m, tmp);
    m = tmp;
    mvmul(kin.Eloc[f], s, tmp);
    vadd(robot.Lloc[f], tmp, s);
  }
  geo.m = m;
  geo.s = s;
}

void contact_equation(const ContactGeometry& geo, ContactEquation& eq) {
  const Vec3 &e = geo.e, &m = geo.m;
  Vec3 n, g;
  vcross(geo.s, m, n);
  vcross(e, geo.h, g);
  eq.A = (n.x * e.x + n.y * e.y) - (m.x * g.x + m.y * g.y);
  eq.B = (n.x * e.y - n.y * e.x) - (m.x * g.y - m.y * g.x);
  eq.C = n.z * e.z - m.z * g.z;
  eq.U = m.x * e.x + m.y * e.y;
  eq.V = m.x * e.y - m.y * e.x;
  eq.W = m.z * e.z;
  eq.G = (m.x * m.x + m.y * m.y) * e.z * e.z + m.z * m.z * (e.x * e.x + e.y * e.y);
}

// F^2 = dd^2 |Rz m x e|^2 when that length depends on the angle. Notes in log when TRI2 finds
// nothing.
int solve_squared(const ContactEquation& q, double dd, double roots[4], MessageLog* log) {
  const double dd2 = dd * dd;
  const double AC2 = q.A * q.A - dd2 * q.V * q.V, AS2 = q.B * q.B - dd2 * q.U * q.U;
  const double ACS = q.A * q.B + dd2 * q.U * q.V;
  const double BC1 = q.A * q.C + dd2 * q.W * q.U, BS1 = q.B * q.C + dd2 * q.W * q.V;
  const double C0 = q.C * q.C - dd2 * q.G;
  const int n = TRI2(AC2, AS2, ACS, BC1, BS1, C0, roots, log);
  if (n == 0) log_printf(log, "\nline_contact4() qK no solution");
  return n;
}

// F = +-dd sqrt(G) when the length |Rz m x e| does not depend on the angle: both sides of the
// edge, the roots of F = -r before those of F = +r.
int solve_constant_length(const ContactEquation& q, double dd, double roots[4]) {
  const double r = std::sqrt(dd * dd * q.G);
  double below[2], above[2];
  const int nBelow = TRI1(q.A, q.B, q.C + r, below);
  const int nAbove = TRI1(q.A, q.B, q.C - r, above);
  int n = 0;
  for (int k = 0; k < nBelow; k++) roots[n++] = below[k];
  for (int k = 0; k < nAbove; k++) roots[n++] = above[k];
  return n;
}

// Signed distance F / |Rz m x e| of the two lines at joint angle th and its derivative; returns
// 0 when the lines are (nearly) parallel and the distance is not a smooth function of th.
int line_gap(const ContactGeometry& geo, double th, double& gap, double& rate) {
  const Vec3 m = turned(geo.m, th), s = turned(geo.s, th);
  Vec3 cr, crRate, sh;
  vcross(m, geo.e, cr);
  vcross(turn_rate(m), geo.e, crRate);
  const double L = vnorm(cr);
  if (L < 1e-9) return 0;
  vsub(s, geo.h, sh);
  const double F = vdot(sh, cr);
  const double Frate = vdot(turn_rate(s), cr) + vdot(sh, crRate);
  const double Lrate = vdot(cr, crRate) / L;
  gap = F / L;
  rate = (Frate * L - F * Lrate) / (L * L);
  return 1;
}

// A few Newton steps on the signed distance toward +-dd, on the side where th starts.
double polish_angle(const ContactGeometry& geo, double dd, double th) {
  double gap, rate;
  if (!line_gap(geo, th, gap, rate)) return th;
  const double target = gap > 0 ? dd : -dd;
  for (int step = 0; step < 4; step++) {
    if (std::fabs(rate) < 1e-12) break;
    const double dth = (gap - target) / rate;
    // A step this long left the root's neighbourhood: keep the last angle.
    if (std::fabs(dth) > 0.1) break;
    th -= dth;
    if (std::fabs(dth) < 1e-15 || !line_gap(geo, th, gap, rate)) break;
  }
  return th;
}

// Measures every candidate, refines one that is close to contact and keeps, in order, only
// those that are contacts to 1e-6. Returns how many were kept.
int keep_contacts(const RobotModel& robot, const Vec3& rh, const ContactGeometry& geo, int K, int M,
                  double dd, int count, Kinematics& kin, double cand[4][kJointSlots],
                  double dist[4], double tpar[4], ContactPolishCounts* counts) {
  int kept = 0;
  for (int r = 0; r < count; r++) {
    double* qr = cand[r];
    double t;
    double d = arm_line_distance(robot, rh, M, qr, kin, t);
    const double miss = std::fabs(std::fabs(d) - dd);
    if (miss > 1e-12 && miss < 0.5 * dd) {
      qr[K] = polish_angle(geo, dd, qr[K]);
      d = arm_line_distance(robot, rh, M, qr, kin, t);
      if (counts) counts->polished++;
    }
    const bool contact = std::fabs(std::fabs(d) - dd) <= 1e-6;
    if (!contact || !std::isfinite(qr[K]) || !std::isfinite(t)) {
      if (counts) counts->dropped++;
      continue;
    }
    if (kept != r)
      for (int k = 0; k < kJointSlots; k++) cand[kept][k] = qr[k];
    dist[kept] = d;
    tpar[kept] = t;
    kept++;
  }
  return kept;
}

}  // namespace

int line_contact4(const RobotModel& robot, const Vec3& rh, const double q[], int K, int M,
                  Kinematics& kin, double cand[4][kJointSlots], double dist[4], double tpar[4],
                  MessageLog* log, ContactPolishCounts* counts) {
  const int N = robot.N;
  for (int r = 0; r < 4; r++) qcopy(N, q, cand[r]);
  for (int f = 1; f <= N; f++) mrotz(robot.Erel[f], q[f], kin.Eloc[f]);
  if (M > 5) return kArmBeyondContact;
  // Joint K must exist, and arm M must move with it.
  if (K < 1 || M < K) return 0;

  ContactGeometry geo;
  contact_geometry(robot, rh, kin, K, M, geo);
  const double dd = robot.linkRadius + robot.edgeRadius;
  if (std::fabs(geo.e.z) < 1e-8 && std::fabs(geo.m.z) < 1e-8) {
    log_printf(log, "\nline_contact4() (JK軸,mhsK)が直角かつ(JK軸,mK)が直角 no solution");
    return 0;
  }
  ContactEquation eq;
  contact_equation(geo, eq);
  const double U = std::fabs(eq.U), V = std::fabs(eq.V), W = std::fabs(eq.W);
  double roots[4];
  int count;
  if (dd * dd * (V * V + U * U + U * V + W * U + W * V) >= 1e-5) {
    count = solve_squared(eq, dd, roots, log);
  } else {
    count = solve_constant_length(eq, dd, roots);
    // The length is only nearly constant: where the distance changes steeply with the angle
    // (an arm nearly along the edge), its roots miss by more than keep_contacts refines.
    for (int r = 0; r < count; r++) roots[r] = polish_angle(geo, dd, roots[r]);
  }
  for (int r = 0; r < count; r++) cand[r][K] = roots[r];
  return keep_contacts(robot, rh, geo, K, M, dd, count, kin, cand, dist, tpar, counts);
}

double arm_line_distance(const RobotModel& robot, const Vec3& rh, int M, double q[],
                         Kinematics& kin, double& t) {
  const int N = robot.N;
  for (int k = N + 1; k < kJointSlots; k++) q[k] = 0;
  if (M < 0 || M > N - 1) {
    t = 0;
    return kNoArmDistance;
  }
  forward_kinematics(robot, q, kin);
  // A link of length 0 has no direction: its arm is the point joint M.
  const Vec3 ld = robot.Llen[M + 1] > 0 ? kin.LU[M + 1] : Vec3{0, 0, 0};
  const double c = vdot(kEhz, ld);
  Vec3 w;
  vsub(rh, kin.Jpos[M], w);
  double t1, t2;
  if (std::fabs(std::fabs(c) - 1) < 1e-6) {
    // Arm parallel to the edge: the foot of the perpendicular from joint M.
    t1 = 0;
    t2 = -vdot(w, kEhz);
  } else {
    const double a = vdot(ld, w), b = vdot(kEhz, w);
    t1 = (a - b * c) / (1 - c * c);
    t2 = (a * c - b) / (1 - c * c);
  }
  Vec3 Q1, Q2, d;
  vadd(kin.Jpos[M], scaled(ld, t1), Q1);
  vadd(rh, scaled(kEhz, t2), Q2);
  vsub(Q2, Q1, d);
  double dist = vnorm(d);
  // The common normal from the arm to the edge points toward +x: the arm is on the wall side.
  if (d.x > 0) dist = -dist;
  t = t1;
  return dist;
}
