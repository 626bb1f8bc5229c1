// The film's frames: the window's own picture without a display, the frame times, and the robot
// where an independent projection of its kinematics puts it.
#include "film/motion_film.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "film_scene.h"

namespace {

constexpr int kSide = 600;

// The window's start-up frame (tests/app/golden/frame_600.png), rows from the top.
std::vector<uint32_t> golden_frame() {
  int width, height;
  std::vector<uint32_t> pixels =
      read_png(std::string(ARMSIM_GOLDEN_DIR) + "/frame_600.png", width, height);
  if (width != kSide || height != kSide) pixels.clear();
  return pixels;
}

// The texts, as rectangles of rows from the top: the window's six key-help rows (baselines 20
// pixels apart from 20 below the top, glyphs 14 above and 4 below, the longest row 545 pixels),
// which the film does not draw, and at the bottom left the window's type label and the film's
// caption in its place (baseline 10 above the bottom, under 400 pixels long).
bool in_text(int x, int y) {
  const bool keyHelp = x < 560 && y >= 4 && y < 128;
  const bool caption = x < 400 && y >= kSide - 32;
  return keyHelp || caption;
}

// Outside the texts: the pixels compared, those off by one level in some channel and no more,
// and those off by more.
struct FrameGap {
  long compared = 0, offByOne = 0, offByMore = 0;
};

FrameGap gap_outside_texts(const std::vector<uint32_t>& frame,
                           const std::vector<uint32_t>& window) {
  FrameGap gap;
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++) {
      if (in_text(x, y)) continue;
      gap.compared++;
      const size_t k = static_cast<size_t>(y) * kSide + x;
      int worst = 0;
      for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(static_cast<int>(frame[k] >> shift & 255) -
                                         static_cast<int>(window[k] >> shift & 255)));
      gap.offByOne += worst == 1;
      gap.offByMore += worst > 1;
    }
  return gap;
}

// At 600 x 600 the film's first frame, drawn offscreen through EGL with no display, is the
// window's start-up frame outside the texts: the same drawing calls on the same rasteriser
// (Mesa's llvmpipe behind both Xvfb's GLX and the surfaceless EGL). Measured against the golden
// frame: 125 pixels one level apart in one channel, all on the goal workpiece's lit faces
// (which take whatever normal the drawing before them left), and 4 pixels where a grid line's
// edge falls one pixel over (2 lines, a black and a white pixel swapped each). The bounds, 500
// and 16, leave room for a driver's rounding yet catch a camera, light, colour, sphere or order
// that drifted apart (any of them changes thousands of pixels). The caption lies where the
// window's type label is, so it changes nothing outside the texts.
TEST(FilmFrame, FirstFrameIsTheWindowsStartUpFrame) {
  FilmScene s;
  film_scene(s);
  const std::vector<uint32_t> window = golden_frame();
  ASSERT_EQ(window.size(), static_cast<size_t>(kSide) * kSide) << "cannot read the golden frame";
  FilmCamera camera;
  ASSERT_EQ(camera.open(kSide, kSide), kOffscreenOk);
  std::vector<uint32_t> frame(window.size());
  double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
  trajectory_at(s.motion, 0, q, qd, qdd);
  for (const char* caption : {"", "JTYPE1= RQRPRPR   t = 0.00 s of 1.23 s"}) {
    camera.frame(s.robot, s.cell, q, caption, frame.data());
    const FrameGap gap = gap_outside_texts(frame, window);
    EXPECT_LE(gap.offByOne, 500) << "caption: " << caption;
    EXPECT_LE(gap.offByMore, 16) << "caption: " << caption;
    EXPECT_GT(gap.compared, 0.75 * kSide * kSide);
  }
}

// Frame k is at k / fps while before the duration, then one at the duration: counted here by
// whole-number arithmetic on durations that are whole numbers of milliseconds, so a frame exactly
// at the end is the end frame and not one more.
TEST(FilmFrame, FrameTimesStepByTheRateAndEndAtTheDuration) {
  std::mt19937 rng(30);
  std::uniform_int_distribution<int> milliseconds(0, 9000), rate(kMinFilmFps, kMaxFilmFps);
  for (int trial = 0; trial < 2000; trial++) {
    const int ms = milliseconds(rng), fps = trial == 0 ? 25 : rate(rng);
    const double duration = ms / 1000.0;
    // k / fps < ms / 1000  <=>  1000 k < ms fps.
    long before = 0;
    while (1000L * before < static_cast<long>(ms) * fps) before++;
    const long count = film_frame_count(duration, fps);
    ASSERT_EQ(count, before + 1) << "duration " << duration << " fps " << fps;
    for (long k = 0; k + 1 < count; k++)
      ASSERT_DOUBLE_EQ(film_frame_time(k, duration, fps), static_cast<double>(k) / fps);
    ASSERT_EQ(film_frame_time(count - 1, duration, fps), duration);
  }
  EXPECT_EQ(film_frame_count(4.0, 25), 101);
  EXPECT_EQ(film_frame_count(0.0, 25), 1);
}

// Where the window's camera and the start-up view put a world point in a picture w x h (rows
// from the top), computed here with GLU from the camera's stated numbers: a 30 degree field
// across the narrower side, the eye at distance 14, azimuth 0.2 rad and height 8, the view
// turned 2 degrees about each axis and shifted by (-1, -1, -2).
void project(const Vec3& p, int w, int h, int& x, int& y) {
  const double aspect = static_cast<double>(w) / h;
  const double fovy = w >= h ? 30.0 : 2 * std::atan(std::tan(15.0 * PI / 180) * h / w) * 180 / PI;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(fovy, aspect, 1.0, 100.0);
  gluLookAt(14.0 * std::cos(0.2), 14.0 * std::sin(0.2), 8.0, 0, 0, 0, 0, 0, 1);
  glRotated(2, 1, 0, 0);
  glRotated(2, 0, 1, 0);
  glRotated(2, 0, 0, 1);
  glTranslated(-1, -1, -2);
  GLdouble modelview[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glPopMatrix();
  const GLdouble identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const GLint viewport[4] = {0, 0, w, h};
  GLdouble wx, wy, wz;
  gluProject(p.x, p.y, p.z, modelview, identity, viewport, &wx, &wy, &wz);
  x = static_cast<int>(wx);
  y = h - 1 - static_cast<int>(wy);
}

// The lit link colour (0.3, 0.7, 0.7): green and blue well above red, whatever the shading.
bool is_link_colour(uint32_t c) {
  const int r = c >> 16 & 255, g = c >> 8 & 255, b = c & 255;
  return g - r > 60 && b - r > 60;
}

// The lit blue of the twist joints and the held workpiece, or the lit red of the other joints
// (pure, darker than the translucent wall's): parts of the arm that may lie nearer than a link.
bool is_joint_colour(uint32_t c) {
  const int r = c >> 16 & 255, g = c >> 8 & 255, b = c & 255;
  return (b > 100 && r < 40 && g < 40) || (r > 100 && g < 30 && b < 30);
}

// Along the motion and in pictures of other shapes, points along the links are drawn in the
// arm's colours where the test's own projection of the forward kinematics puts them, most in the
// link colour (at mid-motion a joint hides two of the nine): catches frames that show another
// pose than their time's, a stretched picture or one cut by the wrong aspect.
TEST(FilmFrame, RobotIsWhereItsKinematicsPutIt) {
  FilmScene s;
  film_scene(s);
  const int sizes[3][2] = {{600, 600}, {800, 450}, {400, 640}};
  Kinematics kin(s.robot);
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    FilmCamera camera;
    ASSERT_EQ(camera.open(w, h), kOffscreenOk);
    std::vector<uint32_t> frame(static_cast<size_t>(w) * h);
    for (double share : {0.0, 0.5, 1.0}) {
      const double t = share * s.motion.duration;
      double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
      trajectory_at(s.motion, t, q, qd, qdd);
      camera.frame(s.robot, s.cell, q, "", frame.data());
      forward_kinematics(s.robot, q, kin);
      // Links 2, 3 and 5 of type 1 are 1.0, 1.0 and 1.8 long: points 0.3 to 0.7 along them
      // are clear of the joints, though a nearer joint or the held workpiece may hide some.
      int onLinks = 0, onRobot = 0;
      for (int i : {2, 3, 5})
        for (double along : {0.3, 0.5, 0.7}) {
          const Vec3& a = kin.Jpos[i - 1];
          const Vec3& b = kin.Jpos[i];
          const Vec3 p = {a.x + along * (b.x - a.x), a.y + along * (b.y - a.y),
                          a.z + along * (b.z - a.z)};
          int x, y;
          project(p, w, h, x, y);
          ASSERT_TRUE(x >= 0 && x < w && y >= 0 && y < h);
          const uint32_t c = frame[static_cast<size_t>(y) * w + x];
          onLinks += is_link_colour(c);
          onRobot += is_link_colour(c) || is_joint_colour(c);
        }
      EXPECT_EQ(onRobot, 9) << w << "x" << h << " t " << t;
      EXPECT_GE(onLinks, 6) << w << "x" << h << " t " << t;
    }
  }
}

}  // namespace
