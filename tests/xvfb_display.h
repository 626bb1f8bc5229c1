// A private X server for tests and benchmarks that draw: started once per process on a free
// display number (Xvfb -displayfd), DISPLAY pointed at it, ended by the kernel when the process
// exits (whichever way). The machine running the tests needs no display of its own.
#pragma once

#include <GL/freeglut.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/startup.h"

// Starts the private server on the first call and returns its DISPLAY name ("" on failure).
inline const std::string& private_display() {
  static std::string name;
  if (!name.empty()) return name;
  int ready[2];
  if (pipe(ready) != 0) return name;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The server ends with this process, also when it crashes; the connection stays open until
    // then, so no library talks to a vanished server while the process exits.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    close(ready[0]);
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    const std::string fd = std::to_string(ready[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  // The server writes its display number and a line feed once it accepts connections; it stops
  // if the pipe closes before the whole line is written.
  char number[16] = {};
  size_t got = 0;
  while (pid > 0 && got < sizeof number - 1 && (got == 0 || number[got - 1] != '\n')) {
    const ssize_t n = read(ready[0], number + got, sizeof number - 1 - got);
    if (n <= 0) break;
    got += n;
  }
  close(ready[0]);
  if (got == 0 || number[got - 1] != '\n') return name;
  name = ":" + std::to_string(std::atoi(number));
  setenv("DISPLAY", name.c_str(), 1);
  return name;
}

// Runs the toolkit's event processing until the window has been shown and reshaped.
inline void settle_window() {
  for (int k = 0; k < 20; k++) {
    glutMainLoopEvent();
    usleep(5000);
  }
}

// A window of 600 x 600 on the private server with the program's display mode, for tests that
// draw without the program's start-up. Created once; the projection is left the identity.
inline void ensure_test_window() {
  static bool created = false;
  if (created) return;
  created = true;
  private_display();
  int argc = 1;
  char name[] = "armsim-test";
  char* argv[] = {name, nullptr};
  glutInitWindowSize(600, 600);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(name);
  glutDisplayFunc([] {});
  settle_window();
  glViewport(0, 0, 600, 600);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

struct Pixel {
  int r, g, b;
};

// Colour of window pixel (x, y) of the back buffer, origin at the bottom left, 0..255.
inline Pixel read_pixel(int x, int y) {
  unsigned char rgb[3];
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
  return {rgb[0], rgb[1], rgb[2]};
}

inline bool is_white(const Pixel& p) {
  return p.r == 255 && p.g == 255 && p.b == 255;
}
inline bool is_dark(const Pixel& p) {
  return p.r < 80 && p.g < 80 && p.b < 80;
}

// The whole 600 x 600 back buffer, RGB rows from the bottom.
inline std::vector<unsigned char> read_frame() {
  std::vector<unsigned char> rgb(600 * 600 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, 600, 600, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

// Pixels that differ between two frames.
inline int differing_pixels(const std::vector<unsigned char>& a,
                            const std::vector<unsigned char>& b) {
  int count = 0;
  for (size_t k = 0; k < a.size(); k += 3)
    if (std::memcmp(&a[k], &b[k], 3) != 0) count++;
  return count;
}

// The program's own start-up in this process, once, on the private server, with a key typed at
// the console and the console's output discarded; afterwards the program's window is current
// and the console is back on stdin and stdout. For tests and benchmarks linked with the shell;
// returns whether the window is open.
inline bool start_program_once() {
  static bool started = false, open = false;
  if (started) return open;
  started = true;
  private_display();
  char key[] = "k";
  FILE* in = fmemopen(key, 1, "r");
  FILE* out = fopen("/dev/null", "w");
  console = {in, out};
  int argc = 1;
  char name[] = "armsim";
  char* argv[] = {name, nullptr};
  open = startup(&argc, argv, WorkcellFile{}) == 0;
  console = {stdin, stdout};
  fclose(in);
  fclose(out);
  if (open) settle_window();
  return open;
}
