#include "render/map_overlay.h"

#include <GL/glut.h>

#include <algorithm>

#include "render/draw_primitives.h"

namespace {

void* const kLegendFont = GLUT_BITMAP_HELVETICA_12;
// The name's baseline above its row's swatch.
constexpr int kLegendBaseline = 2;
// Outline of the swatches, frame of the panel, and white.
const float kLegendOutline[3] = {0.25f, 0.25f, 0.25f};
const float kLegendFrame[3] = {0.6f, 0.6f, 0.6f};
const float kWhite[3] = {1.0f, 1.0f, 1.0f};

int text_width(const char* text) {
  return glutBitmapLength(kLegendFont, reinterpret_cast<const unsigned char*>(text));
}

void draw_text(int x, int y, const char* text) {
  glRasterPos2i(x, y);
  for (const char* c = text; *c != '\0'; c++) glutBitmapCharacter(kLegendFont, *c);
}

void fill_rect(int x0, int y0, int x1, int y1) {
  glBegin(GL_QUADS);
  glVertex2i(x0, y0);
  glVertex2i(x1, y0);
  glVertex2i(x1, y1);
  glVertex2i(x0, y1);
  glEnd();
}

// The pixels [x0, x1) x [y0, y1): a one-pixel frame in `frame` around the inside in `inside`.
void framed_rect(int x0, int y0, int x1, int y1, const float frame[3], const float inside[3]) {
  glColor3fv(frame);
  fill_rect(x0, y0, x1, y1);
  glColor3fv(inside);
  fill_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1);
}

// One entry's symbol in the swatch square at (x, y) as the floor draws it: outlined, its class's
// quad colour blended over white inside (white for a class the floor leaves out), and Method B's
// mark in the middle for its entry.
void draw_legend_symbol(const MapLegendEntry& entry, int x, int y) {
  framed_rect(x, y, x + kMapFloorSwatch, y + kMapFloorSwatch, kLegendOutline, kWhite);
  if (map_floor_draws(entry.cls)) {
    float colour[4];
    map_floor_colour(entry.cls, colour);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(colour);
    fill_rect(x + 1, y + 1, x + kMapFloorSwatch - 1, y + kMapFloorSwatch - 1);
    glDisable(GL_BLEND);
  }
  if (entry.symbol == kMapLegendNoMotion) {
    // A second, black frame just inside the outline, as the floor outlines such cells.
    const float inset = 1.5f;
    glColor3f(0, 0, 0);
    glBegin(GL_LINE_LOOP);
    glVertex2f(x + inset, y + inset);
    glVertex2f(x + kMapFloorSwatch - inset, y + inset);
    glVertex2f(x + kMapFloorSwatch - inset, y + kMapFloorSwatch - inset);
    glVertex2f(x + inset, y + kMapFloorSwatch - inset);
    glEnd();
  }
  if (entry.symbol == kMapLegendMethodB) {
    glPointSize(kMapFloorMarkSize);
    glColor3f(kMapMarkRgb[0] / 255.0f, kMapMarkRgb[1] / 255.0f, kMapMarkRgb[2] / 255.0f);
    glBegin(GL_POINTS);
    glVertex2f(x + kMapFloorSwatch / 2.0f, y + kMapFloorSwatch / 2.0f);
    glEnd();
  }
}

// Onto pushed matrices, the window's pixel frame (origin at its lower left), unlit, without
// depth test and blending; end_pixel_frame puts everything back.
void begin_pixel_frame() {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POINT_BIT |
               GL_TRANSFORM_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_POINT_SMOOTH);
}

void end_pixel_frame() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();  // the matrix mode among the rest
}

}  // namespace

void map_floor_colour(MapClass cls, float colour[4]) {
  const int k = cls >= kMapTouch && cls < kMapClassCount ? cls : kMapUnreachable;
  for (int c = 0; c < 3; c++) colour[c] = kMapClassRgb[k][c] / 255.0f;
  colour[3] = kMapFloorAlpha;
}

bool map_floor_draws(MapClass cls) {
  return cls == kMapTouch || cls == kMapClear || cls == kMapBlocked;
}

void draw_map_floor(const FeasibilityMap& map) {
  if (map.nx < 1 || map.ny < 1 ||
      map.cells.size() != static_cast<size_t>(map.nx) * static_cast<size_t>(map.ny))
    return;
  const double z = draw_scale(kMapFloorHeight);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  glBegin(GL_QUADS);
  // Each cell from the grid's edges, so neighbours share theirs exactly.
  for (int j = 0; j < map.ny; j++) {
    const double y0 = draw_scale(map.yMin + (j - 0.5) * map.step);
    const double y1 = draw_scale(map.yMin + (j + 0.5) * map.step);
    for (int i = 0; i < map.nx; i++) {
      const MapClass cls = map.cells[static_cast<size_t>(j) * map.nx + i].cls;
      if (!map_floor_draws(cls)) continue;
      const double x0 = draw_scale(map.xMin + (i - 0.5) * map.step);
      const double x1 = draw_scale(map.xMin + (i + 0.5) * map.step);
      float colour[4];
      map_floor_colour(cls, colour);
      glColor4fv(colour);
      glVertex3d(x0, y0, z);
      glVertex3d(x1, y0, z);
      glVertex3d(x1, y1, z);
      glVertex3d(x0, y1, z);
    }
  }
  glEnd();
  glDisable(GL_BLEND);
  glPointSize(kMapFloorMarkSize);
  glColor4f(kMapMarkRgb[0] / 255.0f, kMapMarkRgb[1] / 255.0f, kMapMarkRgb[2] / 255.0f, 1.0f);
  glBegin(GL_POINTS);
  for (const MapCell& c : map.cells)
    if (c.methodBFinal && map_floor_draws(c.cls)) glVertex3d(draw_scale(c.x), draw_scale(c.y), z);
  glEnd();
  glPointSize(1.0f);
  // Cells with valid poses but no collision-free motion: outlined.
  glColor4f(0, 0, 0, 1);
  glBegin(GL_LINES);
  for (const MapCell& c : map.cells) {
    if (c.motion != kMapMotionNone || !map_floor_draws(c.cls)) continue;
    const double h = 0.5 * map.step;
    const double x0 = draw_scale(c.x - h), x1 = draw_scale(c.x + h);
    const double y0 = draw_scale(c.y - h), y1 = draw_scale(c.y + h);
    const double corners[5][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    for (int k = 0; k < 4; k++) {
      glVertex3d(corners[k][0], corners[k][1], z);
      glVertex3d(corners[k + 1][0], corners[k + 1][1], z);
    }
  }
  glEnd();
  glDepthMask(GL_TRUE);
  glEnable(GL_LIGHTING);
  glFlush();
}

int map_floor_legend_rows() {
  int rows = 1;
  for (const MapLegendEntry& entry : kMapLegend) rows += entry.cellEntry;
  return rows;
}

void map_floor_legend_size(int& width, int& height) {
  int textWidth = 0;
  for (const MapLegendEntry& entry : kMapLegend)
    if (entry.cellEntry) textWidth = std::max(textWidth, text_width(entry.name));
  const int rowWidth = kMapFloorSwatch + kMapFloorSwatchGap + textWidth;
  width = 2 * kMapFloorLegendPad + std::max(rowWidth, text_width(kMapFloorLegendHeading));
  height = 2 * kMapFloorLegendPad + map_floor_legend_rows() * kMapFloorLegendRow;
}

void map_floor_legend_swatch(int row, int& x, int& y) {
  const int rows = map_floor_legend_rows();
  x = kMapFloorLegendPad;
  // Rows from the top; the swatch centred in its row.
  y = kMapFloorLegendPad + (rows - 1 - row) * kMapFloorLegendRow +
      (kMapFloorLegendRow - kMapFloorSwatch) / 2;
}

void draw_map_floor_panel(int x, int y, int w, int h) {
  begin_pixel_frame();
  framed_rect(x, y, x + w, y + h, kLegendFrame, kWhite);
  end_pixel_frame();
}

void draw_map_floor_legend(int x, int y) {
  int width, height;
  map_floor_legend_size(width, height);
  begin_pixel_frame();
  framed_rect(x, y, x + width, y + height, kLegendFrame, kWhite);
  int row = 0;
  int sx, sy;
  map_floor_legend_swatch(1, sx, sy);
  glColor3f(0, 0, 0);
  draw_text(x + kMapFloorLegendPad, y + sy + kMapFloorLegendRow + kLegendBaseline,
            kMapFloorLegendHeading);
  for (const MapLegendEntry& entry : kMapLegend) {
    if (!entry.cellEntry) continue;
    map_floor_legend_swatch(++row, sx, sy);
    draw_legend_symbol(entry, x + sx, y + sy);
    glColor3f(0, 0, 0);
    draw_text(x + sx + kMapFloorSwatch + kMapFloorSwatchGap, y + sy + kLegendBaseline, entry.name);
  }
  end_pixel_frame();
}
