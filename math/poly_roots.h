// Closed-form real polynomial solvers of degree two to four, and the real cube root.
// Root arrays hold the real roots first (their number is the result), then each complex pair
// as (real part, imaginary part). NaN or infinite coefficients, and finite ones so large that
// a root or an intermediate overflows the double range, give 0 with zeros stored.
// Pure functions: no state, no output.
#pragma once

// Real y with y^3 = x (x itself when it is infinite or NaN).
double cube_root(double x);

// x^2 + 2*b*x + c = 0 with coef = [b, c] (half the linear coefficient). Returns 2 (the larger
// magnitude root first) or 0 with roots = (re, im).
int quadratic(const double coef[2], double roots[2]);

// x^3 + a*x^2 + b*x + c = 0 with coef = [a, b, c]. Returns 3, or 1 with roots = (x0, re, im).
// The real roots are finished by Newton steps on the cubic; their order stays as computed.
// The result is then certified (poly_roots_certify.h): every root solves the cubic to a few
// roundings relative to its scale and the count is the cubic's; where the closed form was
// wrong, its right real roots keep their places, the ones it missed follow in ascending order.
int cubic(const double coef[3], double roots[3]);

// x^4 + a*x^3 + b*x^2 + c*x + d = 0 with coef = [a, b, c, d]. Returns 4, 2 with
// roots = (x0, x1, re, im), or 0 with roots = (re, im, re', im'). The real roots are finished
// by Newton steps on the quartic; their order stays as computed. Certified as the cubic: no
// real root is lost, each comes back to near machine precision, missed ones after the others.
int quartic(const double coef[4], double roots[4]);
