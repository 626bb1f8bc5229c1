// Console help, settings and the goal and wall dialogs: what the user reads at start-up and after
// every change of robot, goal or wall, and where the numbers are typed. All text goes through
// the console seam (app/console.h).
#pragma once

// Prints the help screen with the current settings, then waits for one key at the console
// (read_console_key; the key is discarded, end of input does not wait).
void help_screen();

// Prints the joint count and type with its axis letters, the goal position (its z shown as the
// height of the workpiece's underside) and the wall edge.
void print_settings();

// Asks at the console for a new goal position (x, y and the height of the workpiece's
// underside) until one is within reach; writes cell.rwG (z raised by half the workpiece
// height) only then, so every prompt shows the last accepted goal. Text that is no number is
// reported and its line dropped; at the end of input the goal at entry is kept, said in one line.
void goal_dialog();

// Asks at the console for a new y of the wall edge until one of the arms 2..5 can reach it;
// writes cell.rh.y, scene.wallCorner and scene.methodB.Mcont. Bad text and the end of
// input are handled as in goal_dialog, keeping the wall at entry.
void wall_dialog();
