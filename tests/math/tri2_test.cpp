#include "math/tri2.h"

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "math/angles.h"
#include "math/message_log.h"
#include "support.h"

namespace {

// Runs TRI2 with a message log; returns what it noted there.
std::string tri2_logged(double AC2, double AS2, double ACS, double BC1, double BS1, double C0,
                        double out[4], int& count) {
  MessageLog log;
  log_clear(log);
  count = TRI2(AC2, AS2, ACS, BC1, BS1, C0, out, &log);
  return log.text;
}

// One equation AC2*c^2 + AS2*s^2 + 2*ACS*s*c + 2*BC1*c + 2*BS1*s + C0 = 0.
struct Equation {
  double AC2, AS2, ACS, BC1, BS1, C0;
  double at(double t) const {
    const double c = std::cos(t), s = std::sin(t);
    return AC2 * c * c + AS2 * s * s + 2 * ACS * s * c + 2 * BC1 * c + 2 * BS1 * s + C0;
  }
  double scale() const {
    return std::fabs(AC2) + std::fabs(AS2) + 2 * std::fabs(ACS) + 2 * std::fabs(BC1) +
           2 * std::fabs(BS1) + std::fabs(C0);
  }
  int solve(double out[4]) const { return TRI2(AC2, AS2, ACS, BC1, BS1, C0, out); }
};

// Angle difference reduced to [-pi, pi] with the library's pi, which atan2 and acos carry.
double angle_gap(double a, double b) {
  return std::fabs(wrap_library_turn(a - b));
}

// The product of the chords cos(t - m1) = k1 and cos(t - m2) = k2 of the unit circle, plus
// lambda times the circle itself (c^2 + s^2 - 1), times scale.
Equation chords(double m1, double k1, double m2, double k2, double lambda, double scale) {
  const double a1 = std::cos(m1), b1 = std::sin(m1), a2 = std::cos(m2), b2 = std::sin(m2);
  return {scale * (a1 * a2 + lambda),       scale * (b1 * b2 + lambda),
          scale * (a1 * b2 + a2 * b1) / 2,  -scale * (a1 * k2 + a2 * k1) / 2,
          -scale * (b1 * k2 + b2 * k1) / 2, scale * (k1 * k2 - lambda)};
}

// The chord through the circle points at angles t1 and t2: cos(t - m) = k.
void chord_through(double t1, double t2, double& m, double& k) {
  m = (t1 + t2) / 2;
  k = std::cos((t1 - t2) / 2);
}

// Every returned angle solves the equation and lies next to one of the known angles, and every
// known angle is returned. The equations are scaled to order one; the angles' accuracy is
// limited by that of the quartic's roots.
void expect_exactly(const Equation& e, const double known[], int known_count, const double out[],
                    int count, const std::string& what) {
  EXPECT_EQ(count, known_count) << what;
  for (int i = 0; i < count; i++) {
    EXPECT_LT(std::fabs(e.at(out[i])), 1e-9 * e.scale()) << what << " angle " << out[i];
    double nearest = 10;
    for (int k = 0; k < known_count; k++) nearest = std::fmin(nearest, angle_gap(out[i], known[k]));
    EXPECT_LT(nearest, 1e-7) << what << " spurious angle " << out[i];
  }
  for (int k = 0; k < known_count; k++) {
    double nearest = 10;
    for (int i = 0; i < count; i++) nearest = std::fmin(nearest, angle_gap(out[i], known[k]));
    EXPECT_LT(nearest, 1e-7) << what << " missed angle " << known[k];
  }
}

// The examples with their order: callers take the roots in the order returned. Angles from
// atan2 and acos carry the library's pi, 4e-15 away from the 14-digit PI: tolerance 1e-14.
TEST(Tri1, Examples) {
  double out[2] = {5, 5};
  ASSERT_EQ(TRI1(1, 0, 0, out), 2);
  EXPECT_NEAR(out[0], PI / 2, 1e-14);
  EXPECT_NEAR(out[1], -PI / 2, 1e-14);
  EXPECT_EQ(TRI1(0, 0, 0, out), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  out[0] = out[1] = 5;
  EXPECT_EQ(TRI1(1, 0, 2, out), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  // Tangent: the same angle twice.
  ASSERT_EQ(TRI1(0, 1, -1, out), 2);
  EXPECT_NEAR(out[0], PI / 2, 1e-14);
  EXPECT_NEAR(out[1], PI / 2, 1e-14);
  // phi + alpha beyond PI is wrapped once: cos(t) = -0.5 at t = pi +- pi/3.
  ASSERT_EQ(TRI1(-1, 0, -0.5, out), 2);
  EXPECT_NEAR(out[0], -2 * PI / 3, 1e-14);
  EXPECT_NEAR(out[1], 2 * PI / 3, 1e-14);
}

// Random a, b and c: two roots in [-PI, PI] that solve the equation, or none exactly when
// |c| > r. Catches a wrong sign of alpha or a wrap applied twice or not at all.
TEST(Tri1, RandomEquationsAreSolved) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int trial = 0; trial < 5000; trial++) {
    const double a = unit(rng), b = unit(rng), c = 1.5 * unit(rng);
    double out[2];
    const int count = TRI1(a, b, c, out);
    EXPECT_EQ(count, std::fabs(c) > std::hypot(a, b) ? 0 : 2) << "trial " << trial;
    for (int i = 0; i < count; i++) {
      EXPECT_LE(std::fabs(out[i]), PI) << "trial " << trial;
      // Rounding of acos near +-1 and of the sum: a few units of 1e-16 times |c| <= 1.5.
      EXPECT_NEAR(a * std::cos(out[i]) + b * std::sin(out[i]) + c, 0, 1e-13) << "trial " << trial;
    }
  }
}

// The examples of the three cases, their order and the exact log lines of case B. Angles
// within 1e-14 as in the TRI1 examples.
TEST(Tri2, ExamplesAndMessages) {
  double out[4];
  int count;
  EXPECT_EQ(tri2_logged(1, 1, 0, 0.5, 0, -1, out, count), "");  // case A: cos t = 0
  ASSERT_EQ(count, 2);
  EXPECT_NEAR(out[0], PI / 2, 1e-14);
  EXPECT_NEAR(out[1], -PI / 2, 1e-14);

  EXPECT_EQ(tri2_logged(1, 0, 0, 0, 0, -0.25, out, count), "");  // case B: cos^2 t = 1/4
  ASSERT_EQ(count, 4);
  EXPECT_NEAR(out[0], PI / 3, 1e-14);
  EXPECT_NEAR(out[1], -2 * PI / 3, 1e-14);
  EXPECT_NEAR(out[2], -PI / 3, 1e-14);
  EXPECT_NEAR(out[3], 2 * PI / 3, 1e-14);

  EXPECT_EQ(tri2_logged(1, 0, 0, 0, 0, 0.5, out, count),
            "\nTRI2() BC1=BS1=0 sqrt( X=-0.50000<0 ) no solution");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(tri2_logged(1, 0, 0, 0, 0, -1.5, out, count),
            "\nTRI2() BC1=BS1=0 cos2()>1 no solution");
  EXPECT_EQ(count, 0);

  // Case C, cos^2 t + sin t - 1 = 0: 0 and pi; pi/2 gives a sine of exactly 1 and is dropped.
  EXPECT_EQ(tri2_logged(1, 0, 0, 0, 0.5, -1, out, count), "");
  ASSERT_EQ(count, 2);
  EXPECT_NEAR(std::fabs(out[0]), 0, 1e-12);
  EXPECT_NEAR(std::fabs(out[1]), PI, 1e-12);
}

// Equations built from known angles, in each case of the solver: everything returned solves
// the equation, nothing spurious, nothing missed. Catches a dropped sign of the sine, a lost
// root of the quartic and wrong coefficients of the squared equation.
TEST(Tri2, EquationsFromKnownAngles) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> unit(-1, 1), angle(-kLibraryPi, kLibraryPi);
  std::uniform_real_distribution<double> scale(0.2, 5);
  for (int trial = 0; trial < 3000; trial++) {
    const std::string at = "trial " + std::to_string(trial);
    double out[4];
    double t[4];
    // Cosines and sines of the known angles at least 0.02 apart and away from +-1: the quartic
    // in cos t then has simple roots.
    for (bool apart = false; !apart;) {
      for (double& value : t) value = angle(rng);
      apart = true;
      for (int i = 0; i < 4; i++) {
        apart = apart && std::fabs(std::sin(t[i])) > 0.02;
        for (int j = 0; j < i; j++)
          apart = apart && std::fabs(std::cos(t[i]) - std::cos(t[j])) > 0.02;
      }
    }
    double m1, k1, m2, k2;
    chord_through(t[0], t[1], m1, k1);
    chord_through(t[2], t[3], m2, k2);
    const double lambda = unit(rng), s = scale(rng);

    // Case C with four angles, and with two when the second chord misses the circle.
    const Equation four = chords(m1, k1, m2, k2, lambda, s);
    expect_exactly(four, t, 4, out, four.solve(out), at + " four angles");
    const Equation two = chords(m1, k1, m2, 1.5, lambda, s);
    expect_exactly(two, t, 2, out, two.solve(out), at + " two angles");
    const Equation none = chords(m1, 1.2, m2, -1.5, lambda, s);
    expect_exactly(none, t, 0, out, none.solve(out), at + " no angle");

    // Case A: a single chord, cos^2 + sin^2 folded into the constant.
    const Equation line = {s * lambda,           s * lambda,           0,
                           s * std::cos(m1) / 2, s * std::sin(m1) / 2, -s * (k1 + lambda)};
    expect_exactly(line, t, 2, out, line.solve(out), at + " case A");

    // Case B: two lines through the centre meet the circle at t0, t0 + pi, t2 and t2 + pi.
    const Equation centred = chords(t[0] + kLibraryPi / 2, 0, t[2] + kLibraryPi / 2, 0, lambda, s);
    const double opposite[4] = {t[0], t[0] + kLibraryPi, t[2], t[2] + kLibraryPi};
    expect_exactly(centred, opposite, 4, out, centred.solve(out), at + " case B");
    for (int i = 0; i < 4; i++) EXPECT_LE(std::fabs(out[i]), 1.25 * PI) << at << " case B range";
  }
}

// The squared equation factors when a root of the quartic has ACS*x + BS1 = 0: the angles then
// come from the factors, in the documented order. Catches a branch that keeps the sine
// division by a vanishing w, or loses the pair of angles with the same cosine. Such a root is a
// double root of the quartic, which often came back as a complex pair: a third of the random
// cases below lost two or all four angles.
TEST(Tri2, FactoredEquations) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int trial = 0; trial < 1000; trial++) {
    const std::string at = "trial " + std::to_string(trial);
    double out[4], line[2];
    // (ACS*cos t + BS1) * (p*cos t + 2*sin t + q) = 0 plus lambda times the circle, with
    // x0 = -BS1/ACS = 0 exactly (the quartic's root 0 is then exact) or random.
    const double ACS = 0.2 + std::fabs(unit(rng)), p = 2 * unit(rng), q = unit(rng);
    const double lambda = unit(rng), x0 = trial % 4 == 0 ? 0 : 0.95 * unit(rng);
    const double BS1 = -ACS * x0;
    const Equation vertical = {ACS * p + lambda,        lambda, ACS,
                               (ACS * q + BS1 * p) / 2, BS1,    BS1 * q - lambda};
    const int count = vertical.solve(out);
    const int line_count = TRI1(p, 2, q, line);
    ASSERT_EQ(count, line_count + 2) << at;
    for (int i = 0; i < line_count; i++) EXPECT_NEAR(out[i], line[i], 1e-12) << at;
    EXPECT_NEAR(out[line_count], std::acos(x0), 1e-12) << at;
    EXPECT_NEAR(out[line_count + 1], -std::acos(x0), 1e-12) << at;
    for (int i = 0; i < count; i++)
      EXPECT_LT(std::fabs(vertical.at(out[i])), 1e-12 * vertical.scale()) << at;

    // No sine at all: Dd*x^2 + 2*BC1*x + S = 0 with roots x1 and x2 in (-1, 1), each giving +t
    // then -t. The quartic is then a square.
    const double x1 = 0.95 * unit(rng), x2 = 0.95 * unit(rng);
    if (std::fabs(x1 - x2) < 0.05) continue;
    const double Dd = 0.2 + std::fabs(unit(rng));
    const Equation even = {Dd + lambda, lambda, 0, -Dd * (x1 + x2) / 2, 0, Dd * x1 * x2 - lambda};
    const double known[4] = {std::acos(x1), -std::acos(x1), std::acos(x2), -std::acos(x2)};
    const int even_count = even.solve(out);
    expect_exactly(even, known, 4, out, even_count, at + " no sine");
    for (int i = 0; i + 1 < even_count; i += 2) EXPECT_NEAR(out[i], -out[i + 1], 1e-15) << at;
  }
}

// NaN or infinite coefficients: no angles, nothing logged.
TEST(Tri2, NonFiniteCoefficientsGiveNoAngles) {
  const double bad[2] = {std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()};
  for (double value : bad) {
    double out[4];
    EXPECT_EQ(TRI1(value, 1, 0, out), 0);
    EXPECT_EQ(TRI1(1, 0, value, out), 0);
    for (int at = 0; at < 6; at++) {
      double c[6] = {1, 0, 0, 0, 0, -0.25};
      c[at] = value;
      int count;
      EXPECT_EQ(tri2_logged(c[0], c[1], c[2], c[3], c[4], c[5], out, count), "");
      EXPECT_EQ(count, 0) << "coefficient " << at;
    }
  }
}

// Linear and constant terms near 1e-6 (found by fuzzing): the quartic's absolute thresholds
// take its tiny constant terms for zeros and return 0 and 8e-6 as roots; the sines recomputed
// for them lay far off the unit circle, and TRI2 returned -pi/2 three times and 0.0476, none of
// them a solution (residuals 2e-6 and 0.5). Every angle returned must solve the equation.
TEST(Tri2, TinyTermsGiveNoFalseAngles) {
  const double k[6] = {0.5, 0, 1.9531654636375604e-07, -1e-06, -1e-06, -1.5237342164895025e-11};
  double out[4];
  int count;
  tri2_logged(k[0], k[1], k[2], k[3], k[4], k[5], out, count);
  for (int r = 0; r < count; r++) {
    const double c = std::cos(out[r]), s = std::sin(out[r]);
    // 1e-9: far below the smallest term of the equation, far above rounding.
    EXPECT_NEAR(k[0] * c * c + k[1] * s * s + 2 * k[2] * s * c + 2 * k[3] * c + 2 * k[4] * s + k[5],
                0, 1e-9)
        << "angle " << out[r];
  }
}

// Finite coefficients whose squares overflow (inputs found by fuzzing). TRI1 took r as infinite
// and returned angles that do not solve the equation; TRI2 returned four NaN angles.
TEST(Tri2, HugeCoefficients) {
  const double equations[3][3] = {
      {-4, 8.8001147761747392e+223, 8.8001147761747392e+223},
      {3.8068799061837119e+307, 1.7945718529803527e+308, 5.7878281004036359e+302},
      {1e200, 0, 2e200}};
  const int expected[3] = {2, 2, 0};
  for (int e = 0; e < 3; e++) {
    const double* k = equations[e];
    double out[2];
    ASSERT_EQ(TRI1(k[0], k[1], k[2], out), expected[e]) << "equation " << e;
    const double scale = std::fmax(std::fabs(k[0]), std::fabs(k[1]));
    for (int r = 0; r < expected[e]; r++) {
      // 1e-12 relative: the roots are exact to a few rounding errors of the scaled equation.
      const double residual =
          k[0] / scale * std::cos(out[r]) + k[1] / scale * std::sin(out[r]) + k[2] / scale;
      EXPECT_NEAR(residual, 0, 1e-12) << "equation " << e << " root " << r;
    }
  }
  double out[4];
  int count;
  tri2_logged(0.5, 0, 1.5932496018796088e+308, 0, 0, 0, out, count);
  EXPECT_EQ(count, 0);
}

// The published example roots, in their order; a wrong order or a lost branch shows here.
TEST(Tri2cTri2s, ExampleRootsInOrder) {
  double r[4];
  ASSERT_EQ(TRI2C(1, 0, 0, -0.25, r), 4);
  const double c[4] = {PI / 3, -PI / 3, 2 * PI / 3, -2 * PI / 3};
  for (int k = 0; k < 4; k++) EXPECT_NEAR(r[k], c[k], 1e-12) << k;
  ASSERT_EQ(TRI2C(1, 1, 0.5, -1, r), 2);  // near-equal weights: cos t = 0
  EXPECT_NEAR(r[0], PI / 2, 1e-12);
  EXPECT_NEAR(r[1], -PI / 2, 1e-12);
  ASSERT_EQ(TRI2S(0, 1, 0, -0.25, r), 4);
  const double s[4] = {PI / 6, 5 * PI / 6, -PI / 6, -5 * PI / 6};
  for (int k = 0; k < 4; k++) EXPECT_NEAR(r[k], s[k], 1e-12) << k;
  // Near-equal weights, sin t = 0: the second root pi is written with the decimal constants
  // and turned back by their "two pi" because it exceeds their "pi".
  ASSERT_EQ(TRI2S(1, 1, 0.5, -1, r), 2);
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[1], 3.1415926536 - 6.28318530778);
  // No solution: cos^2 = -1/2, cos = 3 on the near-equal branch, a vanishing linear term there.
  EXPECT_EQ(TRI2C(1, 0, 0, 0.5, r), 0);
  EXPECT_EQ(TRI2C(1, 1, 0.5, -4, r), 0);
  EXPECT_EQ(TRI2C(1, 1, 0, -1, r), 0);
  EXPECT_EQ(TRI2S(0, 1, 0, 0.5, r), 0);
  EXPECT_EQ(TRI2S(1, 1, 0.5, -4, r), 0);
}

// Every root solves its equation; a sign slip in the reduction to x^2 + 2bx + c would not.
TEST(Tri2cTri2s, RootsSolveTheirEquations) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> coef(-2, 2);
  int solved = 0;
  for (int trial = 0; trial < 500; trial++) {
    const double AC2 = coef(rng), AS2 = coef(rng), B1 = coef(rng), C0 = coef(rng);
    double r[4];
    const int nc = TRI2C(AC2, AS2, B1, C0, r);
    for (int k = 0; k < nc; k++) {
      const double c = std::cos(r[k]), s = std::sin(r[k]);
      EXPECT_NEAR(AC2 * c * c + AS2 * s * s + 2 * B1 * c + C0, 0, 1e-9) << "trial " << trial;
    }
    const int ns = TRI2S(AC2, AS2, B1, C0, r);
    for (int k = 0; k < ns; k++) {
      const double c = std::cos(r[k]), s = std::sin(r[k]);
      EXPECT_NEAR(AC2 * c * c + AS2 * s * s + 2 * B1 * s + C0, 0, 1e-9) << "trial " << trial;
    }
    solved += nc + ns;
  }
  EXPECT_GT(solved, 500);
}

// A NaN coefficient on the branch where cos^2 and sin^2 weigh alike (input found by fuzzing):
// the NaN cosine or sine passed the range test and both roots came back NaN.
TEST(Tri2cTri2s, NanOnTheLinearBranchGivesNoRoots) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  double r[4];
  EXPECT_EQ(TRI2C(2.2103038802108114e-308, 1.4060974115181676e-07, -1e-06, nan, r), 0);
  EXPECT_EQ(TRI2C(nan, 0, 0.5, -1, r), 0);
  EXPECT_EQ(TRI2S(1, 1, 0.5, nan, r), 0);
  EXPECT_EQ(TRI2S(1, 1, nan, -1, r), 0);
}

}  // namespace
