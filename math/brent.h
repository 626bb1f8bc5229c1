// Brent's methods in one variable: the root of a function between two points of opposite sign,
// and the minimum of a function on an interval (inverse parabolic steps, guarded by bisection
// and golden-section steps). No allocation.
//
// The function is the caller's: a plain function pointer with a context pointer. Each evaluation
// returns a point (x, f) with an id of the caller's choosing, which the routines carry along, so
// that a caller that computes more than a value at x (a whole pose) can tell which of its
// evaluations the result is. An evaluation may fail (return 0): the routines then stop.
#pragma once

// Iterations each routine may spend.
constexpr int kBrentRootIterations = 200;
constexpr int kBrentMinimumIterations = 100;

// One evaluation: f at x, and the caller's handle on it.
struct BrentPoint {
  double x;
  double f;
  int id;
};

enum BrentStatus {
  kBrentConverged,        // the point is found to the tolerance
  kBrentIterationsSpent,  // the iterations ran out; the point is the best so far
  kBrentNotEvaluated,     // an evaluation failed; no point
};

// f at x into out (out.x = x); b and c are the root finder's bracket around x (b the end of
// smaller |f|), which the minimiser passes as out-of-use zeros. Returns 1, or 0 when f cannot
// be evaluated at x.
typedef int (*BrentFunction)(void* context, double x, const BrentPoint& b, const BrentPoint& c,
                             BrentPoint& out);

// The root of f between a and b, whose values lie on opposite sides (f > 0 and f <= 0): the
// bracket is narrowed until it is `width` wide (plus rounding), and root is its end of smaller
// |f|. A trial that cannot be evaluated is replaced once by the bracket's middle.
BrentStatus brent_root(BrentFunction f, void* context, const BrentPoint& a, const BrentPoint& b,
                       double width, BrentPoint& root);

// The minimum of f over [lo, hi] starting from x0 inside (evaluated first), to a tolerance in x
// of relTol |x| + absTol. Of equal values the later evaluation is kept.
BrentStatus brent_minimise(BrentFunction f, void* context, double lo, double hi, double x0,
                           double relTol, double absTol, BrentPoint& minimum);
