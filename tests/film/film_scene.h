// The film tests' common ground: the start-up scene of robot type 1 (the window's), a short timed
// motion of it, no X display, frames compared pixel by pixel, and the window's golden frame.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "film/motion_film.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "planning/trajectory.h"
#include "task/workcell_setup.h"

// The window's start-up scene: type 1 at its initial pose, the default goal and wall.
struct FilmScene {
  RobotModel robot;
  Workcell cell;
  Trajectory motion;
};

// The scene with a motion from the initial pose that turns joint 1 by 0.6 rad and joint 4 by
// -0.4 rad (a little over a second at the default limits), with no display named: whatever the
// film draws must need none.
inline void film_scene(FilmScene& s) {
  unsetenv("DISPLAY");
  robot_setup(1, s.robot);
  start_workcell(s.robot, s.cell);
  JointVector start{}, goal{};
  for (int i = 1; i <= s.robot.N; i++) start[i] = goal[i] = s.robot.qInit[i];
  goal[1] += 0.6;
  goal[4] -= 0.4;
  const JointPath path = {start, goal};
  ASSERT_EQ(time_trajectory(s.robot.N, path, default_joint_limits(), s.motion), kTrajectoryOk);
}

// Pixels whose colours differ between two frames of equal size.
inline long differing_pixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  long count = 0;
  for (size_t k = 0; k < a.size(); k++) count += (a[k] & 0xffffff) != (b[k] & 0xffffff);
  return count;
}

// A PNG read with cairo as words 0x00RRGGBB, rows from the top; empty when unreadable. Writes
// its size.
inline std::vector<uint32_t> read_png(const std::string& path, int& width, int& height) {
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  std::vector<uint32_t> pixels;
  width = height = 0;
  if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
    width = cairo_image_surface_get_width(png);
    height = cairo_image_surface_get_height(png);
    const unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) {
        uint32_t word;
        std::memcpy(&word, data + y * stride + 4 * x, 4);
        pixels[static_cast<size_t>(y) * width + x] = word & 0xffffff;
      }
  }
  cairo_surface_destroy(png);
  return pixels;
}

// A fresh directory of its own for a test's files, removed with them when the test ends, however
// it ends.
struct ScratchDir {
  ScratchDir() {
    char directory[] = "/tmp/armsim-film-XXXXXX";
    if (mkdtemp(directory) != nullptr) path = directory;
  }
  ~ScratchDir() {
    if (!path.empty()) std::filesystem::remove_all(path);
  }
  std::string file(const char* name) const { return path + "/" + name; }
  std::string path;
};
