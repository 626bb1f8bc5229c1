// Console help and settings: what the user reads at start-up and after every change of robot,
// goal or wall. All text goes through the console seam (model/console.h).
#pragma once

// Prints the help screen with the current settings, then waits for one key at the console
// (read_console_key; the key is discarded, end of input does not wait).
void help_screen();

// Prints the joint count and type with its axis letters, the goal position (its z shown as the
// height of the workpiece's underside) and the wall edge.
void print_settings();
