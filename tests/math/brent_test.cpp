#include "math/brent.h"

#include <cmath>
#include <random>

#include "support.h"

namespace {

// A function of x with a record of where it was evaluated; each evaluation's id is its place
// in the record. x in [refuseLo, refuseHi] cannot be evaluated.
struct Probe {
  double (*g)(double);
  double refuseLo = 1, refuseHi = 0;
  double xs[512];
  int n = 0;
  int refused = 0;
};

int probe(void* context, double x, const BrentPoint&, const BrentPoint&, BrentPoint& out) {
  Probe& p = *static_cast<Probe*>(context);
  if (x >= p.refuseLo && x <= p.refuseHi) {
    p.refused++;
    return 0;
  }
  p.xs[p.n] = x;
  out = {x, p.g(x), p.n++};
  return 1;
}

BrentPoint start(Probe& p, double x) {
  BrentPoint b;
  probe(&p, x, b, b, b);
  return b;
}

double cubic(double x) {
  return (x - 1) * (x + 2) * (x - 3);
}
double minus_cosine(double x) {
  return -std::cos(x);
}
double ninth_power(double x) {
  return std::pow(x - 0.25, 9);
}
double step_at_third(double x) {
  return x < 1.0 / 3 ? -1 : 1;
}

// Roots known in closed form, bracketed either way round, including a flat one (x^9) and a
// jump: the result lies within the asked width (plus rounding) of the root, is one of the
// evaluations and is the end of smaller |f|.
TEST(BrentRoot, FindsKnownRoots) {
  struct Case {
    double (*g)(double);
    double a, b, root;
  } cases[] = {{cubic, 0, 2, 1},           {cubic, 2.5, 4, 3},
               {cubic, -3, 0, -2},         {minus_cosine, 0, 3, PI / 2},
               {ninth_power, -1, 2, 0.25}, {step_at_third, 0, 1, 1.0 / 3}};
  for (const Case& c : cases) {
    for (double width : {1e-13, 1e-6}) {
      Probe p;
      p.g = c.g;
      const BrentPoint a = start(p, c.a), b = start(p, c.b);
      BrentPoint root;
      ASSERT_EQ(brent_root(probe, &p, a, b, width, root), kBrentConverged) << c.root;
      EXPECT_NEAR(root.x, c.root, width + 1e-15 * (1 + std::fabs(c.root)))
          << c.root << " " << width;
      ASSERT_GE(root.id, 0);
      ASSERT_LT(root.id, p.n);
      EXPECT_EQ(p.xs[root.id], root.x);
      EXPECT_EQ(root.f, c.g(root.x));
    }
  }
}

// A trial the function refuses is replaced by the bracket's middle; when that is refused too,
// no root is given.
TEST(BrentRoot, RefusedTrialsFallBackToTheMiddleOrFail) {
  Probe p;
  p.g = cubic;
  const BrentPoint a = start(p, 0), b = start(p, 2);
  p.refuseLo = 1.05, p.refuseHi = 1.2;  // around the first secant step, clear of the root
  BrentPoint root;
  ASSERT_EQ(brent_root(probe, &p, a, b, 1e-12, root), kBrentConverged);
  EXPECT_NEAR(root.x, 1, 1e-12);
  EXPECT_GT(p.refused, 0);

  Probe q;
  q.g = cubic;
  const BrentPoint c = start(q, 0), d = start(q, 2);
  q.refuseLo = 0.001, q.refuseHi = 1.999;
  EXPECT_EQ(brent_root(probe, &q, c, d, 1e-12, root), kBrentNotEvaluated);
}

double shifted_parabola(double x) {
  return (x - 0.7) * (x - 0.7) + 1;
}
double cosine(double x) {
  return std::cos(x);
}
double kink(double x) {
  return std::fabs(x - 0.3);
}
double rising(double x) {
  return x;
}
double flat(double) {
  return 2;
}

// Minima known in closed form, smooth, a kink and one at the interval's end: the point found is
// within the tolerance's reach of it (a smooth minimum is flat to second order, so its place is
// known to about sqrt of the relative precision; no trial comes nearer an end than the
// tolerance, 1.5e-8 here) and is one of the evaluations.
TEST(BrentMinimise, FindsKnownMinima) {
  struct Case {
    double (*g)(double);
    double lo, hi, x0, xMin, tolerance;
  } cases[] = {{shifted_parabola, 0, 2, 1.5, 0.7, 1e-7},
               {cosine, 2, 4.5, 4, PI, 1e-7},
               {kink, -1, 1, 0.9, 0.3, 1e-8},
               {rising, 1, 2, 1.5, 1, 4e-8}};
  for (const Case& c : cases) {
    Probe p;
    p.g = c.g;
    BrentPoint low;
    ASSERT_EQ(brent_minimise(probe, &p, c.lo, c.hi, c.x0, 1.5e-8, 1e-10, low), kBrentConverged);
    EXPECT_NEAR(low.x, c.xMin, c.tolerance) << c.xMin;
    EXPECT_EQ(p.xs[0], c.x0);  // the start is evaluated first
    EXPECT_EQ(p.xs[low.id], low.x);
    // No evaluation went below the one reported.
    for (int k = 0; k < p.n; k++) EXPECT_GE(c.g(p.xs[k]), low.f) << c.xMin << " " << p.xs[k];
  }
}

// Of equal values the later evaluation is kept (the placement relies on it for ties); a start
// that cannot be evaluated gives no point.
TEST(BrentMinimise, KeepsTheLaterOfEqualValuesAndFailsWithoutAStart) {
  Probe p;
  p.g = flat;
  BrentPoint low;
  ASSERT_EQ(brent_minimise(probe, &p, 0, 1, 0.5, 1.5e-8, 1e-10, low), kBrentConverged);
  EXPECT_GT(p.n, 1);
  EXPECT_EQ(low.id, p.n - 1);

  Probe q;
  q.g = flat;
  q.refuseLo = 0.4, q.refuseHi = 0.6;
  EXPECT_EQ(brent_minimise(probe, &q, 0, 1, 0.5, 1.5e-8, 1e-10, low), kBrentNotEvaluated);
}

}  // namespace
