// The two scalar equations that close the chain of three positioning joints I < J < K, the
// elimination of qI between them, and the route that solves them. The degenerate cases
// (pinv_cases.h), the general route (pinv.h) and the polish (pinv_polish.h) all work on these.
#pragma once

#include "math/vecmat.h"

// The chain between the base and the end point, split at joints I, J and K.
struct PinvGeometry {
  Mat3 M1;      // world frame of joint I at qI = 0
  Vec3 P1;      // world position of joint I
  Mat3 M2;      // frame of joint J at qJ = 0, relative to joint I's frame after its rotation
  Vec3 P2;      // position of joint J in joint I's frame
  Mat3 M3;      // frame of joint K at qK = 0, relative to joint J's frame after its rotation
  Vec3 P3;      // position of joint K in joint J's frame
  Vec3 endPt;   // end point in joint K's frame after its rotation
  Vec3 target;  // world position the end point must reach
};

// The equations and their routes, internal to the position solver (ik/pinv.cpp, pinv_cases,
// pinv_polish).
namespace pinv_parts {

// One coordinate of a point that turns with a joint angle th: c cos th + s sin th + o.
struct TrigTerm {
  double c, s, o;
};

// Such a point, coordinate by coordinate.
struct TrigPoint {
  TrigTerm x, y, z;
};

// The two scalar equations of the closed chain Rz(qJ) * p(qK) = t(qI), all in joint J's frame:
//   z equation:      pK.z at qK = tI.z at qI
//   length equation: Vc cos qK + Vs sin qK + V0 = Uc cos qI + Us sin qI + U0
// pK is the end point p(qK) relative to joint J after its rotation; tI is the target t(qI)
// relative to joint J at qJ = 0. w is the target relative to joint I in joint I's frame at
// qI = 0.
struct PinvEquations {
  TrigPoint pK;
  TrigPoint tI;
  double Uc, Us, U0;
  double Vc, Vs, V0;
  Vec3 w;
};

// The general route's equation in qK, from eliminating (cos qI, sin qI) between the two
// equations on the unit circle:
//   AC2 cos^2 qK + AS2 sin^2 qK + ACS cos qK sin qK + BC1 cos qK + BS1 sin qK + C0 = 0.
struct PinvElimination {
  double AC2, AS2, ACS, BC1, BS1, C0;
};

// Which closed-form route solves the equations: one of the degenerate cases, or the general
// elimination of qI with the reduced cos-only (TRI2C), sin-only (TRI2S) or full TRI2 equation.
enum PinvCase {
  kPinvAxis,
  kPinvU0,
  kPinvV0,
  kPinvZi0,
  kPinvZk0,
  kPinvParK,
  kPinvParI,
  kPinvGeneralC,
  kPinvGeneralS,
  kPinvGeneral,
};

// The z equation and length equation of the chain closure of geo.
void pinv_equations(const PinvGeometry& geo, PinvEquations& eq);

// The route that solves eq: the first degenerate case whose measure (pinv_case_measure) is
// below 1e-7, else the general route. Writes the general route's equation into elim, whatever
// the route.
PinvCase pinv_case(const PinvEquations& eq, PinvElimination& elim);

// How far eq is from the property that selects the degenerate route (0 when it holds exactly):
// the sum of the magnitudes of the coefficients that vanish there, or of the determinant of the
// two that are parallel. 0 for kPinvAxis (chosen only on an exact test) and the general routes.
double pinv_case_measure(const PinvEquations& eq, PinvCase route);

// Evaluates the point at angle th: out = (x, y, z) each c cos th + s sin th + o.
void pinv_rows(const TrigPoint& point, double th, Vec3& out);
// The same for given values cs, sn of the cosine and sine.
void pinv_rows_cs(const TrigPoint& point, double cs, double sn, Vec3& out);

// The general route's step from a root qK of its equation to qI: the z and length equations are
// linear in (cos qI, sin qI), solved by Cramer's rule. Writes p = p(qK) and the point (cI, sI);
// returns false when no point of the unit circle solves both for this qK (the squared length of
// the solution is off by more than 1e-3 of the determinant's square).
bool pinv_cramer(const PinvEquations& eq, double qK, Vec3& p, double& cI, double& sI);

// Writes qI, qK and the qJ that turns p onto t about joint J's z axis into cand[I], cand[J],
// cand[K]. When p lies on that axis (p.x = p.y = 0) any qJ closes the chain and cand[J] keeps
// the value it has (the start value).
void pinv_store(int I, int J, int K, double qI, double qK, const Vec3& p, const Vec3& t,
                double cand[]);

}  // namespace pinv_parts
