// Closed-form solutions of the three positioning joints I < J < K in the degenerate geometries
// where the general elimination of pinv4 breaks down. Each routine solves the z equation and
// the length equation one angle after the other with TRI1 and writes joints I, J, K of the
// caller's candidates cand[0], cand[1], ... (which already hold the start joint vector).
#pragma once

#include "math/message_log.h"
#include "math/vecmat.h"

// Rows and columns of the equation tables below: the z row, and the cos, sin, constant columns.
constexpr int Z = 2;
constexpr int C = 0, S = 1, O = 2;

// The two scalar equations of the closed chain Rz(qJ) * p(qK) = t(qI), all in joint J's frame:
//   z equation:      pK[2] . (cos qK, sin qK, 1) = tI[2] . (cos qI, sin qI, 1)
//   length equation: Vc cos qK + Vs sin qK + V0 = Uc cos qI + Us sin qI + U0
// Row i of pK (x, y, z) holds (pc, ps, p0) of the end point p(qK) relative to joint J after its
// rotation; row i of tI holds (tc, ts, t0) of the target t(qI) relative to joint J at qJ = 0.
// w is the target relative to joint I in joint I's frame at qI = 0.
struct PinvEquations {
  double pK[3][3];
  double tI[3][3];
  double Uc, Us, U0;
  double Vc, Vs, V0;
  Vec3 w;
};

// Evaluates rows (c, s, 0) of pK or tI at angle theta: out_i = c cos theta + s sin theta + 0.
void pinv_rows(const double rows[3][3], double theta, Vec3& out);
// The same for given values cs, sn of the cosine and sine.
void pinv_rows_cs(const double rows[3][3], double cs, double sn, Vec3& out);

// Writes qI, qK and the qJ that turns p onto t about joint J's z axis into cand[I], cand[J],
// cand[K]. When p lies on that axis (p.x = p.y = 0) any qJ closes the chain and cand[J] keeps
// the value it has (the start value).
void pinv_store(int I, int J, int K, double qI, double qK, const Vec3& p, const Vec3& t,
                double cand[]);

// Target on the axis of joint I (w.x = w.y = 0): qK from the z equation, qI = 0. A root that
// does not also satisfy the length equation leaves the chain open and is dropped.
// Returns the number of candidates written, 0..2.
int pinv_axis(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// The length equation is free of qI: qK from it, then qI from the z equation. Notes in log
// when |U0 - V0| exceeds sqrt(Vc^2 + Vs^2). Returns the number of candidates, 0..4.
int pinv_u0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots],
            MessageLog* log = nullptr);

// The length equation is free of qK: qI from it, then qK from the z equation. Returns 0..4.
int pinv_v0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// The z equation is free of qI: qK from it, then qI from the length equation. Returns 0..4.
int pinv_zi0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// The z equation is free of qK: qI from it, then qK from the length equation. Returns 0..4.
int pinv_zk0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// qK enters both equations through the same combination, (pc_z, ps_z) = mu (Vc, Vs): qI from
// mu * length - z, then qK from the z equation. Returns 0..4; 0 when mu is undefined.
int pinv_parK(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// qI enters both equations through the same combination, (tc_z, ts_z) = lambda (Uc, Us): qK
// from lambda * length - z, then qI from the z equation. Returns 0..4; 0 when lambda is
// undefined or when a root of qK puts the end point on the axis of joint J.
int pinv_parI(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);
