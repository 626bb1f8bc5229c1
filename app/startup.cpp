#include "app/startup.h"

#include <GL/glut.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/command_line.h"
#include "app/console.h"
#include "app/console_dialogs.h"
#include "app/display.h"
#include "app/keyboard.h"
#include "app/scene_state.h"

namespace {

const char kWindowTitle[] =
    "F:Robot Choice, O:Obstacle Set, G:Goal Set, B:Cal.Method B, C:Path Motion";

// The display named on the command line ("-display NAME", as glutInit reads it), else nullptr
// for the one in DISPLAY.
const char* named_display(int argc, char** argv) {
  for (int k = 1; k + 1 < argc; k++)
    if (std::strcmp(argv[k], "-display") == 0) return argv[k + 1];
  return nullptr;
}

// Connection to the display that argv or DISPLAY names, or nullptr when none is named or it
// cannot be reached.
Display* open_named_display(int argc, char** argv) {
  const char* name = named_display(argc, argv);
  if (name == nullptr) name = getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') return nullptr;
  return XOpenDisplay(name);
}

// Creates the 600 x 600 double-buffered RGB window with depth buffer and the program's title,
// registers the display, reshape and keyboard callbacks and makes the background white.
void open_window(int* argc, char** argv) {
  glutInitWindowSize(600, 600);
  glutInit(argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(kWindowTitle);
  glutDisplayFunc(display);
  glutReshapeFunc(reshape);
  glutKeyboardFunc(keyboard);
  glClearColor(1, 1, 1, 1);
}

}  // namespace

void guard_standard_descriptors() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open returns the lowest free descriptor, which is fd itself.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) close(opened);
  }
}

int apply_workcell_scene(const WorkcellFile& workcell, std::string& why) {
  if (workcell.typeGiven) {
    rebuild_robot(workcell.type);
    set_initial_pose();
  }
  if (!apply_workcell_file(workcell, robot, cell, scene.methodB.Mcont, why)) return 0;
  wall_corners(cell.rh, scene.wallCorner);
  return 1;
}

int startup(int* argc, char** argv, const WorkcellFile& workcell) {
  guard_standard_descriptors();
  start_scene();
  std::string why;
  if (!apply_workcell_scene(workcell, why)) return command_line_error(why);
  help_screen();
  // Without a display the toolkit would end the program with a bare message of its own.
  Display* probe = open_named_display(*argc, argv);
  if (probe == nullptr) {
    // An error, so on stderr, after the help the console has shown.
    std::fflush(console.out);
    std::fprintf(stderr,
                 "armsim: cannot open an X display (DISPLAY unset or unreachable); the window "
                 "needs one.\n");
    return 1;
  }
  // Held until the window exists: a server may reset when its last client leaves.
  open_window(argc, argv);
  XCloseDisplay(probe);
  return 0;
}
