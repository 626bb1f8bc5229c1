// Certification and repair of the closed-form cubic and quartic roots of poly_roots.h. The
// closed forms run first; their result is then checked cheaply: every returned root, real or
// complex, must solve the polynomial to a small residual relative to the polynomial's scale
// (sum of |coefficient| * |x|^power), and the number of real roots must be certified
// independently: by disjoint inclusion disks about the roots (radius n |p| / |p'| with the
// rounding of both, each disk then holding exactly one root), or where disks overlap by the
// discriminant and the signs of the invariants, or where those are too close to 0 to trust, by
// the signs of the polynomial at its extrema evaluated in long double (a Sturm-like count).
// Where the check fails, the real roots are recomputed by bracketing between the extrema and
// safeguarded Newton steps in long double, the closed form's real roots that are right keep
// their places, the roots it missed follow them in ascending order, and the complex pairs are
// recomputed by Newton steps with implicit deflation (Aberth's correction).
// Pure functions: no state, no output.
#pragma once

// Certifies and if needed repairs the roots of x^degree + coef[0]*x^(degree-1) + ... +
// coef[degree-1] (degree 3 or 4, finite coefficients) that a closed form wrote into roots in
// the layout of poly_roots.h (count real roots first, then (re, im) pairs with im > 0).
// Every real root is also polished by Newton steps evaluated in long double, in place, unless
// it is already within about 1e-14 (relative) of a root. Returns the number of real roots, which
// is count when the closed form was right.
int certify_roots(const double coef[], int degree, double roots[], int count);
