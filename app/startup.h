// Start-up: the default scene (start_scene, app/scene_state.h), the help screen at the console,
// and the window.
#pragma once

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that no file opened
// later (the X connection above all) takes the place of standard input or output.
void guard_standard_descriptors();

// The start-up sequence up to the event loop: guards the standard descriptors, builds the
// default scene, shows the help screen and waits for a key, then opens the window on the display
// that argv names after "-display", else the one in DISPLAY. Returns 0 with the window open, or
// 1 after printing a line that a display is needed.
int startup(int* argc, char** argv);
