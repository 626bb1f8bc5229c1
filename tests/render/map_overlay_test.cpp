// The feasibility map on the floor of the 3-D scene, drawn on the private X server and read
// back: each cell in its class colour blended over what lies below, nothing out of reach,
// Method B's mark, the height above the floor, and the state left as the scene expects.
#include "render/map_overlay.h"

#include <cmath>

#include "map_test_maps.h"
#include "render/draw_primitives.h"
#include "support.h"
#include "xvfb_display.h"

namespace {

// The floor seen from above: model (x, y) in [-4, 4]^2 fills the 600 x 600 window, 75 pixels a
// unit; larger z is nearer the viewer.
void look_down_at_floor() {
  ensure_test_window();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glOrtho(-4, 4, -4, 4, -1, 1);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
}

Pixel pixel_of(double x, double y, int dx = 0, int dy = 0) {
  return read_pixel(static_cast<int>(std::floor((x + 4) * 75)) + dx,
                    static_cast<int>(std::floor((y + 4) * 75)) + dy);
}

// A class's colour at the floor's opacity over the background bg (0..255).
::testing::AssertionResult blended(const Pixel& p, MapClass cls, const int bg[3]) {
  float colour[4];
  map_floor_colour(cls, colour);
  const int got[3] = {p.r, p.g, p.b};
  for (int c = 0; c < 3; c++) {
    const double expected = colour[c] * 255 * colour[3] + bg[c] * (1 - colour[3]);
    if (std::fabs(got[c] - expected) > 2.5)
      return ::testing::AssertionFailure() << map_class_name(cls) << ": channel " << c << " is "
                                           << got[c] << ", expected " << expected;
  }
  return ::testing::AssertionSuccess();
}

const int kWhite[3] = {255, 255, 255};

// On a white floor: each class's cell blended in its colour at a known pixel, out of reach
// left white, the mark black at a marked cell's centre only.
TEST(MapFloor, CellsInTheirColoursAtKnownPixels) {
  look_down_at_floor();
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const FeasibilityMap map = made_up_map(1, 1.3, 0.5);
  draw_map_floor(map);
  glFinish();
  EXPECT_TRUE(blended(pixel_of(1.5, 1.0), kMapTouch, kWhite));
  EXPECT_TRUE(blended(pixel_of(-1.5, 0.5), kMapBlocked, kWhite));
  EXPECT_TRUE(blended(pixel_of(-2.0, -1.0), kMapClear, kWhite));
  EXPECT_TRUE(blended(pixel_of(1.5, -1.5), kMapTouch, kWhite));  // column 9: not marked
  EXPECT_TRUE(is_white(pixel_of(2.5, 2.5)));                     // out of reach
  EXPECT_TRUE(is_white(pixel_of(-3.8, 0)));                      // off the grid
  // Column 8 is marked: black at the centre, the cell's colour 6 pixels away.
  EXPECT_TRUE(is_dark(pixel_of(1.0, -1.5)));
  EXPECT_TRUE(blended(pixel_of(1.0, -1.5, 6, 6), kMapTouch, kWhite));
  // Blending, lighting and depth writes as the scene expects them afterwards.
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);
  GLfloat pointSize = 0;
  glGetFloatv(GL_POINT_SIZE, &pointSize);
  EXPECT_EQ(pointSize, 1.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Just above the floor: drawn over an opaque floor at z = 0, hidden under anything 0.01 above
// it (a workpiece, the robot's base), and it hides nothing drawn later.
TEST(MapFloor, JustAboveTheFloor) {
  look_down_at_floor();
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  const Vec3 floor[4] = {{-4, -4, 0}, {4, -4, 0}, {4, 4, 0}, {-4, 4, 0}};
  draw_quad(floor, grey);
  const float black[4] = {0, 0, 0, 1};
  const Vec3 above[4] = {{1, 0.5, 0.01}, {2, 0.5, 0.01}, {2, 1.5, 0.01}, {1, 1.5, 0.01}};
  draw_quad(above, black);
  const FeasibilityMap map = made_up_map(1, 1.3, 0.5);
  draw_map_floor(map);
  const Vec3 later[4] = {{-2, 0.5, 0.002}, {-1, 0.5, 0.002}, {-1, 1.5, 0.002}, {-2, 1.5, 0.002}};
  draw_quad(later, black);
  glFinish();
  const int grey255[3] = {128, 128, 128};
  EXPECT_TRUE(blended(pixel_of(0.5, 0.5), kMapTouch, grey255));
  EXPECT_TRUE(is_dark(pixel_of(1.5, 1.0)));   // under the thing above the floor
  EXPECT_TRUE(is_dark(pixel_of(-1.5, 1.0)));  // the quad drawn later at 0.002 is not hidden
  EXPECT_GT(kMapFloorHeight, 0);
  EXPECT_LT(kMapFloorHeight, 0.01);
}

// A map whose cell list does not match its grid draws nothing.
TEST(MapFloor, InconsistentMapDrawsNothing) {
  look_down_at_floor();
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  FeasibilityMap map = made_up_map(1, 1.3, 0.5);
  map.cells.pop_back();
  draw_map_floor(map);
  glFinish();
  EXPECT_TRUE(is_white(pixel_of(1.5, 1.0)));
}

// The window's legend: a white panel with a grey frame of map_floor_legend_size at the given
// corner, the swatches of the cell entries as the floor shows their classes (out of reach
// left bare, Method B's mark on its swatch), the names in black; and every state it touches as
// it found it (matrices and mode, colour, lighting, depth test, blending, point size).
TEST(MapFloor, LegendPanelAndStateLeftAsFound) {
  ensure_test_window();
  glClearColor(0, 0, 0, 1);  // black around the panel
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotated(30, 1, 0, 0);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
  glPointSize(1.0f);
  GLdouble before[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, before);

  draw_map_floor_legend(100, 50);
  glFinish();

  int width, height;
  map_floor_legend_size(width, height);
  EXPECT_EQ(height, 2 * kMapFloorLegendPad + 7 * kMapFloorLegendRow);
  EXPECT_GT(width, 150);
  EXPECT_TRUE(is_dark(read_pixel(99, 50)));
  EXPECT_TRUE(is_dark(read_pixel(100 + width, 50 + height)));
  EXPECT_FALSE(is_dark(read_pixel(100, 50)));  // the frame
  EXPECT_TRUE(is_white(read_pixel(102, 52)));
  int row = 0;
  for (const MapLegendEntry& entry : kMapLegend) {
    if (!entry.cellEntry) continue;
    int x, y;
    map_floor_legend_swatch(++row, x, y);
    const Pixel inside = read_pixel(100 + x + 2, 50 + y + 2);
    if (map_floor_draws(entry.cls))
      EXPECT_TRUE(blended(inside, entry.cls, kWhite)) << entry.name;
    else
      EXPECT_TRUE(is_white(inside)) << entry.name;
    EXPECT_EQ(is_dark(read_pixel(100 + x + kMapFloorSwatch / 2, 50 + y + kMapFloorSwatch / 2)),
              entry.symbol == kMapLegendMethodB)
        << entry.name;
    EXPECT_TRUE(is_dark(read_pixel(100 + x, 50 + y))) << entry.name;  // the outline
  }
  EXPECT_EQ(row, 6);

  GLdouble after[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, after);
  for (int k = 0; k < 16; k++) EXPECT_EQ(after[k], before[k]) << k;
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  GLfloat colour[4], pointSize = 0;
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[2], 0.3f);
  glGetFloatv(GL_POINT_SIZE, &pointSize);
  EXPECT_EQ(pointSize, 1.0f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glClearColor(1, 1, 1, 1);
}

}  // namespace
