// Start-up: the default scene (start_scene, app/scene_state.h) with the workcell file applied,
// the help screen at the console, and the window.
#pragma once

#include <string>

#include "task/workcell_file.h"

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that no file opened
// later (the X connection above all) takes the place of standard input or output.
void guard_standard_descriptors();

// The start-up sequence up to the event loop: guards the standard descriptors, builds the
// default scene and applies the workcell file to it (apply_workcell_scene), shows the help
// screen and waits for a key, then opens the window on the display that argv names after
// "-display", else the one in DISPLAY; argv holds only the toolkit's options. Returns 0 with the
// window open, 2 after one line on stderr when the scene refuses the file (before any help or
// window), or 1 after printing a line that a display is needed.
int startup(int* argc, char** argv, const WorkcellFile& workcell);

// The window's scene with the workcell file: its robot type chosen as the robot menu does (the
// initial pose of that type), then its goal, wall and boxes put into `cell`
// (apply_workcell_file) and the wall rectangle redrawn from the edge. Returns 1, or 0 with why
// set, the type chosen and the workcell as it was.
int apply_workcell_scene(const WorkcellFile& workcell, std::string& why);
