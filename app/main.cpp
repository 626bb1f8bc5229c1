// armsim: the robot-arm simulator. Start-up prints the help and opens the window; from then on
// the toolkit's event loop runs the program until ESC or the window is closed.
#include <GL/glut.h>

#include "app/startup.h"

int main(int argc, char** argv) {
  if (startup(&argc, argv) != 0) return 1;
  glutMainLoop();
  return 0;
}
