// Closed-form solutions of the three positioning joints I < J < K in the degenerate geometries
// where the general elimination of pinv4 breaks down. Each routine solves the z equation and
// the length equation one angle after the other with TRI1 and writes joints I, J, K of the
// caller's candidates cand[0], cand[1], ... (which already hold the start joint vector).
#pragma once

#include "ik/pinv_equations.h"
#include "math/message_log.h"

namespace pinv_parts {

// Target on the axis of joint I (w.x = w.y = 0): qK from the z equation, qI = 0. A root that
// does not also satisfy the length equation leaves the chain open and is dropped.
// Returns the number of candidates written, 0..2.
int pinv_axis(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// The length equation is free of qI: qK from it, then qI from the z equation. Notes in log
// when |U0 - V0| exceeds sqrt(Vc^2 + Vs^2). Returns the number of candidates, 0..4.
int pinv_u0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots],
            MessageLog* log = nullptr);

// The length equation is free of qK: qI from it, then qK from the z equation. Returns 0..4.
int pinv_v0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// The z equation is free of qI: qK from it, then qI from the length equation. Returns 0..4.
int pinv_zi0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// The z equation is free of qK: qI from it, then qK from the length equation. Returns 0..4.
int pinv_zk0(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// qK enters both equations through the same combination, (pc_z, ps_z) = mu (Vc, Vs): qI from
// mu * length - z, then qK from the z equation. Returns 0..4; 0 when mu is undefined.
int pinv_parK(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

// qI enters both equations through the same combination, (tc_z, ts_z) = lambda (Uc, Us): qK
// from lambda * length - z, then qI from the z equation. Returns 0..4; 0 when lambda is
// undefined or when a root of qK puts the end point on the axis of joint J.
int pinv_parI(int I, int J, int K, const PinvEquations& eq, double cand[][kJointSlots]);

}  // namespace pinv_parts
