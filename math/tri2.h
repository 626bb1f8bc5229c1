// Solvers of the one-angle trigonometric equations that every closed-form joint solution
// reduces to. Angles in radians.
#pragma once

#include "math/message_log.h"

// a*cos(t) + b*sin(t) + c = 0, that is r*cos(t - phi) = -c. Writes phi + alpha, then phi - alpha,
// each wrapped once into [-PI, PI], and returns 2; or returns 0 with out = (0, 0) when there is no
// solution (r < 1e-8, |c| > r, or a coefficient NaN or infinite).
int TRI1(double a, double b, double c, double out[2]);

// AC2*cos^2(t) + AS2*sin^2(t) + 2*ACS*sin(t)*cos(t) + 2*BC1*cos(t) + 2*BS1*sin(t) + C0 = 0.
// Writes up to four roots into out and returns their number (0 also for a NaN or infinite
// coefficient, or finite ones so large that the equation's combinations overflow). Notes the
// failures of the case without linear terms in log.
int TRI2(double AC2, double AS2, double ACS, double BC1, double BS1, double C0, double out[4],
         MessageLog* log = nullptr);

// AC2 cos^2 t + AS2 sin^2 t + 2 BC1 cos t + C0 = 0: writes up to four roots t (radians) into
// roots and returns their number.
int TRI2C(double AC2, double AS2, double BC1, double C0, double roots[4]);

// AC2 cos^2 t + AS2 sin^2 t + 2 BS1 sin t + C0 = 0: writes up to four roots t (radians) into
// roots and returns their number.
int TRI2S(double AC2, double AS2, double BS1, double C0, double roots[4]);
