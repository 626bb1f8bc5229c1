#include "render/draw_primitives.h"

#include <cmath>

#include "render/scene_drawing.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// One line segment as the feedback buffer reports it, in window coordinates.
struct Segment {
  float x0, y0, x1, y1;
};

// Runs draw in feedback mode and collects the line segments it emits (at most kMax).
int feedback_lines(void (*draw)(), Segment segments[], int kMax) {
  static GLfloat buffer[8192];
  glFeedbackBuffer(8192, GL_3D, buffer);
  glRenderMode(GL_FEEDBACK);
  draw();
  const int used = glRenderMode(GL_RENDER);
  int count = 0;
  for (int i = 0; i < used;) {
    const GLfloat token = buffer[i++];
    if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
      if (count < kMax) segments[count] = {buffer[i], buffer[i + 1], buffer[i + 3], buffer[i + 4]};
      count++;
      i += 6;
    } else {
      ADD_FAILURE() << "unexpected feedback token " << token;
      break;
    }
  }
  return count;
}

// Frames with known axes: identity, the goal orientation (turned over), turns about z, and a
// tilted frame; a wrong branch or a swapped atan2 argument changes the angles.
TEST(FrameToZyz, KnownFrames) {
  double angles[3];
  const double tolerance = 1e-12;  // a few atan2 roundings
  frame_to_zyz({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, angles);
  EXPECT_NEAR(angles[0], 0, tolerance);
  EXPECT_NEAR(angles[1], 0, tolerance);
  EXPECT_NEAR(angles[2], 0, tolerance);

  frame_to_zyz({1, 0, 0}, {0, -1, 0}, {0, 0, -1}, angles);
  EXPECT_NEAR(angles[0], 0, tolerance);
  EXPECT_NEAR(angles[1], PI, 1e-12);
  EXPECT_NEAR(angles[2], PI, tolerance);

  const double a = 0.7;
  frame_to_zyz({std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}, angles);
  EXPECT_NEAR(angles[0], 0, tolerance);
  EXPECT_NEAR(angles[1], 0, tolerance);
  EXPECT_NEAR(angles[2], a, tolerance);

  // Rz(phi) Ry(theta) Rz(psi) rebuilt from the angles must give back the frame.
  const double phi = 0.4, theta = 1.1, psi = -2.3;
  const double cf = std::cos(phi), sf = std::sin(phi), ct = std::cos(theta), st = std::sin(theta),
               cp = std::cos(psi), sp = std::sin(psi);
  const Vec3 ex = {cf * ct * cp - sf * sp, sf * ct * cp + cf * sp, -st * cp};
  const Vec3 ey = {-cf * ct * sp - sf * cp, -sf * ct * sp + cf * cp, st * sp};
  const Vec3 ez = {cf * st, sf * st, ct};
  frame_to_zyz(ex, ey, ez, angles);
  EXPECT_NEAR(angles[0], phi, tolerance);
  EXPECT_NEAR(angles[1], theta, tolerance);
  EXPECT_NEAR(angles[2], psi, tolerance);
}

// The floor grid: 101 lines each way, one unit apart, each 100 long and its own segment; the
// axes: three segments. Counted from what OpenGL receives, under a projection that shows all.
TEST(SceneLines, GridAndAxesSegments) {
  ensure_test_window();
  glLoadIdentity();
  glOrtho(-60, 60, -60, 60, -60, 60);  // 5 pixels per unit, origin at (300, 300)
  static Segment segments[300];
  const int count = feedback_lines([] { draw_grid(50, 1.0, 1.0); }, segments, 300);
  ASSERT_EQ(count, 202);
  int along_y = 0, along_x = 0;
  for (int k = 0; k < count; k++) {
    const Segment& s = segments[k];
    const double length = std::hypot(s.x1 - s.x0, s.y1 - s.y0);
    EXPECT_NEAR(length, 500, 0.01) << k;  // 100 units; feedback coordinates are floats
    if (s.x0 == s.x1) {
      EXPECT_NEAR(s.x0, 300 + 5 * (along_y - 50), 0.01);
      along_y++;
    } else {
      EXPECT_NEAR(s.y0, 300 + 5 * (along_x - 50), 0.01);
      along_x++;
    }
  }
  EXPECT_EQ(along_y, 101);
  EXPECT_EQ(along_x, 101);
  EXPECT_EQ(feedback_lines(draw_axes, segments, 300), 3);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A box face with its hole, looked at straight along x: the rim is filled, the hole is open and
// as large as the circle (less the 48-gon's shortfall). Catches arcs turning the wrong way,
// missing fans or a hole in the wrong place.
TEST(HoledFace, HoleIsOpenAndFaceFilled) {
  ensure_test_window();
  // Screen x = model y, screen y = model z, 1500 pixels per unit, centre (300, 300).
  glLoadIdentity();
  glOrtho(-0.2, 0.2, -0.2, 0.2, -1, 1);
  const GLdouble yzx[16] = {0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  glMultMatrixd(yzx);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor3f(0, 0, 0);
  // The +x face of the 0.35 x 0.3 x 0.2 workpiece, hole radius 0.08 in its middle.
  const Vec3 face[4] = {
      {0.175, -0.15, -0.1}, {0.175, -0.15, 0.1}, {0.175, 0.15, 0.1}, {0.175, 0.15, -0.1}};
  draw_holed_face(face, {0.175, 0, 0}, 0.08);
  glFinish();
  int open = 0;
  for (int y = 0; y < 600; y++)
    for (int x = 0; x < 600; x++) {
      const Pixel p = read_pixel(x, y);
      const double u = (x + 0.5 - 300) / 1500, v = (y + 0.5 - 300) / 1500;
      const bool onFace = std::fabs(u) < 0.149 && std::fabs(v) < 0.099;
      const bool inHole = u * u + v * v < 0.079 * 0.079;
      const bool nearRim = std::fabs(std::hypot(u, v) - 0.08) < 0.002;
      if (onFace && !inHole && !nearRim) {
        EXPECT_TRUE(is_dark(p)) << x << "," << y;
      }
      if (!onFace && std::fabs(u) > 0.151) {
        EXPECT_TRUE(is_white(p)) << x << "," << y;
      }
      if (is_white(p) && onFace) open++;
    }
  // Hole of radius 120 pixels; the inscribed 48-gon is 0.3% smaller; 1% for the edge pixels.
  const double circle = PI * 120 * 120;
  EXPECT_NEAR(open, circle * (1 - 0.003), circle * 0.01);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
}

// The wall: drawn blended over what is behind it, and afterwards blending is off again and depth
// writes are back on, or every later frame would be drawn wrongly.
TEST(TranslucentQuad, BlendsAndRestoresState) {
  ensure_test_window();
  glLoadIdentity();
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  const Vec3 square[4] = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0.5, 0.5, 0}, {-0.5, 0.5, 0}};
  const float red[4] = {1.0f, 0.0f, 0.0f, 0.8f};
  draw_translucent_quad(square, red);
  glFinish();
  const Pixel p = read_pixel(300, 300);
  EXPECT_NEAR(p.r, 204, 2);  // 0.8 red over blue; 2 for rounding
  EXPECT_NEAR(p.b, 51, 2);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  glClearColor(1, 1, 1, 1);
}

}  // namespace
