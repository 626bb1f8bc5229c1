#include "app/keyboard.h"

#include <cstdlib>

#include "app/display.h"

void keyboard(unsigned char key, int, int) {
  if (key == 27) exit(0);
  display();
}
