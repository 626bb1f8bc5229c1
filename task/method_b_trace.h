// The console trace of Method B, printed from the steps' reports (task/method_b_step.h) to a
// given stream (the window's console, or the command line's output), each message flushed.
#pragma once

#include <cstdio>

#include "task/method_b_step.h"

// 'B': the heading, the contact joint and arm, and the start pose.
void print_method_b_start(const MethodBReport& report, FILE* out);

// 'a': the heading with the positioning joints, the solver's notes, then the poses before and
// after, the position error, arm and gap, the pose left, how it stands against the wall, and the
// step count; or the line that there is no solution.
void print_method_b_step_a(const MethodBReport& report, FILE* out);

// 'b': as for 'a', with the contact joint in the heading and the notes of a re-run on another
// arm after the poses.
void print_method_b_step_b(const MethodBReport& report, FILE* out);
