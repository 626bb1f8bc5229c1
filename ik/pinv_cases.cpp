#include "ik/pinv_cases.h"

#include <cmath>

#include "math/tri2.h"

namespace pinv_parts {

namespace {

// Length equation, qK side and qI side.
double length_k(const PinvEquations& eq, double qK) {
  return eq.Vc * std::cos(qK) + eq.Vs * std::sin(qK) + eq.V0;
}
double length_i(const PinvEquations& eq, double qI) {
  return eq.Uc * std::cos(qI) + eq.Us * std::sin(qI) + eq.U0;
}

}  // namespace

int pinv_axis(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  const TrigPoint& pK = eq.pK;
  double rootsK[2];
  if (TRI1(pK.z.c, pK.z.s, pK.z.o - eq.tI.z.o, rootsK) == 0) return 0;
  // The target does not move with qI, so t is its constant part and qI is set to 0.
  const Vec3 t = {eq.tI.x.o, eq.tI.y.o, eq.tI.z.o};
  int n = 0;
  for (double qK : rootsK) {
    // Both equations constrain qK here; a root of the z equation alone may leave the chain open.
    if (std::fabs(length_k(eq, qK) - eq.U0) > 1e-5) continue;
    Vec3 p;
    pinv_rows(pK, qK, p);
    pinv_store(I, J, K, 0.0, qK, p, t, cand[n++]);
  }
  return n;
}

int pinv_u0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots],
            MessageLog* log) {
  const TrigPoint& tI = eq.tI;
  const double r = std::sqrt(eq.Vc * eq.Vc + eq.Vs * eq.Vs);
  if (std::fabs(eq.U0 - eq.V0) > r) {
    log_printf(log, "\nUc=Us=0の場合 c(q3)>1 q3 no solution");
    return 0;
  }
  double rootsK[2], rootsI[2];
  if (TRI1(eq.Vc, eq.Vs, eq.V0 - eq.U0, rootsK) == 0) return 0;
  int n = 0;
  for (double qK : rootsK) {
    Vec3 p, t;
    pinv_rows(eq.pK, qK, p);
    if (TRI1(tI.z.c, tI.z.s, tI.z.o - p.z, rootsI) == 0) continue;
    for (double qI : rootsI) {
      pinv_rows(tI, qI, t);
      pinv_store(I, J, K, qI, qK, p, t, cand[n++]);
    }
  }
  return n;
}

int pinv_v0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  const TrigPoint& pK = eq.pK;
  double rootsI[2], rootsK[2];
  if (TRI1(eq.Uc, eq.Us, eq.U0 - eq.V0, rootsI) == 0) return 0;
  int n = 0;
  for (double qI : rootsI) {
    Vec3 t, p;
    pinv_rows(eq.tI, qI, t);
    if (TRI1(pK.z.c, pK.z.s, pK.z.o - t.z, rootsK) == 0) continue;
    for (double qK : rootsK) {
      pinv_rows(pK, qK, p);
      pinv_store(I, J, K, qI, qK, p, t, cand[n++]);
    }
  }
  return n;
}

int pinv_zi0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  const TrigPoint& pK = eq.pK;
  double rootsK[2], rootsI[2];
  if (TRI1(pK.z.c, pK.z.s, pK.z.o - eq.tI.z.o, rootsK) == 0) return 0;
  int n = 0;
  for (double qK : rootsK) {
    const double U = length_k(eq, qK);
    Vec3 p, t;
    pinv_rows(pK, qK, p);
    if (TRI1(eq.Uc, eq.Us, eq.U0 - U, rootsI) == 0) continue;
    for (double qI : rootsI) {
      pinv_rows(eq.tI, qI, t);
      pinv_store(I, J, K, qI, qK, p, t, cand[n++]);
    }
  }
  return n;
}

int pinv_zk0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  const TrigPoint& tI = eq.tI;
  double rootsI[2], rootsK[2];
  if (TRI1(tI.z.c, tI.z.s, tI.z.o - eq.pK.z.o, rootsI) == 0) return 0;
  int n = 0;
  for (double qI : rootsI) {
    const double U = length_i(eq, qI);
    Vec3 t, p;
    pinv_rows(tI, qI, t);
    if (TRI1(eq.Vc, eq.Vs, eq.V0 - U, rootsK) == 0) continue;
    for (double qK : rootsK) {
      pinv_rows(eq.pK, qK, p);
      pinv_store(I, J, K, qI, qK, p, t, cand[n++]);
    }
  }
  return n;
}

int pinv_parK(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  const TrigPoint& pK = eq.pK;
  const TrigPoint& tI = eq.tI;
  double mu;
  if (std::fabs(eq.Vc) > 1e-7)
    mu = pK.z.c / eq.Vc;
  else if (std::fabs(eq.Vs) > 1e-7)
    mu = pK.z.s / eq.Vs;
  else
    return 0;  // mu undefined: no reference coefficient to scale by
  double rootsI[2], rootsK[2];
  if (TRI1(mu * eq.Uc - tI.z.c, mu * eq.Us - tI.z.s, (eq.U0 - eq.V0) * mu - (tI.z.o - pK.z.o),
           rootsI) == 0)
    return 0;
  int n = 0;
  for (double qI : rootsI) {
    Vec3 t, p;
    pinv_rows(tI, qI, t);
    if (TRI1(pK.z.c, pK.z.s, pK.z.o - t.z, rootsK) == 0) continue;
    for (double qK : rootsK) {
      pinv_rows(pK, qK, p);
      pinv_store(I, J, K, qI, qK, p, t, cand[n++]);
    }
  }
  return n;
}

int pinv_parI(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  const TrigPoint& pK = eq.pK;
  const TrigPoint& tI = eq.tI;
  double lambda;
  if (std::fabs(eq.Uc) > 1e-7)
    lambda = tI.z.c / eq.Uc;
  else if (std::fabs(eq.Us) > 1e-7)
    lambda = tI.z.s / eq.Us;
  else
    return 0;  // lambda undefined: no reference coefficient to scale by
  double rootsK[2], rootsI[2];
  if (TRI1(lambda * eq.Vc - pK.z.c, lambda * eq.Vs - pK.z.s,
           (eq.V0 - eq.U0) * lambda - (pK.z.o - tI.z.o), rootsK) == 0)
    return 0;
  int n = 0;
  for (double qK : rootsK) {
    Vec3 p, t;
    pinv_rows(pK, qK, p);
    // The end point on joint J's axis: this case gives up on the whole problem.
    if (p.x * p.x + p.y * p.y < 1e-7) return 0;
    if (TRI1(tI.z.c, tI.z.s, tI.z.o - p.z, rootsI) == 0) continue;
    for (double qI : rootsI) {
      pinv_rows(tI, qI, t);
      pinv_store(I, J, K, qI, qK, p, t, cand[n++]);
    }
  }
  return n;
}

}  // namespace pinv_parts
