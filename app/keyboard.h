// The window's keyboard callback.
#pragma once

// ESC (27) ends the program with status 0; every other key redraws the frame. The mouse
// position (x, y) is ignored.
void keyboard(unsigned char key, int x, int y);
