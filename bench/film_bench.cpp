// The motion as a film at 600 x 600 on this machine: a 4 s motion of robot type 1 at 25 fps (101
// frames) drawn offscreen (EGL, llvmpipe) and written as a GIF, an MP4 and a PNG still; beside
// them the drawing alone (frames drawn and read back, nothing encoded) and, for the GIF's
// palettes, giflib's own median cut (GifQuantizeBuffer) on the same frames. Timed in wall time
// (llvmpipe draws on threads of its own). Counters: frames per second of wall time, the file's
// size in kB, and the motion's length in seconds (the film renders faster than real time when
// fps exceeds 25).
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "film/frame_palette.h"
#include "film/motion_film.h"
#include "model/robot_catalogue.h"
#include "planning/trajectory.h"
#include "task/workcell_setup.h"

namespace {

constexpr int kSide = 600;
constexpr int kFps = 25;

struct BenchScene {
  RobotModel robot;
  Workcell cell;
  Trajectory motion;
};

// Type 1 from its initial pose, joint 1 turned by 3.3 rad and joint 4 by -1 rad: about 4 s at
// the default limits.
const BenchScene& bench_scene() {
  static BenchScene s;
  static bool built = false;
  if (built) return s;
  built = true;
  unsetenv("DISPLAY");
  robot_setup(1, s.robot);
  start_workcell(s.robot, s.cell);
  JointVector start{}, goal{};
  for (int i = 1; i <= s.robot.N; i++) start[i] = goal[i] = s.robot.qInit[i];
  goal[1] += 3.3;
  goal[4] -= 1.0;
  time_trajectory(s.robot.N, {start, goal}, default_joint_limits(), s.motion);
  return s;
}

void film(benchmark::State& state, int format, const char* name) {
  const BenchScene& s = bench_scene();
  FilmOptions options;
  options.format = format;
  options.fps = kFps;
  options.title = "JTYPE1= RQRPRPR";
  const std::string path = std::string("/tmp/armsim-film-bench-") + name;
  long size = 0;
  for (auto _ : state) {
    FILE* stream = std::fopen(path.c_str(), "wb");
    std::string why;
    if (!write_film(s.robot, s.cell, s.motion, options, stream, nullptr, nullptr, why))
      state.SkipWithError(why.c_str());
    size = std::ftell(stream);
    std::fclose(stream);
  }
  std::remove(path.c_str());
  const long frames = format == kFilmPng ? 1 : film_frame_count(s.motion.duration, kFps);
  state.counters["frames"] = frames;
  state.counters["fps"] = benchmark::Counter(static_cast<double>(frames),
                                             benchmark::Counter::kIsIterationInvariantRate);
  state.counters["kB"] = size / 1024.0;
  state.counters["motion_s"] = s.motion.duration;
}

void BM_FilmGif(benchmark::State& state) {
  film(state, kFilmGif, "motion.gif");
}
void BM_FilmMp4(benchmark::State& state) {
  film(state, kFilmMp4, "motion.mp4");
}
void BM_FilmPngStill(benchmark::State& state) {
  film(state, kFilmPng, "goal.png");
}

// The film's frames: drawn and read back, captioned, nothing encoded.
std::vector<std::vector<uint32_t>> film_frames(long step) {
  const BenchScene& s = bench_scene();
  FilmCamera camera;
  camera.open(kSide, kSide);
  std::vector<std::vector<uint32_t>> frames;
  const long count = film_frame_count(s.motion.duration, kFps);
  for (long k = 0; k < count; k += step) {
    double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
    trajectory_at(s.motion, film_frame_time(k, s.motion.duration, kFps), q, qd, qdd);
    frames.emplace_back(static_cast<size_t>(kSide) * kSide);
    camera.frame(s.robot, s.cell, q, "JTYPE1= RQRPRPR   t = 0.00 s of 4.00 s",
                 frames.back().data());
  }
  return frames;
}

void BM_FramesDrawnOnly(benchmark::State& state) {
  const BenchScene& s = bench_scene();
  FilmCamera camera;
  camera.open(kSide, kSide);
  std::vector<uint32_t> pixels(static_cast<size_t>(kSide) * kSide);
  const long count = film_frame_count(s.motion.duration, kFps);
  for (auto _ : state)
    for (long k = 0; k < count; k++) {
      double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
      trajectory_at(s.motion, film_frame_time(k, s.motion.duration, kFps), q, qd, qdd);
      camera.frame(s.robot, s.cell, q, "JTYPE1= RQRPRPR   t = 0.00 s of 4.00 s", pixels.data());
    }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}

// A whole frame's palette, ours against giflib's median cut (which also maps the pixels).
void BM_PaletteOurs(benchmark::State& state) {
  const std::vector<std::vector<uint32_t>> frames = film_frames(20);
  FramePalette palette;
  std::vector<GifByteType> indices(static_cast<size_t>(kSide) * kSide);
  for (auto _ : state)
    for (const std::vector<uint32_t>& frame : frames) {
      frame_palette(frame.data(), static_cast<long>(frame.size()), palette);
      for (size_t k = 0; k < frame.size(); k++) indices[k] = palette_index(palette, frame[k]);
      benchmark::DoNotOptimize(indices.data());
    }
  state.counters["frames"] = static_cast<double>(frames.size());
}

void BM_PaletteGiflib(benchmark::State& state) {
  const std::vector<std::vector<uint32_t>> frames = film_frames(20);
  const size_t n = static_cast<size_t>(kSide) * kSide;
  std::vector<GifByteType> r(n), g(n), b(n), indices(n);
  GifColorType colours[256];
  for (auto _ : state)
    for (const std::vector<uint32_t>& frame : frames) {
      for (size_t k = 0; k < n; k++) {
        r[k] = frame[k] >> 16 & 255;
        g[k] = frame[k] >> 8 & 255;
        b[k] = frame[k] & 255;
      }
      int size = 256;
      GifQuantizeBuffer(kSide, kSide, &size, r.data(), g.data(), b.data(), indices.data(), colours);
      benchmark::DoNotOptimize(indices.data());
    }
  state.counters["frames"] = static_cast<double>(frames.size());
}

BENCHMARK(BM_FilmGif)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FilmMp4)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FilmPngStill)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FramesDrawnOnly)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PaletteOurs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PaletteGiflib)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
