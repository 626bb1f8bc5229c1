// The user's boxes in the scene: seen along a world axis, each box's silhouette is solid in the
// box colour (or its black edges) exactly where an independent slab test of lines along that
// axis finds the box, and nothing else is drawn; without boxes nothing is drawn at all.
#include "render/scene_drawing.h"

#include <vector>

#include "box_probe.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// Pixels per model unit of the views: the window's 600 pixels span [-3, 3].
constexpr double kPixelsPerUnit = 100;

// An orthographic view of [-3, 3]^3 along world axis `axis` towards the origin: from above
// (axis 2: x to the right, y up) or from +x (axis 0: y to the right, z up). A white light from
// the viewer with a large ambient share, so that every face shows its hue; the frame cleared
// white.
void set_axis_view(int axis) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-3, 3, -3, 3, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const float fromViewer[4] = {0, 0, 1, 0}, ambient[4] = {0.6f, 0.6f, 0.6f, 1},
              diffuse[4] = {0.4f, 0.4f, 0.4f, 1}, none[4] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, fromViewer);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_NORMALIZE);
  // Seen from +x: the eye's x, y and z are the world's y, z and x.
  const GLdouble fromX[16] = {0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  if (axis == 0) glLoadMatrixd(fromX);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// The world point at the centre of pixel (px, py) of the view along `axis`, on the plane through
// the origin across the axis.
Vec3 pixel_point(int axis, int px, int py) {
  const double u = (px + 0.5) / kPixelsPerUnit - 3, v = (py + 0.5) / kPixelsPerUnit - 3;
  return axis == 2 ? Vec3{u, v, 0} : Vec3{0, u, v};
}

// The box colour under the view's light: (0.8, 0.475, 0.655) times 0.6..1.0, red and blue well
// above green.
bool is_box_colour(const Pixel& p) {
  return p.r > 100 && p.r - p.g > 35 && p.b - p.g > 20;
}

// Two boxes apart: a long bar turned about an oblique axis, and a plate turned half over about
// x and then a quarter about z. A transposed or mirrored turn, a swapped side or a missing face
// puts colour where the slab test finds no box, or white where it finds one.
TEST(SceneDrawing, BoxesSolidWhereLinesAlongAnAxisMeetThem) {
  ensure_test_window();
  Workcell cell = {};
  cell.obstacleCount = 2;
  cell.obstacles[0] = make_box("bar", 2.2, 0.3, 0.4, {-1.2, 1.0, 1.3}, turn_about({1, 2, 3}, 0.9));
  Mat3 halfOverThenQuarter;
  mmul(turn_about({0, 0, 1}, PI / 2), turn_about({1, 0, 0}, PI), halfOverThenQuarter);
  cell.obstacles[1] = make_box("plate", 1.2, 0.6, 0.2, {1.3, -1.4, -1.2}, halfOverThenQuarter);
  const double r = 2.5 / kPixelsPerUnit;  // a neighbourhood of 2.5 pixels, model units
  for (int axis : {2, 0}) {
    set_axis_view(axis);
    draw_obstacles(cell);
    glFinish();
    const std::vector<unsigned char> rgb = read_frame();
    int inside = 0, coloured = 0, outside = 0;
    for (int py = 0; py < 600; py++)
      for (int px = 0; px < 600; px++) {
        const unsigned char* c = &rgb[3 * (600 * py + px)];
        const Pixel p = {c[0], c[1], c[2]};
        const Vec3 at = pixel_point(axis, px, py);
        bool surely = false, near = false;
        for (int b = 0; b < cell.obstacleCount; b++) {
          surely = surely || line_meets_box(cell.obstacles[b], at, axis, -r);
          near = near || line_meets_box(cell.obstacles[b], at, axis, r);
        }
        if (surely) {
          inside++;
          coloured += is_box_colour(p);
          EXPECT_TRUE(is_box_colour(p) || is_dark(p))
              << "axis " << axis << " inside at " << px << ", " << py << ": " << p.r << " " << p.g
              << " " << p.b;
        } else if (!near) {
          outside++;
          EXPECT_TRUE(is_white(p)) << "axis " << axis << " outside at " << px << ", " << py << ": "
                                   << p.r << " " << p.g << " " << p.b;
        }
      }
    EXPECT_GT(inside, 5000) << axis;
    EXPECT_GT(coloured, 0.9 * inside) << axis;  // the rest: black edges across the faces
    EXPECT_GT(outside, 300000) << axis;
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A workcell without boxes (whatever its unused entries hold) draws nothing and leaves the
// current colour and material as they were.
TEST(SceneDrawing, NoBoxesDrawNothing) {
  ensure_test_window();
  set_axis_view(2);
  const float colour[4] = {0.1f, 0.2f, 0.3f, 1}, material[4] = {0.4f, 0.5f, 0.6f, 1};
  glColor4fv(colour);
  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, material);
  Workcell cell = {};
  for (Obstacle& box : cell.obstacles)
    box = make_box("x", 2, 2, 2, {0, 0, 0}, turn_about({0, 0, 1}, 0));
  draw_obstacles(cell);
  glFinish();
  const std::vector<unsigned char> rgb = read_frame();
  int drawn = 0;
  for (unsigned char c : rgb) drawn += c != 255;
  EXPECT_EQ(drawn, 0);
  GLfloat nowColour[4], nowMaterial[4];
  glGetFloatv(GL_CURRENT_COLOR, nowColour);
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, nowMaterial);
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(nowColour[k], colour[k]);
    EXPECT_EQ(nowMaterial[k], material[k]);
  }
}

}  // namespace
