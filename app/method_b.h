// Method B, one step per key: 'B' starts from the initial pose, 'a' solves the position and
// orientation of the work (B-a), 'b' turns joint Lcont until arm Mcont rests against the wall
// edge (B-b). Each step limits how far the joints move, classifies the pose against the wall,
// chooses the contact arm for the next step, prints its trace, sets the status the display
// shows (scene.solB, lcontFlag, sgnCONTACT, errPos, gapArm) and redraws once.
#pragma once

// 'B': rebuilds the robot model (and so the contact arm), resets the step counters and the
// status, puts qs and qr at the initial pose, prints the start values; scene.calcMode = 'B'.
void method_b_start();

// 'a': one B-a step from qr; its result, limited, becomes qr. A positioned result that touches
// or clears the wall edge becomes qGoal, the target of the motion.
void method_b_step_a();

// 'b': one B-b step from qr; a positioned result touching or clearing the edge becomes qr and
// qGoal unlimited, any other result is limited on joint Lcont and becomes qr.
void method_b_step_b();
