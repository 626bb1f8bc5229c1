// Drawing speed on a private X server with Mesa's software renderer: one display frame of the
// default scene and of the robot-choice menu (frames per second), and the whole program's time
// from its start to its first frame on the screen.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "app/display.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "app/console.h"
#include "xvfb_display.h"

namespace {

const char kTitle[] = "F:Robot Choice, O:Obstacle Set, G:Goal Set, B:Cal.Method B, C:Path Motion";

void run_frames(benchmark::State& state, char menuState) {
  start_program_once();
  start_scene();
  scene.menuState = menuState;
  for (auto _ : state) {
    display();
    glFinish();
  }
  state.counters["fps"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

void BM_DisplayFrame(benchmark::State& state) {
  run_frames(state, '1');
}
BENCHMARK(BM_DisplayFrame)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RobotMenuFrame(benchmark::State& state) {
  run_frames(state, '4');
}
BENCHMARK(BM_RobotMenuFrame)->UseRealTime()->Unit(benchmark::kMillisecond);

// The program's window among the root's children, other than `other`, or 0.
Window find_program_window(Display* x, Window other) {
  Window root, parent, *children = nullptr, found = 0;
  unsigned count = 0;
  if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) return 0;
  for (unsigned k = 0; k < count && found == 0; k++) {
    char* name = nullptr;
    if (XFetchName(x, children[k], &name) && name != nullptr) {
      if (std::strcmp(name, kTitle) == 0 && children[k] != other) found = children[k];
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// True once most of a patch right of the scene's centre shows the frame's white background
// (before the first frame the window is black).
bool first_frame_shown(Display* x, Window window) {
  XImage* image = XGetImage(x, window, 450, 250, 16, 16, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  int white = 0;
  for (int y = 0; y < 16; y++)
    for (int px = 0; px < 16; px++) white += (XGetPixel(image, px, y) & 0xffffff) == 0xffffff;
  XDestroyImage(image);
  return white > 128;
}

// From fork to the first frame in the window: start-up without a key to wait for (standard
// input at its end), the help, the window and one display.
void BM_StartToFirstFrame(benchmark::State& state) {
  start_program_once();  // the server
  Display* x = XOpenDisplay(nullptr);
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window may vanish mid-query
  const Window own = find_program_window(x, 0);  // this process's window is not the one timed
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      freopen("/dev/null", "r", stdin);
      freopen("/dev/null", "w", stdout);
      execl(ARMSIM_BINARY, "armsim", static_cast<char*>(nullptr));
      _exit(127);
    }
    Window window = 0;
    bool shown = false;
    for (int k = 0; k < 20000 && !shown; k++) {
      if (window == 0) window = find_program_window(x, own);
      shown = window != 0 && first_frame_shown(x, window);
      if (!shown) usleep(200);
    }
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    if (!shown) state.SkipWithError("no first frame within the time allowed");
  }
  XCloseDisplay(x);
}
BENCHMARK(BM_StartToFirstFrame)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace
