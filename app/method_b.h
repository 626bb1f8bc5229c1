// Method B in the shell: the keys 'B', 'a' and 'b' run a step on the program's scene and print
// its trace; the keyboard handler redraws.
#pragma once

// 'B': rebuilds the robot model and guesses the contact arm, then starts Method B from the
// initial pose (method_b_begin); scene.calcMode = 'B'.
void method_b_start();

// 'a': one B-a step on the scene (method_b_step_a), traced; scene.methodBStuck says whether the
// last pair of steps left the state as it was.
void method_b_key_a();

// 'b': one B-b step on the scene (method_b_step_b), traced.
void method_b_key_b();
