// The timed motion as a film: the robot moving from the trajectory's start to its end in the
// workcell, each frame drawn by render/'s scene drawing (the window's own) into an offscreen
// context, with a caption, and encoded as an animated GIF, an H.264 MP4 or, for the end pose
// alone, a PNG still.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "film/offscreen_context.h"
#include "model/state.h"
#include "planning/trajectory.h"

enum FilmFormat { kFilmGif, kFilmMp4, kFilmPng, kFilmUnknown };

// The format a file name's extension names: .gif, .mp4 or .png in any case; else kFilmUnknown.
int film_format(const std::string& path);

// Frames a second and picture sides in pixels: defaults and bounds.
constexpr int kDefaultFilmFps = 25;
constexpr int kMinFilmFps = 1;
constexpr int kMaxFilmFps = 120;
constexpr int kDefaultFilmSize = 600;
constexpr int kMinFilmSize = 16;
constexpr int kMaxFilmSize = 4096;

// How long a looping GIF rests on its last frame (the goal) before it starts again, 1/100 s.
constexpr int kGifGoalHold = 100;

struct FilmOptions {
  int format = kFilmGif;
  int fps = kDefaultFilmFps;
  int width = kDefaultFilmSize;
  int height = kDefaultFilmSize;
  std::string title;  // the caption's start, e.g. the robot type; the motion's time follows
};

// Frames of a motion of `duration` s (>= 0) at fps: one at k / fps s for every k >= 0 with
// k / fps < duration, then the end pose at the duration.
long film_frame_count(double duration, int fps);
// The motion time of frame k (0-based) of those, seconds.
double film_frame_time(long k, double duration, int fps);

// The frames of one film: an offscreen context of the film's size and the robot's workspace.
class FilmCamera {
 public:
  // Opens the offscreen context (see OffscreenContext::open). Returns an OffscreenStatus.
  int open(int width, int height);
  // Draws the scene as the window does at start-up (its view, white ground) with the robot in
  // pose q (radians, slots 1..N) and reads it into pixels (width * height words 0x00RRGGBB, rows
  // from the top); then the caption, if any, at the bottom-left corner, where the window puts
  // its type label.
  void frame(const RobotModel& robot, const Workcell& cell, const double q[],
             const std::string& caption, uint32_t pixels[]);

 private:
  OffscreenContext context_;
  Kinematics kin_;
  int width_ = 0;
  int height_ = 0;
};

// Progress of a film: frames done of the total (the total is that of film_frame_count, 1 for a
// still).
typedef void (*FilmProgress)(void* context, long done, long total);

// Renders the motion of the robot in the workcell, as options say, onto stream (which must be
// seekable for an MP4; left open, not flushed). A still shows the end pose. progress, when not
// nullptr, is called with context after every frame. Returns 1, or 0 with why set (one line).
int write_film(const RobotModel& robot, const Workcell& cell, const Trajectory& motion,
               const FilmOptions& options, FILE* stream, FilmProgress progress, void* context,
               std::string& why);
