// The display frame: camera and light, the key help and the robot-type label, hints, the status
// message of Method B, the robot-choice menu or the scene, and the buffer swap. GLUT calls
// display as its display callback, and the keyboard callback after each key that changes the
// picture.
#pragma once

// Draws one complete frame of the current state and swaps the buffers. The scene, model and
// goal stay as they are; the kinematic state is left at the drawn pose scene.qr.
void display();

// Draws the frame into the back buffer (everything display does but the swap), so that a test
// can read it back. Leaves the modelview matrix in the scene's view frame.
void draw_frame();

// Reshape callback: the viewport covers the window; the projection stays the identity, since
// the frame puts perspective and camera onto the modelview matrix.
void reshape(int width, int height);

// Black text at (x, y) of a 600 x 600 frame mapped onto the viewport, whatever the window size;
// every character up to the NUL.
void draw_text_2d(float x, float y, void* font, const char* text);
// Black text rows of 100 characters each: row i at (x, y0 + i * dy) of the 600 x 600 frame,
// drawn up to its line feed.
void draw_text_lines(float x, float y0, int n, float dy, void* font, const char rows[][100]);
// Text at (x, y, z) of the current modelview frame, in the current colour (whatever the last
// drawing left), unlit; every character up to the NUL.
void draw_text_3d(float x, float y, float z, void* font, const char* text);
