// The display frame: camera and light, the key help and the robot-type label, hints, the status
// message of Method B, the robot-choice menu or the scene, the floor map's legend or its
// progress, and the buffer swap. GLUT calls display as its display callback, and the keyboard
// callback after each key that changes the picture.
//
// The frame is designed for the 600 x 600 window and is drawn pixel for pixel so there. In a
// window of another size the scene keeps its proportions (the camera's 30 degree field spans the
// window's narrower side) and the window texts keep their pixel size and their distance to
// their corner of the window.
#pragma once

// Draws one complete frame of the current state and swaps the buffers. The scene, model and
// goal stay as they are; the kinematic state is left at the drawn pose scene.methodB.qr.
void display();

// Draws the frame into the back buffer (everything display does but the swap), so that a test
// can read it back. Leaves the modelview matrix in the scene's view frame. The window size is
// the viewport's.
void draw_frame();

// Reshape callback: the viewport covers the window; the projection stays the identity, since
// the frame puts perspective (with the viewport's aspect ratio) and camera onto the modelview
// matrix.
void reshape(int width, int height);

// For the main loop while the feasibility map is computed: redraws the frame with its progress
// every kMapProgressMs milliseconds and shows the map when it is done. Called after every key;
// does nothing when no map is computed or its timer already runs.
constexpr int kMapProgressMs = 200;
void watch_floor_map();

// The corner of the window a window text keeps its distance to.
enum WindowCorner { kBottomLeft, kTopLeft, kBottomRight, kTopRight };

// Black text at (x, y) of the 600 x 600 reference window, its baseline's left end there; in a
// window of another size it keeps its pixel size and its distance to `corner`. Every character
// up to the NUL.
void draw_text_2d(float x, float y, void* font, const char* text, WindowCorner corner);
// Black text rows of 100 characters each: row i at (x, y0 + i * dy) of the reference window,
// kept to `corner` as draw_text_2d, drawn up to its line feed.
void draw_text_lines(float x, float y0, int n, float dy, void* font, const char rows[][100],
                     WindowCorner corner);
// Text at (x, y, z) of the current modelview frame, in the current colour (whatever the last
// drawing left), unlit; every character up to the NUL.
void draw_text_3d(float x, float y, float z, void* font, const char* text);
