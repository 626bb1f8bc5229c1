#include "ik/pinv_cases.h"

#include "math/message_log.h"
#include "support.h"

namespace {

using namespace pinv_parts;

constexpr int I = 2, J = 3, K = 4;
constexpr double kStart = 0.625;  // value of every joint before a routine writes

using CaseRoutine = int (*)(int, int, int, const PinvEquations&, double[][kJointSlots]);

// pinv_u0 without a message log, in the common signature of the routines.
int pinv_u0_unlogged(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]) {
  return pinv_u0(I, J, K, eq, cand);
}

// Coordinate i (x, y, z) of point.
TrigTerm& axis(TrigPoint& point, int i) {
  return i == 0 ? point.x : i == 1 ? point.y : point.z;
}

// z equation and length equation residuals of a candidate.
double z_residual(const PinvEquations& eq, double qI, double qK) {
  Vec3 p, t;
  pinv_rows(eq.pK, qK, p);
  pinv_rows(eq.tI, qI, t);
  return p.z - t.z;
}
double length_residual(const PinvEquations& eq, double qI, double qK) {
  return eq.Vc * std::cos(qK) + eq.Vs * std::sin(qK) + eq.V0 -
         (eq.Uc * std::cos(qI) + eq.Us * std::sin(qI) + eq.U0);
}

// Random coefficients with the degeneracy of `which`, completed so that (qI, qJ, qK) solves
// both equations and turns p(qK) onto t(qI) about z.
PinvEquations random_equations(std::mt19937& rng, CaseRoutine which, double qI, double qJ,
                               double qK) {
  std::uniform_real_distribution<double> coef(-1.5, 1.5);
  PinvEquations eq;
  // Axis by axis, each coefficient of p and then of t.
  for (int i = 0; i < 3; i++) {
    TrigTerm &p = axis(eq.pK, i), &t = axis(eq.tI, i);
    p.c = coef(rng);
    t.c = coef(rng);
    p.s = coef(rng);
    t.s = coef(rng);
    p.o = coef(rng);
    t.o = coef(rng);
  }
  eq.Uc = coef(rng), eq.Us = coef(rng), eq.U0 = coef(rng);
  eq.Vc = coef(rng), eq.Vs = coef(rng), eq.V0 = coef(rng);
  eq.w = {coef(rng), coef(rng), coef(rng)};
  if (which == pinv_axis) {
    for (int i = 0; i < 3; i++) axis(eq.tI, i).c = axis(eq.tI, i).s = 0;
    eq.Uc = eq.Us = 0;
    eq.w.x = eq.w.y = 0;
    qI = 0;
  }
  if (which == pinv_u0_unlogged) eq.Uc = eq.Us = 0;
  if (which == pinv_v0) eq.Vc = eq.Vs = 0;
  if (which == pinv_zi0) eq.tI.z.c = eq.tI.z.s = 0;
  if (which == pinv_zk0) eq.pK.z.c = eq.pK.z.s = 0;
  if (which == pinv_parK) {
    const double mu = coef(rng);
    eq.pK.z.c = mu * eq.Vc, eq.pK.z.s = mu * eq.Vs;
  }
  if (which == pinv_parI) {
    const double lambda = coef(rng);
    eq.tI.z.c = lambda * eq.Uc, eq.tI.z.s = lambda * eq.Us;
  }
  // Constants that make the chosen angles a solution.
  eq.pK.z.o -= z_residual(eq, qI, qK);
  eq.V0 -= length_residual(eq, qI, qK);
  Vec3 p, t;
  pinv_rows(eq.pK, qK, p);
  pinv_rows(eq.tI, qI, t);
  const Vec3 turned = {std::cos(qJ) * p.x - std::sin(qJ) * p.y,
                       std::sin(qJ) * p.x + std::cos(qJ) * p.y, 0};
  eq.tI.x.o += turned.x - t.x;
  eq.tI.y.o += turned.y - t.y;
  return eq;
}

// Every candidate of every routine solves both equations, turns p onto t about z, holds the
// other joints, and the planted solution is among them: a wrong row, sign or TRI1 argument in
// any routine breaks one of these.
TEST(PinvCases, CandidatesSolveBothEquations) {
  const CaseRoutine routines[7] = {pinv_axis, pinv_u0_unlogged, pinv_v0,  pinv_zi0,
                                   pinv_zk0,  pinv_parK,        pinv_parI};
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> angle(-3, 3);
  for (int r = 0; r < 7; r++) {
    for (int trial = 0; trial < 200; trial++) {
      SCOPED_TRACE(testing::Message() << "routine " << r << " seed 31 trial " << trial);
      const double qI = angle(rng), qJ = angle(rng), qK = angle(rng);
      const PinvEquations eq = random_equations(rng, routines[r], qI, qJ, qK);
      double cand[4][kJointSlots];
      for (auto& c : cand)
        for (double& v : c) v = kStart;
      const int n = routines[r](I, J, K, eq, cand);
      ASSERT_LE(n, 4);
      bool planted = false;
      for (int k = 0; k < n; k++) {
        const double* c = cand[k];
        // TRI1 roots carry rounding only, except near tangency (rare with these draws).
        EXPECT_NEAR(z_residual(eq, c[I], c[K]), 0, 1e-9);
        EXPECT_NEAR(length_residual(eq, c[I], c[K]), 0, 1e-9);
        Vec3 p, t;
        pinv_rows(eq.pK, c[K], p);
        pinv_rows(eq.tI, c[I], t);
        const double across = std::cos(c[J]) * p.y + std::sin(c[J]) * p.x;
        const double along = std::cos(c[J]) * p.x - std::sin(c[J]) * p.y;
        EXPECT_LT(angle_gap(std::atan2(t.y, t.x), std::atan2(across, along)), 1e-9);
        for (int i = 0; i < kJointSlots; i++) {
          if (i == I || i == J || i == K) continue;
          EXPECT_EQ(c[i], kStart);
        }
        if (routines[r] == pinv_axis) {
          EXPECT_EQ(c[I], 0);
        }
        const double gap = angle_gap(c[I], routines[r] == pinv_axis ? 0 : qI) +
                           angle_gap(c[J], qJ) + angle_gap(c[K], qK);
        if (gap < 1e-8) planted = true;
      }
      // pinv_parI gives up when a root of qK puts p on J's axis: not with these draws.
      EXPECT_TRUE(planted);
    }
  }
}

// Target on joint I's axis with a length that no root of the z equation matches: the chain
// cannot close, so no candidate (the z equation alone would give two).
TEST(PinvCases, AxisDropsRootsThatLeaveTheChainOpen) {
  std::mt19937 rng(32);
  for (int trial = 0; trial < 50; trial++) {
    PinvEquations eq = random_equations(rng, pinv_axis, 0, 0.3, 0.7);
    eq.V0 += 0.5 + std::fabs(eq.Vc) + std::fabs(eq.Vs);
    double cand[4][kJointSlots] = {};
    EXPECT_EQ(pinv_axis(I, J, K, eq, cand), 0) << "trial " << trial;
  }
}

// The one message of the cases, byte for byte, and the strict range test: equality passes
// and yields the tangent root.
TEST(PinvCases, U0RangeMessageAndTangent) {
  std::mt19937 rng(33);
  PinvEquations eq = random_equations(rng, pinv_u0_unlogged, 0.4, 0.2, 1.1);
  eq.Vc = 0.6, eq.Vs = 0.8, eq.U0 = 0.25, eq.V0 = 0.25 + 1.0 + 1e-9;
  MessageLog log;
  log_clear(log);
  double cand[4][kJointSlots] = {};
  const int n = pinv_u0(I, J, K, eq, cand, &log);
  EXPECT_EQ(n, 0);
  EXPECT_STREQ(log.text, "\nUc=Us=0の場合 c(q3)>1 q3 no solution");
  // |U0 - V0| = sqrt(Vc^2 + Vs^2) exactly: cos(qK - phi) = 1, the same qK twice.
  eq.V0 = eq.U0 - std::sqrt(eq.Vc * eq.Vc + eq.Vs * eq.Vs);
  eq.tI.z.c = 1, eq.tI.z.s = 0, eq.tI.z.o = 0;
  eq.pK.z.c = 0, eq.pK.z.s = 0, eq.pK.z.o = 0;
  ASSERT_EQ(pinv_u0(I, J, K, eq, cand), 4);
  EXPECT_NEAR(cand[0][K], std::atan2(0.8, 0.6), 1e-12);
  EXPECT_EQ(cand[0][K], cand[2][K]);
}

// pinv_parK and pinv_parI with no usable reference coefficient (both at most 1e-7 in
// magnitude, though their sum passed the case list) find nothing instead of dividing by zero.
TEST(PinvCases, UndefinedRatioGivesNoSolution) {
  std::mt19937 rng(34);
  PinvEquations eq = random_equations(rng, pinv_parK, 0.1, 0.2, 0.3);
  double cand[4][kJointSlots] = {};
  eq.Vc = 0.6e-7, eq.Vs = -0.6e-7;
  EXPECT_EQ(pinv_parK(I, J, K, eq, cand), 0);
  eq.Vc = 0, eq.Vs = 0;
  EXPECT_EQ(pinv_parK(I, J, K, eq, cand), 0);
  eq = random_equations(rng, pinv_parI, 0.1, 0.2, 0.3);
  eq.Uc = 0.6e-7, eq.Us = 0.6e-7;
  EXPECT_EQ(pinv_parI(I, J, K, eq, cand), 0);
  for (const auto& c : cand)
    for (double v : c) EXPECT_EQ(v, 0);
}

// pinv_parI gives up on the whole problem when its second qK root puts the end point on joint
// J's axis, although the first root has written candidates.
TEST(PinvCases, ParIEndPointOnAxisOfJ) {
  // qK roots 1.0 (first) and -0.6: phi = 0.2, alpha = 0.8.
  const double phi = 0.2, alpha = 0.8, second = -0.6;
  PinvEquations eq = {};
  eq.pK.x.c = 1, eq.pK.x.o = -std::cos(second);
  eq.pK.y.s = 1, eq.pK.y.o = -std::sin(second);
  eq.Uc = 1, eq.tI.z.c = 1;  // lambda = 1
  eq.Vc = std::cos(phi), eq.Vs = std::sin(phi), eq.V0 = -std::cos(alpha);
  double cand[4][kJointSlots] = {};
  EXPECT_EQ(pinv_parI(I, J, K, eq, cand), 0);
  EXPECT_NEAR(cand[0][K], 1.0, 1e-12);  // the first root did write
}

// With the end point on joint J's axis any qJ closes the chain: joint J keeps its start value
// and nothing is divided by zero.
TEST(PinvCases, EndPointOnAxisOfJKeepsStart) {
  double cand[kJointSlots];
  for (double& v : cand) v = kStart;
  pinv_store(I, J, K, 0.5, -0.5, {0, 0, 1}, {0, 0, 1}, cand);
  EXPECT_EQ(cand[I], 0.5);
  EXPECT_EQ(cand[J], kStart);
  EXPECT_EQ(cand[K], -0.5);
  // The same through a routine: p has no x, y part at all.
  std::mt19937 rng(35);
  for (CaseRoutine routine : {pinv_zi0, pinv_zk0, pinv_parK, pinv_u0_unlogged, pinv_v0}) {
    PinvEquations eq = random_equations(rng, routine, 0.3, 0.0, 0.9);
    eq.pK.x = eq.pK.y = TrigTerm{0, 0, 0};
    double out[4][kJointSlots];
    for (auto& c : out)
      for (double& v : c) v = kStart;
    const int n = routine(I, J, K, eq, out);
    EXPECT_GE(n, 1);
    for (int k = 0; k < n; k++) EXPECT_EQ(out[k][J], kStart);
  }
}

}  // namespace
