// Time from a key press to its finished frame on a private X server with Mesa's software
// renderer: one Method B step ('a', 'b') or one motion step ('s'), each the solver's work plus
// one display frame, through the window's keyboard callback.
#include <benchmark/benchmark.h>

#include "app/console.h"
#include "app/keyboard.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "model/state.h"
#include "xvfb_display.h"

namespace {

void press(unsigned char key) {
  keyboard(key, 0, 0);
}

// Robot type 1 in the default scene, 40 steps into Method B (a pose where both steps find a
// solution), with the console's output discarded.
void start_method_b() {
  start_program_once();
  static FILE* discard = fopen("/dev/null", "w");
  console.out = discard;
  start_scene();
  press('B');
  for (int k = 0; k < 20; k++) {
    press('b');
    press('a');
  }
}

// Presses key from the same state again and again: the scene is put back, untimed, each time.
void run_step(benchmark::State& state, unsigned char key) {
  start_method_b();
  const Scene savedScene = scene;
  const Workcell savedCell = cell;
  for (auto _ : state) {
    state.PauseTiming();
    scene = savedScene;
    cell = savedCell;
    state.ResumeTiming();
    press(key);
    glFinish();
  }
  // The timed step must be one that found its solution.
  if (scene.methodB.solB == kPositionNone || scene.methodB.lcontFlag == kContactStepFailed)
    state.SkipWithError("the step found no solution");
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

void BM_KeyPositionStep(benchmark::State& state) {
  run_step(state, 'a');
}
BENCHMARK(BM_KeyPositionStep)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_KeyContactStep(benchmark::State& state) {
  run_step(state, 'b');
}
BENCHMARK(BM_KeyContactStep)->UseRealTime()->Unit(benchmark::kMillisecond);

// Motion steps toward the pose Method B reached; past the goal the robot stays there, at the
// same cost per press.
void BM_KeyMotionStep(benchmark::State& state) {
  start_method_b();
  for (int i = 0; i <= 7; i++) scene.methodB.qGoal[i] = scene.methodB.qr[i];
  press('C');
  for (auto _ : state) {
    press('s');
    glFinish();
  }
}
BENCHMARK(BM_KeyMotionStep)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
