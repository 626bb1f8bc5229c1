#include "render/robot_drawing.h"

#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// Colour of the middle of a joint cylinder seen from above, lit by a light at the viewer.
Pixel joint_colour(char letter, const Mat3& frame) {
  // The view goes onto the projection, so that lighting sees the normals unscaled.
  glMatrixMode(GL_PROJECTION);
  glOrtho(-0.5, 0.5, -0.5, 0.5, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);  // white, from +z
  glEnable(GL_DEPTH_TEST);
  draw_joint(letter, frame, {0, 0, 0});
  glFinish();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  return read_pixel(300, 300);
}

// Twist joints ('R') are blue, bending joints ('P', 'Q') red, in whatever direction they lie.
TEST(RobotDrawing, JointColoursByAxisLetter) {
  ensure_test_window();
  const Mat3 upright = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  const Mat3 alongX = {{0, 0, 1, 1, 0, 0, 0, 1, 0}};
  const Pixel twist = joint_colour('R', upright);
  EXPECT_GT(twist.b, 200);
  EXPECT_LT(twist.r, 30);
  for (char letter : {'P', 'Q'}) {
    const Pixel bend = joint_colour(letter, alongX);
    EXPECT_GT(bend.r, 200) << letter;
    EXPECT_LT(bend.b, 30) << letter;
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
