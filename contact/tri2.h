// Solvers of the one-angle trigonometric equations that every closed-form joint solution
// reduces to. Angles in radians.
#pragma once

// a*cos(t) + b*sin(t) + c = 0, that is r*cos(t - phi) = -c. Writes phi + alpha, then phi - alpha,
// each wrapped once into [-PI, PI], and returns 2; or returns 0 with out = (0, 0) when there is no
// solution (r < 1e-8, |c| > r, or a coefficient NaN or infinite).
int TRI1(double a, double b, double c, double out[2]);

// AC2*cos^2(t) + AS2*sin^2(t) + 2*ACS*sin(t)*cos(t) + 2*BC1*cos(t) + 2*BS1*sin(t) + C0 = 0.
// Writes up to four roots into out and returns their number (0 also for a NaN or infinite
// coefficient, or finite ones so large that the equation's combinations overflow). Prints a
// console line in the failures of the case without linear terms.
int TRI2(double AC2, double AS2, double ACS, double BC1, double BS1, double C0, double out[4]);
