// armsim: the robot-arm simulator. With --solve, --method-b, --map, --plan or --urdf it runs
// without a window and exits; otherwise start-up builds the scene (with the workcell file, if
// one is given), prints the help and opens the window, and from then on the toolkit's event
// loop runs the program until ESC or the window is closed.
#include <GL/glut.h>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  CommandLine command;
  const int parsed = parse_command_line(argc, argv, command);
  if (parsed != kCommandLineRun) return finish_command_line(parsed, command);
  if (command.mode != kModeWindow) return run_command(command, stdout, stderr);
  argc = toolkit_arguments(argc, argv);
  const int started = startup(&argc, argv, command.workcell);
  if (started != 0) return started;
  glutMainLoop();
  return 0;
}
