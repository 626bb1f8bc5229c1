#include "app/display.h"

#include <GL/glu.h>
#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/keyboard.h"
#include "app/map_job.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "console_capture.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "render/map_overlay.h"
#include "render/map_test_maps.h"
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

// Where the frame puts point p in a window width x height: camera frame (the menu, hints,
// status) or, with the view, scene frame. Built from the frame's constants, independently of the
// display code: a 30 degree field of view across the window's narrower side, the window's aspect.
WindowPoint project(const Vec3& p, bool withView, int width = 600, int height = 600) {
  const double aspect = static_cast<double>(width) / height;
  const double fovy =
      width >= height ? 30.0 : 2 * std::atan(std::tan(15.0 * PI / 180) * height / width) * 180 / PI;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(fovy, aspect, 1.0, 100.0);
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
  const GLint viewport[4] = {0, 0, width, height};
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

// Dark pixels in the rectangle [x0, x1) x [y0, y1) of a frame `width` pixels wide (RGB, rows
// from the bottom).
int dark_pixels(const std::vector<unsigned char>& rgb, int x0, int x1, int y0, int y1,
                int width = 600) {
  int count = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) {
      const unsigned char* p = &rgb[3 * (width * y + x)];
      if (is_dark({p[0], p[1], p[2]})) count++;
    }
  return count;
}

// Pixel (x, y) of a frame `width` pixels wide.
Pixel pixel_at(const std::vector<unsigned char>& rgb, int x, int y, int width) {
  const unsigned char* p = &rgb[3 * (width * y + x)];
  return {p[0], p[1], p[2]};
}

// The back buffer of a window width x height, RGB rows from the bottom.
std::vector<unsigned char> read_window(int width, int height) {
  std::vector<unsigned char> rgb(3 * static_cast<size_t>(width) * height);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

// The 600 x 600 frame of the default scene as it was before windows could be resized
// (tests/app/golden/frame_600.png), RGB rows from the bottom as read_frame; empty if unreadable.
std::vector<unsigned char> golden_frame() {
  const std::string path = std::string(ARMSIM_GOLDEN_DIR) + "/frame_600.png";
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  std::vector<unsigned char> rgb;
  if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS &&
      cairo_image_surface_get_width(png) == 600 && cairo_image_surface_get_height(png) == 600) {
    rgb.resize(600 * 600 * 3);
    const unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    for (int y = 0; y < 600; y++)
      for (int x = 0; x < 600; x++) {
        uint32_t argb;
        std::memcpy(&argb, data + (599 - y) * stride + 4 * x, 4);
        unsigned char* p = &rgb[3 * (600 * y + x)];
        p[0] = argb >> 16 & 255;
        p[1] = argb >> 8 & 255;
        p[2] = argb & 255;
      }
  }
  cairo_surface_destroy(png);
  return rgb;
}

// The program's window resized to width x height for one test, and back to 600 x 600 after it.
// The toolkit calls the program's reshape callback, as for a user's resize.
class ResizedWindow {
 public:
  ResizedWindow(int width, int height) { ok_ = resize(width, height); }
  ~ResizedWindow() { resize(600, 600); }
  bool ok() const { return ok_; }

 private:
  static bool resize(int width, int height) {
    glutReshapeWindow(width, height);
    for (int k = 0; k < 400; k++) {
      glutMainLoopEvent();
      GLint viewport[4];
      glGetIntegerv(GL_VIEWPORT, viewport);
      if (viewport[2] == width && viewport[3] == height) return true;
      usleep(5000);
    }
    return false;
  }
  bool ok_;
};

// The robot's links and the wall where an independent projection for the window's size puts
// them (catches a stretched or cut picture).
void expect_scene_where_projected(int width, int height) {
  const std::vector<unsigned char> rgb = read_window(width, height);
  for (double u : {0.2, 0.5, 0.8})
    for (double v : {0.2, 0.5, 0.8}) {
      const WindowPoint w = project({-4 * u, 1.3, 4 * v}, true, width, height);
      const Pixel p = pixel_at(rgb, w.x, w.y, width);
      EXPECT_TRUE(is_wall_colour(p)) << width << "x" << height << " wall " << u << "," << v << ": "
                                     << p.r << " " << p.g << " " << p.b;
    }
  forward_kinematics(robot, scene.methodB.qr, kin);
  for (int i : {2, 3, 5}) {
    const Vec3& a = kin.Jpos[i - 1];
    const Vec3& b = kin.Jpos[i];
    for (double s : {0.3, 0.5, 0.7}) {
      const Vec3 along = {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
      const WindowPoint w = project(along, true, width, height);
      const Pixel p = pixel_at(rgb, w.x, w.y, width);
      EXPECT_TRUE(is_link_colour(p)) << width << "x" << height << " link " << i << " at " << s
                                     << ": " << p.r << " " << p.g << " " << p.b;
    }
  }
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
  forward_kinematics(robot, scene.methodB.qr, kin);
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
  robot_setup(3, robot);
  set_initial_pose();
  scene.methodB.Mcont = 2;  // as the user may have named it
  forward_kinematics(robot, scene.methodB.qr, kin);
  const RobotModel before = robot;
  const Kinematics kinBefore = kin;
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
  EXPECT_EQ(scene.methodB.Mcont, 2);
  EXPECT_EQ(robot.type, 3);

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
    PositionStatus solB;
    ContactStepFlag lcontFlag;
    ContactClass sgnCONTACT;
  };
  const Status rows[9] = {{kPositionNone, kContactStepFailed, kContactUnknown},
                          {kPositionOutside, kContactStepFailed, kContactTouches},
                          {kPositionReached, kContactStepDone, kContactTouches},
                          {kPositionReached, kContactStepDone, kContactApart},
                          {kPositionNone, kContactStepDone, kContactCuts},
                          {kPositionOutside, kContactStepDone, kContactCuts},
                          {kPositionReached, kContactStepDone, kContactCuts},
                          {kPositionOutside, kContactStepDone, kContactTouches},
                          {kPositionOutside, kContactStepDone, kContactApart}};
  scene.calcMode = 'B';
  for (int row = 1; row <= 9; row++) {
    const Status& s = rows[row - 1];
    scene.methodB.solB = s.solB;
    scene.methodB.lcontFlag = s.lcontFlag;
    scene.methodB.sgnCONTACT = s.sgnCONTACT;
    ASSERT_EQ(method_b_status_row(scene.methodB), row);
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
    PositionStatus solB;
    ContactStepFlag lcontFlag;
    ContactClass sgnCONTACT;
    int row;
  };
  const Case cases[] = {{kPositionNone, kContactStepFailed, kContactTouches, 1},
                        {kPositionReached, kContactStepFailed, kContactTouches, 2},
                        {kPositionOutside, kContactStepFailed, kContactApart, 2},
                        {kPositionNone, kContactStepDone, kContactTouches, 5},
                        {kPositionOutside, kContactStepDone, kContactUnknown, 0},
                        {kPositionReached, kContactStepDone, kContactUnknown, 0},
                        {kPositionReached, kContactStepDone, kContactTouches, 3},
                        {kPositionOutside, kContactStepDone, kContactTouches, 8}};
  for (const Case& c : cases) {
    scene.methodB.solB = c.solB;
    scene.methodB.lcontFlag = c.lcontFlag;
    scene.methodB.sgnCONTACT = c.sgnCONTACT;
    EXPECT_EQ(method_b_status_row(scene.methodB), c.row)
        << c.solB << " " << c.lcontFlag << " " << c.sgnCONTACT;
  }
}

// Reshape keeps the projection the identity, so a smaller square viewport shows the same scene
// scaled, while the key help keeps its pixel size and its place under the viewport's top-left
// corner.
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
  // First row at y = 300 - 20: glyphs from 4 below to 14 above the baseline.
  EXPECT_GT(dark_pixels(rgb, 5, 100, 276, 294), 30);
  EXPECT_EQ(dark_pixels(rgb, 5, 100, 296, 300), 0);
  reshape(600, 600);
}

// The 600 x 600 frame of the default scene is pixel for pixel the one from before the
// window could be resized (the golden file), also after the window was resized and back.
TEST(DisplayFrame, DesignedFrameIsTheGolden) {
  draw_default_frame();
  const std::vector<unsigned char> golden = golden_frame();
  ASSERT_EQ(golden.size(), 600u * 600 * 3) << "cannot read the golden frame";
  EXPECT_EQ(differing_pixels(read_frame(), golden), 0);
  {
    ResizedWindow wide(1000, 500);
    ASSERT_TRUE(wide.ok());
    draw_frame();
  }
  draw_frame();
  glFinish();
  EXPECT_EQ(differing_pixels(read_frame(), golden), 0);
}

// A box of the workcell in the default scene: lit in the box colour (red and blue well above
// green, unlike the wall, the robot, the workpieces and the grid) where the frame's projection
// puts points of its top face; with the count back to 0, the box still in the array, the frame
// is the golden one again.
TEST(DisplayFrame, WorkcellBoxWhereProjected) {
  draw_default_frame();
  const double c = std::cos(PI / 6), s = std::sin(PI / 6);
  cell.obstacles[0] = {"crate", {0.8, 0.6, 0.5}, {1.5, -1.5, 0.25}, {{c, -s, 0, s, c, 0, 0, 0, 1}}};
  cell.obstacleCount = 1;
  draw_frame();
  glFinish();
  for (double u : {-0.3, 0.0, 0.3})
    for (double v : {-0.2, 0.0, 0.2}) {
      const Vec3 top = {1.5 + c * u - s * v, -1.5 + s * u + c * v, 0.5};
      const WindowPoint w = project(top, true);
      const Pixel p = read_pixel(w.x, w.y);
      EXPECT_TRUE(p.r - p.g > 35 && p.b - p.g > 20)
          << u << "," << v << ": " << p.r << " " << p.g << " " << p.b;
    }
  cell.obstacleCount = 0;
  draw_frame();
  glFinish();
  const std::vector<unsigned char> golden = golden_frame();
  ASSERT_EQ(golden.size(), 600u * 600 * 3) << "cannot read the golden frame";
  EXPECT_EQ(differing_pixels(read_frame(), golden), 0);
}

// In a wide and in a tall window the scene is where the projection with the window's aspect
// ratio puts it (not stretched, not cut), and the window texts are the 600 x 600 frame's pixels
// at their corners: the key help under the top-left corner, the type label with its joint
// letters right after "JTYPE1=" at the bottom left, nothing elsewhere.
TEST(DisplayFrame, ResizedWindowKeepsProportionsAndTextCorners) {
  draw_default_frame();
  scene.viewShift[2] = -500;  // the scene out of sight: only the texts
  draw_frame();
  glFinish();
  const std::vector<unsigned char> square = read_frame();
  const int sizes[2][2] = {{1000, 500}, {500, 800}};
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    ResizedWindow resized(width, height);
    ASSERT_TRUE(resized.ok()) << width << "x" << height;
    start_scene();
    draw_frame();
    glFinish();
    expect_scene_where_projected(width, height);

    scene.viewShift[2] = -500;
    draw_frame();
    glFinish();
    const std::vector<unsigned char> texts = read_window(width, height);
    int moved = 0, stray = 0;
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) {
        const Pixel p = pixel_at(texts, x, y, width);
        const int fromTop = height - 1 - y;
        if (x < std::min(width, 600) && y < 40) {
          const Pixel q = pixel_at(square, x, y, 600);  // the bottom-left corner
          moved += p.r != q.r || p.g != q.g || p.b != q.b;
        } else if (x < std::min(width, 600) && fromTop < 140) {
          const Pixel q = pixel_at(square, x, 599 - fromTop, 600);  // the top-left corner
          moved += p.r != q.r || p.g != q.g || p.b != q.b;
        } else {
          stray += !is_white(p);
        }
      }
    EXPECT_EQ(moved, 0) << width << "x" << height;
    EXPECT_EQ(stray, 0) << width << "x" << height;
  }
}

// The floor map's legend in the window's bottom-right corner, in a 600 x 600 and a wide window:
// a panel with the class colours as the floor shows them (the PNG's Okabe-Ito colours at the
// floor's opacity over white, nothing for out of reach), Method B's mark, each with its name
// beside it; none in the robot menu. Catches a missing legend, wrong colours, order or names,
// and a legend that leaves its corner when the window is resized.
TEST(FloorMapLegend, ColoursAndNamesInTheBottomRightCorner) {
  draw_default_frame();
  scene.floorMap = made_up_map(1, 1.3, 0.5);
  scene.floorMapShown = true;
  struct Row {
    const char* name;
    int rgb[3];  // the PNG's colour, -1: none (the bare floor)
    bool mark;
  };
  const Row rows[6] = {{"touching pose", {0x00, 0x9E, 0x73}, false},
                       {"clear pose only", {0x56, 0xB4, 0xE9}, false},
                       {"blocked: cut wall or floor", {0xD5, 0x5E, 0x00}, false},
                       {"out of reach", {-1, -1, -1}, false},
                       {"Method B final pose", {0x00, 0x9E, 0x73}, true},
                       {"no collision-free motion", {0x00, 0x9E, 0x73}, false}};
  int legendWidth, legendHeight;
  map_floor_legend_size(legendWidth, legendHeight);
  EXPECT_EQ(map_floor_legend_rows(), 7);  // the heading and the six entries
  const int sizes[2][2] = {{600, 600}, {1000, 500}};
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    ResizedWindow resized(width, height);
    ASSERT_TRUE(resized.ok());
    draw_frame();
    glFinish();
    const std::vector<unsigned char> rgb = read_window(width, height);
    // The panel's frame 5 pixels from the right and the bottom edge.
    const int x0 = width - 5 - legendWidth, y0 = 5;
    EXPECT_FALSE(is_white(pixel_at(rgb, width - 6, 5, width)));
    EXPECT_FALSE(is_white(pixel_at(rgb, x0, y0 + legendHeight - 1, width)));
    EXPECT_TRUE(is_white(pixel_at(rgb, x0 + 2, y0 + 2, width)));
    for (int k = 0; k < 6; k++) {
      const Row& row = rows[k];
      int sx, sy;
      map_floor_legend_swatch(k + 1, sx, sy);
      sx += x0;
      sy += y0;
      const Pixel inside = pixel_at(rgb, sx + 3, sy + 3, width);
      for (int c = 0; c < 3; c++) {
        const int got = c == 0 ? inside.r : c == 1 ? inside.g : inside.b;
        const double expected = row.rgb[c] < 0 ? 255 : 0.6 * row.rgb[c] + 0.4 * 255;
        EXPECT_NEAR(got, expected, 2.5) << width << "x" << height << " " << row.name << " " << c;
      }
      EXPECT_EQ(is_dark(pixel_at(rgb, sx + 6, sy + 6, width)), row.mark) << row.name;
      const int textX = sx + 18;
      const int length = glutBitmapLength(GLUT_BITMAP_HELVETICA_12,
                                          reinterpret_cast<const unsigned char*>(row.name));
      EXPECT_GT(dark_pixels(rgb, textX, textX + length, sy - 2, sy + 12, width), 20) << row.name;
      EXPECT_EQ(dark_pixels(rgb, textX + length + 2, x0 + legendWidth - 2, sy - 2, sy + 12, width),
                0)
          << row.name;
    }
  }
  // No legend without the scene: the robot menu is the same with the map shown or not.
  scene.menuState = '4';
  draw_frame();
  glFinish();
  const std::vector<unsigned char> menuWithMap = read_frame();
  scene.floorMapShown = false;
  draw_frame();
  glFinish();
  EXPECT_EQ(differing_pixels(menuWithMap, read_frame()), 0);
  start_scene();
}

// Seconds on a monotonic clock.
double now_seconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// When the main loop drew its frames.
std::vector<double> frameTimes;
void counting_display() {
  frameTimes.push_back(now_seconds());
  display();
}

// A paced evaluation of the cells for the progress tests: each cell waits until the test allows
// one more, then takes the made-up class of its place (render/map_test_maps.h).
std::atomic<long> cellsAllowed{0};
std::atomic<long> cellsTaken{0};
void paced_evaluator(int, const Workcell&, double x, double y, MapCell& cell) {
  long taken = cellsTaken.load();
  while (!(taken < cellsAllowed.load() && cellsTaken.compare_exchange_weak(taken, taken + 1))) {
    usleep(200);
    taken = cellsTaken.load();
  }
  cell.cls = made_up_class(x, y);
}

// Lets every cell pass and cancels a map still being computed when a test ends, also early
// (before its console capture goes), and restores the map's own evaluation.
struct MapComputationGuard {
  ~MapComputationGuard() {
    cellsAllowed = 1L << 40;
    floor_map_cancel();
    floor_map_use_evaluator(nullptr);
  }
};

// Waits up to 10 s until the map being computed has at least n cells done.
bool wait_for_cells(long n) {
  long done = 0, total = 0;
  for (int k = 0; k < 1000 && done < n; k++) {
    floor_map_progress(done, total);
    if (done < n) usleep(10000);
  }
  return done >= n;
}

// Pixels that differ between two 600 x 600 frames in the bottom-right corner, where the map's
// progress and legend go.
int corner_changes(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  int count = 0;
  for (int y = 0; y < 60; y++)
    for (int x = 300; x < 600; x++)
      count += std::memcmp(&a[3 * (600 * y + x)], &b[3 * (600 * y + x)], 3) != 0;
  return count;
}

std::vector<unsigned char> drawn_frame() {
  draw_frame();
  glFinish();
  return read_frame();
}

// 'M' computes on worker threads while the window stays live: the frame shows the progress in
// the bottom-right corner at once and its count as the cells are done (nothing else changes),
// keys meanwhile change nothing but are noted in the window, the main loop redraws at least
// every half second and shows the map when it is done, with the console's trace as before.
// Catches a blocking 'M', a frozen or silent window, keys acting on a scene the map no longer
// matches, and a map never shown. The cells are paced by the test.
TEST(FloorMapProgress, WindowLiveWhileComputing) {
  draw_default_frame();
  const std::vector<unsigned char> plain = read_frame();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  MapComputationGuard guard;
  cellsAllowed = cellsTaken = 0;
  floor_map_use_evaluator(paced_evaluator);
  double qr[kJointSlots];
  qcopy(7, scene.methodB.qr, qr);
  keyboard('M', 0, 0);
  ASSERT_TRUE(floor_map_computing());
  EXPECT_FALSE(scene.floorMapShown);
  long done, total;
  floor_map_progress(done, total);
  EXPECT_EQ(done, 0);
  EXPECT_GT(total, 1000);
  const std::vector<unsigned char> atStart = drawn_frame();
  EXPECT_GT(corner_changes(plain, atStart), 500);
  EXPECT_EQ(differing_pixels(plain, atStart), corner_changes(plain, atStart)) << "only the corner";

  // Keys meanwhile: the pose, the modes and the robot stay; the window names the last one.
  EXPECT_EQ(floor_map_ignored_key(), -1);
  for (unsigned char key : {'1', 'F', '3', 'B', 'x'}) keyboard(key, 0, 0);
  EXPECT_EQ(floor_map_ignored_key(), 'x');
  for (int i = 0; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], qr[i]) << i;
  EXPECT_EQ(robot.type, 1);
  EXPECT_EQ(scene.setMode, '0');
  EXPECT_EQ(scene.calcMode, '0');
  EXPECT_EQ(scene.menuState, '1');
  EXPECT_TRUE(floor_map_computing());
  const std::vector<unsigned char> keyNoted = drawn_frame();
  EXPECT_GT(corner_changes(atStart, keyNoted), 20);
  EXPECT_EQ(differing_pixels(atStart, keyNoted), corner_changes(atStart, keyNoted));

  // The count in the window follows the cells done.
  cellsAllowed = 100;
  ASSERT_TRUE(wait_for_cells(100));
  const std::vector<unsigned char> at100 = drawn_frame();
  cellsAllowed = 200;
  ASSERT_TRUE(wait_for_cells(200));
  const std::vector<unsigned char> at200 = drawn_frame();
  EXPECT_GT(corner_changes(keyNoted, at100), 20);
  EXPECT_GT(corner_changes(at100, at200), 20);
  EXPECT_EQ(differing_pixels(at100, at200), corner_changes(at100, at200));
  EXPECT_EQ(differing_pixels(at200, drawn_frame()), 0) << "a count that does not hold still";

  // The main loop as the program runs it, the cells let through over about two seconds, until
  // the map is shown.
  frameTimes.clear();
  glutDisplayFunc(counting_display);
  const double start = now_seconds();
  while (floor_map_computing() && now_seconds() - start < 60) {
    cellsAllowed = 200 + static_cast<long>((now_seconds() - start) / 2.0 * total);
    glutMainLoopEvent();
    usleep(1000);
  }
  const double elapsed = now_seconds() - start;
  glutDisplayFunc(display);
  ASSERT_FALSE(floor_map_computing()) << "not done in " << elapsed << " s";
  EXPECT_TRUE(scene.floorMapShown);
  EXPECT_EQ(scene.floorMap.type, 1);
  EXPECT_GT(elapsed, 1.5);
  // A frame at least every half second on average, the last one after the map was shown.
  EXPECT_GE(static_cast<double>(frameTimes.size()), elapsed / 0.5) << elapsed << " s";
  ASSERT_FALSE(frameTimes.empty());
  EXPECT_GE(frameTimes.back(), start + elapsed - 0.5);

  const std::string text = captured.text();
  EXPECT_EQ(text.find("\n\n//--------------実行可能性マップ: ロボット1 壁端y=1.300"), 0u);
  size_t lines = 0;
  for (size_t at = text.find("実行可能性マップ計算中"); at != std::string::npos;
       at = text.find("実行可能性マップ計算中", at + 1))
    lines++;
  EXPECT_EQ(lines, 11u) << text;  // 0, then each tenth
  EXPECT_NE(text.find("実行可能性マップ完了\n"), std::string::npos);
  EXPECT_EQ(floor_map_ignored_key(), -1);

  // The next frame: the legend instead of the progress.
  EXPECT_GT(corner_changes(at200, drawn_frame()), 500);
  scene.floorMapShown = false;
  fclose(in);
}

// Cancelling stops the workers at once: the console's progress stops short of the last cell,
// nothing is shown, and the next 'M' computes afresh.
TEST(FloorMapProgress, CancelEndsTheComputationAtOnce) {
  draw_default_frame();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  MapComputationGuard guard;  // the map's own evaluation
  keyboard('M', 0, 0);
  ASSERT_TRUE(floor_map_computing());
  long done, total;
  floor_map_progress(done, total);
  usleep(200000);
  const double start = now_seconds();
  floor_map_cancel();
  EXPECT_LT(now_seconds() - start, 10.0);
  EXPECT_FALSE(floor_map_computing());
  EXPECT_FALSE(scene.floorMapShown);
  const std::string text = captured.text();
  EXPECT_EQ(text.find(" " + std::to_string(total) + "/" + std::to_string(total)), std::string::npos)
      << text;
  EXPECT_EQ(text.find("実行可能性マップ完了"), std::string::npos);
  EXPECT_FALSE(floor_map_poll());

  // Again: the cells are evaluated (the console counts from 0 again), then cancelled.
  keyboard('M', 0, 0);
  ASSERT_TRUE(floor_map_computing());
  done = 0;
  for (int k = 0; k < 12000 && done == 0; k++) {
    usleep(10000);
    floor_map_progress(done, total);
  }
  const std::string again = captured.text();
  const std::string zero = "計算中 0/" + std::to_string(total);
  ASSERT_NE(again.find(zero), std::string::npos);
  EXPECT_NE(again.find(zero, again.find(zero) + 1), std::string::npos) << again;
  floor_map_cancel();
  EXPECT_FALSE(scene.floorMapShown);
  fclose(in);
}

// ESC while the map is computed ends the program with status 0, the workers stopped first.
TEST(FloorMapProgressDeathTest, EscapeQuitsWhileComputing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  draw_default_frame();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  EXPECT_EXIT(
      {
        keyboard('M', 0, 0);
        usleep(100000);
        keyboard(27, 0, 0);
      },
      testing::ExitedWithCode(0), "");
  fclose(in);
}

}  // namespace
