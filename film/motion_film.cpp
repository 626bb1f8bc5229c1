#include "film/motion_film.h"

#include <GL/gl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "film/frame_text.h"
#include "film/gif_writer.h"
#include "film/mp4_writer.h"
#include "render/scene_frame.h"
#include "task/workcell_setup.h"

namespace {

// The caption's baseline: 5 pixels from the left and 10 from the bottom, as the window's label.
constexpr double kCaptionX = 5;
constexpr double kCaptionFromBottom = 10;

// "<title>  t = 1.24 s of 3.52 s", or the title alone when there is none.
std::string frame_caption(const std::string& title, double t, double duration) {
  char time[64];
  std::snprintf(time, sizeof time, "t = %.2f s of %.2f s", t, duration);
  return title.empty() ? std::string(time) : title + "   " + time;
}

// The delay of frame k in hundredths of a second after `shown` of them went to the frames
// before: up to the next frame's time rounded, so the delays add up to the duration, but at
// least 1 (players take a 0 for 10); the last frame rests kGifGoalHold.
int gif_delay(long k, long count, double duration, int fps, long shown) {
  if (k + 1 >= count) return kGifGoalHold;
  const long next = std::lround(100 * film_frame_time(k + 1, duration, fps));
  return static_cast<int>(std::max(1L, next - shown));
}

// The film's frames through the encoder of its format. Returns 1, or 0 with why set.
int encode_frames(const RobotModel& robot, const Workcell& cell, const Trajectory& motion,
                  const FilmOptions& options, FilmCamera& camera, FILE* stream,
                  FilmProgress progress, void* context, std::string& why) {
  std::vector<uint32_t> pixels(static_cast<size_t>(options.width) * options.height);
  double q[kJointSlots] = {}, qd[kJointSlots], qdd[kJointSlots];
  if (options.format == kFilmPng) {
    trajectory_at(motion, motion.duration, q, qd, qdd);
    camera.frame(robot, cell, q, frame_caption(options.title, motion.duration, motion.duration),
                 pixels.data());
    if (progress != nullptr) progress(context, 1, 1);
    if (write_frame_png(pixels.data(), options.width, options.height, stream)) return 1;
    why = "the PNG could not be written";
    return 0;
  }
  GifWriter gif;
  Mp4Writer mp4;
  const bool isGif = options.format == kFilmGif;
  if (isGif ? !gif.open(stream, options.width, options.height, why)
            : !mp4.open(stream, options.width, options.height, options.fps, why))
    return 0;
  const long count = film_frame_count(motion.duration, options.fps);
  long shown = 0;  // hundredths of a second the GIF's frames so far are shown
  for (long k = 0; k < count; k++) {
    const double t = film_frame_time(k, motion.duration, options.fps);
    trajectory_at(motion, t, q, qd, qdd);
    camera.frame(robot, cell, q, frame_caption(options.title, t, motion.duration), pixels.data());
    const int delay = gif_delay(k, count, motion.duration, options.fps, shown);
    shown += delay;
    const int added =
        isGif ? gif.add_frame(pixels.data(), delay, why) : mp4.add_frame(pixels.data(), why);
    if (!added) return 0;
    if (progress != nullptr) progress(context, k + 1, count);
  }
  return isGif ? gif.close(why) : mp4.close(why);
}

}  // namespace

int film_format(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return kFilmUnknown;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "gif") return kFilmGif;
  if (extension == "mp4") return kFilmMp4;
  if (extension == "png") return kFilmPng;
  return kFilmUnknown;
}

long film_frame_count(double duration, int fps) {
  // k / fps < duration for k = 0 .. ceil(duration * fps) - 1, then the end.
  long before = static_cast<long>(std::ceil(duration * fps));
  // The product may round onto a whole number that the division does not reach.
  while (before > 0 && static_cast<double>(before - 1) / fps >= duration) before--;
  while (static_cast<double>(before) / fps < duration) before++;
  return before + 1;
}

double film_frame_time(long k, double duration, int fps) {
  return std::fmin(static_cast<double>(k) / fps, duration);
}

int FilmCamera::open(int width, int height) {
  width_ = width;
  height_ = height;
  return context_.open(width, height);
}

void FilmCamera::frame(const RobotModel& robot, const Workcell& cell, const double q[],
                       const std::string& caption, uint32_t pixels[]) {
  kin_ = Kinematics(robot);
  Vec3 wallCorner[4];
  wall_plate_corners(cell.rh, wallCorner);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  set_scene_camera(width_, height_);
  draw_scene_floor(kStartViewRot, kStartViewShift);
  draw_scene_objects(robot, q, kin_, cell, nullptr, wallCorner);
  context_.read(pixels);
  if (!caption.empty())
    draw_frame_text(pixels, width_, height_, kCaptionX, height_ - kCaptionFromBottom,
                    caption.c_str());
}

int write_film(const RobotModel& robot, const Workcell& cell, const Trajectory& motion,
               const FilmOptions& options, FILE* stream, FilmProgress progress, void* context,
               std::string& why) {
  FilmCamera camera;
  const int status = camera.open(options.width, options.height);
  if (status != kOffscreenOk) {
    why = offscreen_status_text(status);
    return 0;
  }
  return encode_frames(robot, cell, motion, options, camera, stream, progress, context, why);
}
