// The window's keyboard callback: every command of the program arrives here as a key.
#pragma once

// Handles one key: the first of the command tests that takes the key (reset, robot choice, goal
// and wall dialogs, contact-arm mode, Method B, all solutions, motion, ESC, view, jogging)
// changes the scene.
// Returns whether the frame must be redrawn. ESC ends the program with status 0, except in
// contact-arm mode. While the feasibility map is computed (app/map_job.h) ESC cancels it and
// ends the program, and any other key is ignored and noted for the window.
bool dispatch_key(unsigned char key);

// The window's keyboard callback (app/display.cpp): dispatch_key, then one redraw when it asks.
// The mouse position (x, y) is ignored.
void keyboard(unsigned char key, int x, int y);

// The digit value 0..9 of keys '0'..'9'; 100 for any other key.
int key_to_number(unsigned char key);
