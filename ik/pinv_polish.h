// Refinement of pinv4's candidates on the chain closure itself: Newton steps on the three
// closure equations in the three joints I, J, K, to the limit of double precision, and the
// recovery of a branch the closed form lost. Works on the chain data of PinvGeometry only.
#pragma once

#include "ik/pinv_equations.h"

namespace pinv_parts {

// Whether the candidates of route need pinv_polish: those of the general routes are only as
// exact as the roots of the eliminated equation; those of a degenerate route are exact when the
// property that chose it (pinv_case_measure below 1e-7) holds to rounding (1e-12), as in the
// catalogue's structural cases, and off by up to some 1e-8 rad when the measure merely fell
// under 1e-7.
bool pinv_needs_polish(const PinvEquations& eq, PinvCase route);

// Newton steps on the closure equations for joints I, J, K of cand (radians), in place; a step
// is kept only while it shrinks the gap, and a joint that Newton carries beyond the library's
// [-pi, pi] is turned back by whole turns (wrap_library_turn). Returns the remaining gap's length
// (model units), or infinity for a non-finite joint. The other joints of cand are left alone.
double pinv_polish(const PinvGeometry& geo, int I, int J, int K, double cand[]);

// Recovers the solutions of the general route in reduced form (kPinvGeneralC, kPinvGeneralS)
// that the closed form lost, from the n candidates (already polished); route and elim are
// pinv_case's for eq. The eliminated equation is a quadratic in x = cos qK (sin qK); each
// candidate's x is an exact root, which gives the other root exactly even where the two nearly
// coincide and the closed form merged or missed them. Every angle of either root that no
// candidate has yet is solved for qI by pinv_cramer, polished by pinv_polish, and appended (up
// to 4 in all) when it closes the chain to 1e-10 and lies 1e-4 or more (summed over I, J, K
// modulo turns) from every candidate. Other joints are copied from cand[0]. Returns the new
// count; other routes keep n.
int pinv_recover(const PinvGeometry& geo, const PinvEquations& eq, PinvCase route,
                 const PinvElimination& elim, int I, int J, int K, int n,
                 double cand[][kJointSlots]);

}  // namespace pinv_parts
