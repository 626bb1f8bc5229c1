// The display of the fuzz build, which has no window: the keyboard handlers redraw after every
// change, and here a redraw does nothing.
#include "app/display.h"

void display() {}
