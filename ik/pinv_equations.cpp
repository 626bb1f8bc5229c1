#include "ik/pinv_equations.h"

#include <cmath>
#include <initializer_list>

namespace pinv_parts {

namespace {

// The general route's equation in qK, from eliminating (cos qI, sin qI) between the two
// equations on the unit circle.
void elimination(const PinvEquations& eq, PinvElimination& elim) {
  const double pc = eq.pK.z.c, ps = eq.pK.z.s;
  const double tc = eq.tI.z.c, ts = eq.tI.z.s;
  const double m1 = tc * tc + ts * ts;
  const double m2 = eq.Uc * eq.Uc + eq.Us * eq.Us;
  const double m3 = tc * eq.Uc + ts * eq.Us;
  const double dU = eq.V0 - eq.U0;
  const double dV = eq.pK.z.o - eq.tI.z.o;
  const double det = eq.Uc * ts - eq.Us * tc;
  const double Vc = eq.Vc, Vs = eq.Vs;
  elim.AC2 = m1 * Vc * Vc + (m2 * pc - 2 * m3 * Vc) * pc;
  elim.AS2 = m1 * Vs * Vs + (m2 * ps - 2 * m3 * Vs) * ps;
  elim.ACS = m1 * Vc * Vs + m2 * pc * ps - m3 * (Vc * ps + Vs * pc);
  elim.BC1 = m1 * Vc * dU + m2 * pc * dV - m3 * (dV * Vc + dU * pc);
  elim.BS1 = m1 * Vs * dU + m2 * ps * dV - m3 * (dV * Vs + dU * ps);
  elim.C0 = m1 * dU * dU + m2 * dV * dV - 2 * m3 * dU * dV - det * det;
}

// Coordinate i of the end point p(qK) = M3 Rz(qK) e + P3 (row i of M3) and of the target t(qI)
// seen from joint J at qJ = 0 (column i of M2); offsetP and offsetT are their constant parts.
void rows_on_axis(const Mat3& M2, const Mat3& M3, const Vec3& e, const Vec3& w, int i,
                  double offsetP, double offsetT, TrigTerm& p, TrigTerm& t) {
  const double* m3 = &M3.m[3 * i];
  p.c = e.x * m3[0] + e.y * m3[1];
  p.s = e.x * m3[1] - e.y * m3[0];
  p.o = e.z * m3[2] + offsetP;
  t.c = w.x * M2.m[i] + w.y * M2.m[3 + i];
  t.s = w.y * M2.m[i] - w.x * M2.m[3 + i];
  t.o = w.z * M2.m[6 + i] + offsetT;
}

}  // namespace

void pinv_equations(const PinvGeometry& geo, PinvEquations& eq) {
  const Mat3 &M2 = geo.M2, &M3 = geo.M3;
  const Vec3 &e = geo.endPt, &P3 = geo.P3;
  Vec3 wT, wP, v, g, u;
  mtvmul(geo.M1, geo.target, wT);
  mtvmul(geo.M1, geo.P1, wP);
  vsub(wT, wP, eq.w);
  const Vec3& w = eq.w;
  mtvmul(M2, geo.P2, v);
  v = {-v.x, -v.y, -v.z};
  rows_on_axis(M2, M3, e, w, 0, P3.x, v.x, eq.pK.x, eq.tI.x);
  rows_on_axis(M2, M3, e, w, 1, P3.y, v.y, eq.pK.y, eq.tI.y);
  rows_on_axis(M2, M3, e, w, 2, P3.z, v.z, eq.pK.z, eq.tI.z);
  mtvmul(M3, P3, g);
  mvmul(M2, v, u);
  eq.Vc = 2 * (e.x * g.x + e.y * g.y);
  eq.Vs = 2 * (e.x * g.y - e.y * g.x);
  eq.V0 = vdot(e, e) + 2 * e.z * g.z + vdot(P3, P3);
  eq.Uc = 2 * (u.x * w.x + u.y * w.y);
  eq.Us = 2 * (u.x * w.y - u.y * w.x);
  eq.U0 = vdot(w, w) + 2 * u.z * w.z + vdot(v, v);
}

double pinv_case_measure(const PinvEquations& eq, PinvCase route) {
  const double pc = eq.pK.z.c, ps = eq.pK.z.s, tc = eq.tI.z.c, ts = eq.tI.z.s;
  switch (route) {
    case kPinvU0:
      return std::fabs(eq.Uc) + std::fabs(eq.Us);
    case kPinvV0:
      return std::fabs(eq.Vc) + std::fabs(eq.Vs);
    case kPinvZi0:
      return std::fabs(tc) + std::fabs(ts);
    case kPinvZk0:
      return std::fabs(pc) + std::fabs(ps);
    case kPinvParK:
      return std::fabs(pc * eq.Vs - ps * eq.Vc);
    case kPinvParI:
      return std::fabs(tc * eq.Us - ts * eq.Uc);
    default:
      return 0;
  }
}

PinvCase pinv_case(const PinvEquations& eq, PinvElimination& elim) {
  elimination(eq, elim);
  if (eq.w.x == 0 && eq.w.y == 0) return kPinvAxis;
  for (PinvCase route : {kPinvU0, kPinvV0, kPinvZi0, kPinvZk0, kPinvParK, kPinvParI})
    if (pinv_case_measure(eq, route) < 1e-7) return route;
  if (std::fabs(elim.ACS) + std::fabs(elim.BS1) < 1e-7) return kPinvGeneralC;
  if (std::fabs(elim.ACS) + std::fabs(elim.BC1) < 1e-7) return kPinvGeneralS;
  return kPinvGeneral;
}

void pinv_rows_cs(const TrigPoint& point, double cs, double sn, Vec3& out) {
  out.x = point.x.c * cs + point.x.s * sn + point.x.o;
  out.y = point.y.c * cs + point.y.s * sn + point.y.o;
  out.z = point.z.c * cs + point.z.s * sn + point.z.o;
}

void pinv_rows(const TrigPoint& point, double th, Vec3& out) {
  pinv_rows_cs(point, std::cos(th), std::sin(th), out);
}

bool pinv_cramer(const PinvEquations& eq, double qK, Vec3& p, double& cI, double& sI) {
  const double tc = eq.tI.z.c, ts = eq.tI.z.s, t0 = eq.tI.z.o;
  const double det = eq.Uc * ts - eq.Us * tc;
  // Both equations turn qI the same way: no single point (never on the general routes, which
  // need |det| >= 1e-7).
  if (det == 0) return false;
  const double U = eq.Vc * std::cos(qK) + eq.Vs * std::sin(qK) + eq.V0 - eq.U0;
  pinv_rows(eq.pK, qK, p);
  const double X = U * ts - (p.z - t0) * eq.Us;
  const double Y = (p.z - t0) * eq.Uc - U * tc;
  // X^2 + Y^2 - det^2 is the eliminated equation at qK: a true root leaves rounding, relative
  // to det^2; a spurious one (a root of the reduced equation far from the full one) does not.
  if (!(std::fabs(X * X + Y * Y - det * det) <= 1e-3 * det * det)) return false;
  cI = X / det;
  sI = Y / det;
  return true;
}

void pinv_store(int I, int J, int K, double qI, double qK, const Vec3& p, const Vec3& t,
                double cand[]) {
  cand[I] = qI;
  cand[K] = qK;
  // The end point on joint J's axis: any qJ closes the chain, keep the start value.
  if (p.x * p.x + p.y * p.y == 0) return;
  cand[J] = std::atan2(t.y * p.x - t.x * p.y, t.x * p.x + t.y * p.y);
}

}  // namespace pinv_parts
