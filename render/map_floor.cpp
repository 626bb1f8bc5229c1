#include "render/map_floor.h"

#include <GL/gl.h>

#include "render/draw_primitives.h"

void map_floor_colour(MapClass cls, float colour[4]) {
  const int k = cls >= kMapTouch && cls < kMapClassCount ? cls : kMapUnreachable;
  for (int c = 0; c < 3; c++) colour[c] = kMapClassRgb[k][c] / 255.0f;
  colour[3] = kMapFloorAlpha;
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
      if (cls == kMapUnreachable || cls == kMapPending) continue;
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
    if (c.methodBFinal && c.cls != kMapUnreachable && c.cls != kMapPending)
      glVertex3d(draw_scale(c.x), draw_scale(c.y), z);
  glEnd();
  glPointSize(1.0f);
  glDepthMask(GL_TRUE);
  glEnable(GL_LIGHTING);
  glFlush();
}
