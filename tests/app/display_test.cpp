#include "app/display.h"

#include <GL/glu.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/console.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// The default scene in a freshly drawn back buffer.
void draw_default_frame() {
  ASSERT_TRUE(start_program_once());
  start_scene();
  draw_frame();
  glFinish();
}

struct WindowPoint {
  int x, y;
};

// Where the frame puts point p: camera frame (the menu, hints, status) or, with the view,
// scene frame. Built from the frame's constants, independently of the display code.
WindowPoint project(const Vec3& p, bool withView) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(30.0, 1.0, 1.0, 100.0);
  gluLookAt(14.0 * std::cos(0.2), 14.0 * std::sin(0.2), 8.0, 0, 0, 0, 0, 0, 1);
  if (withView) {
    glRotated(scene.viewRot[0], 1, 0, 0);
    glRotated(scene.viewRot[1], 0, 1, 0);
    glRotated(scene.viewRot[2], 0, 0, 1);
    glTranslated(scene.viewShift[0], scene.viewShift[1], scene.viewShift[2]);
  }
  GLdouble modelview[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glPopMatrix();
  const GLdouble identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const GLint viewport[4] = {0, 0, 600, 600};
  GLdouble x, y, z;
  gluProject(p.x, p.y, p.z, modelview, identity, viewport, &x, &y, &z);
  return {static_cast<int>(x), static_cast<int>(y)};
}

// The lit link colour (0.3, 0.7, 0.7): green and blue well above red, whatever the shading.
bool is_link_colour(const Pixel& p) {
  return p.g - p.r > 60 && p.b - p.r > 60;
}
// The translucent red wall, alone or over a black grid line.
bool is_wall_colour(const Pixel& p) {
  return p.r > 150 && p.g < 90 && p.b < 90;
}

// The whole back buffer, RGB, rows from the bottom.
// Dark pixels in the window rectangle [x0, x1) x [y0, y1).
int dark_pixels(const std::vector<unsigned char>& rgb, int x0, int x1, int y0, int y1) {
  int count = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) {
      const unsigned char* p = &rgb[3 * (600 * y + x)];
      if (is_dark({p[0], p[1], p[2]})) count++;
    }
  return count;
}

// The default scene: a white background, the red translucent wall over its whole rectangle and
// the robot's link colour along the links of the initial pose. Catches a wrong camera, wall
// corners, lost colours or a frame drawn in the wrong order.
TEST(DisplayFrame, DefaultScene) {
  draw_default_frame();
  const std::vector<unsigned char> rgb = read_frame();
  int white = 0;
  for (size_t k = 0; k < rgb.size(); k += 3)
    if (rgb[k] == 255 && rgb[k + 1] == 255 && rgb[k + 2] == 255) white++;
  EXPECT_GT(white, 0.8 * 600 * 600);  // grid, texts, wall and robot cover about a tenth

  for (double u : {0.2, 0.5, 0.8})
    for (double v : {0.2, 0.5, 0.8}) {
      const Vec3 onWall = {-4 * u, 1.3, 4 * v};
      const WindowPoint w = project(onWall, true);
      const Pixel p = read_pixel(w.x, w.y);
      EXPECT_TRUE(is_wall_colour(p)) << u << "," << v << ": " << p.r << " " << p.g << " " << p.b;
    }

  // Links 2, 3 and 5 of type 1 are 1.0, 1.0 and 1.8 long: their middles are clear of joints.
  forward_kinematics(robot, scene.qr, kin);
  for (int i : {2, 3, 5}) {
    const Vec3& a = kin.Jpos[i - 1];
    const Vec3& b = kin.Jpos[i];
    for (double s : {0.3, 0.5, 0.7}) {
      const Vec3 along = {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
      const WindowPoint w = project(along, true);
      const Pixel p = read_pixel(w.x, w.y);
      EXPECT_TRUE(is_link_colour(p))
          << "link " << i << " at " << s << ": " << p.r << " " << p.g << " " << p.b;
    }
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The robot-choice menu: four robots in their zero pose at y = -2, -1, 0, 1 of the camera frame,
// and afterwards the model of the current type standing at the origin, with the contact arm
// and wall distance untouched. Building the four robots used to leave type 4 at (0, 1, -2), so
// every key pressed while the menu showed computed with the wrong robot.
TEST(DisplayFrame, RobotMenuShowsFourRobotsAndLeavesTheModel) {
  draw_default_frame();
  scene.JRTYPE = 3;
  robot_setup(3, robot);
  set_initial_pose();
  cell.Mcont = 2;  // as the user may have named it
  forward_kinematics(robot, scene.qr, kin);
  const RobotModel before = robot;
  const Kinematics kinBefore = kin;
  const double wallDist = cell.wallDist;
  scene.setMode = 'F';
  scene.menuState = '4';
  for (int frame = 0; frame < 2; frame++) draw_frame();
  glFinish();

  EXPECT_STREQ(robot.jrtypeText, before.jrtypeText);
  EXPECT_EQ(robot.Lcont, before.Lcont);
  for (int k = 0; k < 3; k++) EXPECT_EQ(robot.posJoints[k], before.posJoints[k]);
  for (int i = 0; i <= 7; i++) {
    EXPECT_EQ(robot.Llen[i], before.Llen[i]);
    expect_near(robot.Erel[i], before.Erel[i], 0);
    expect_near(kin.Jpos[i], kinBefore.Jpos[i], 0);
    expect_near(kin.E[i], kinBefore.E[i], 0);
  }
  EXPECT_EQ(cell.Mcont, 2);
  EXPECT_EQ(cell.wallDist, wallDist);
  EXPECT_EQ(scene.JRTYPE, 3);

  // Heights above each base that lie on a link, clear of every type's joints.
  for (int k = 0; k < 4; k++) {
    int onRobot = 0;
    for (double h : {0.5, 1.6, 2.6, 3.5}) {
      const WindowPoint w = project({0, -2.0 + k, -2.0 + h}, false);
      if (is_link_colour(read_pixel(w.x, w.y))) onRobot++;
    }
    EXPECT_GE(onRobot, 3) << "robot " << k + 1;  // a caption may cross one of them
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// With the scene shifted out of sight only the window texts remain: the six key-help rows at
// y = 580, 560, ... in black, the blank seventh row empty, and the type label at the bottom
// with the type's digit in its sixth place.
TEST(DisplayFrame, KeyHelpAndTypeLabel) {
  draw_default_frame();
  scene.viewShift[2] = -500;
  draw_frame();
  glFinish();
  const std::vector<unsigned char> typeOne = read_frame();
  const char* rows[6] = {"'F':Robot Choice",
                         "'O':Obstacle Set. Go to Character Screen",
                         "'G':Goal Position Set(after Robot Choice). Go to Character Screen",
                         "'B':Sol. L-Contact and Positioning by Method B",
                         "'C':Motion from Initial to Goal",
                         "'D':Joint Rotate to See Which Arm Contacts with Wall Edge"};
  void* font = GLUT_BITMAP_HELVETICA_18;
  for (int r = 0; r < 7; r++) {
    const int baseline = 580 - 20 * r;
    const int end = r < 6 ? 5 + glutBitmapLength(font, (const unsigned char*)rows[r]) : 5;
    // Glyphs reach 4 pixels below and 14 above the baseline.
    if (r < 6) {
      EXPECT_GT(dark_pixels(typeOne, 5, end, baseline - 4, baseline + 14), 40) << r;
    }
    EXPECT_EQ(dark_pixels(typeOne, end + 2, 600, baseline - 4, baseline + 14), 0) << r;
  }
  EXPECT_GT(dark_pixels(typeOne, 5, 85, 6, 24), 40);

  scene.JRTYPE = 3;
  robot_setup(3, robot);
  draw_frame();
  glFinish();
  const std::vector<unsigned char> typeThree = read_frame();
  // Only the digit after "JTYPE" and the joint letters after x = 85 change.
  const int digitStart = 5 + glutBitmapLength(font, (const unsigned char*)"JTYPE");
  const int digitEnd = digitStart + glutBitmapWidth(font, '1');
  int changedBeforeDigit = 0, changedDigit = 0;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 85; x++) {
      const bool same =
          std::memcmp(&typeOne[3 * (600 * y + x)], &typeThree[3 * (600 * y + x)], 3) == 0;
      if (!same && x < digitStart) changedBeforeDigit++;
      if (!same && x >= digitStart && x < digitEnd) changedDigit++;
    }
  EXPECT_EQ(changedBeforeDigit, 0);
  EXPECT_GT(changedDigit, 5);
  EXPECT_GT(differing_pixels(typeOne, typeThree), changedDigit);  // the joint letters
  robot_setup(1, robot);
}

// Each of the nine status messages is drawn, in the scene, without a GL error.
TEST(DisplayFrame, EveryStatusMessageDraws) {
  draw_default_frame();
  const std::vector<unsigned char> plain = read_frame();
  struct Status {
    int solB, lcontFlag, sgnCONTACT;
  };
  const Status rows[9] = {{0, 0, 0}, {1, 0, 2}, {2, 5, 2}, {2, 5, 3}, {0, 5, 1},
                          {1, 5, 1}, {2, 5, 1}, {1, 5, 2}, {1, 5, 3}};
  scene.calcMode = 'B';
  for (int row = 1; row <= 9; row++) {
    const Status& s = rows[row - 1];
    scene.solB = s.solB;
    scene.lcontFlag = s.lcontFlag;
    scene.sgnCONTACT = s.sgnCONTACT;
    ASSERT_EQ(method_b_status_row(scene), row);
    draw_frame();
    glFinish();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << row;
    EXPECT_GT(differing_pixels(read_frame(), plain), 100) << row;
  }
}

// The order of the status tests: a failed contact step outranks the contact class, and a
// solution without a determined contact class shows nothing.
TEST(StatusMessage, RowSelection) {
  struct Case {
    int solB, lcontFlag, sgnCONTACT, row;
  };
  const Case cases[] = {{0, 0, 2, 1}, {2, 0, 2, 2}, {1, 0, 3, 2}, {0, 5, 2, 5},
                        {1, 5, 0, 0}, {2, 5, 0, 0}, {2, 5, 2, 3}, {1, 5, 2, 8}};
  for (const Case& c : cases) {
    scene.solB = c.solB;
    scene.lcontFlag = c.lcontFlag;
    scene.sgnCONTACT = c.sgnCONTACT;
    EXPECT_EQ(method_b_status_row(scene), c.row)
        << c.solB << " " << c.lcontFlag << " " << c.sgnCONTACT;
  }
}

// Reshape keeps the projection the identity, so a smaller viewport shows the same picture
// scaled: the key help moves with the viewport's top-left corner.
TEST(DisplayFrame, ReshapeKeepsIdentityProjection) {
  draw_default_frame();
  reshape(300, 300);
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  for (int k = 0; k < 16; k++) EXPECT_EQ(projection[k], k % 5 == 0 ? 1.0 : 0.0) << k;
  GLint mode = 0, viewport[4];
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_EQ(viewport[2], 300);
  EXPECT_EQ(viewport[3], 300);
  scene.viewShift[2] = -500;
  draw_frame();
  glFinish();
  const std::vector<unsigned char> rgb = read_frame();
  EXPECT_GT(dark_pixels(rgb, 2, 100, 287, 298), 30);  // first row at y = 580 / 2
  reshape(600, 600);
}

}  // namespace
