#include "render/scene_drawing.h"

#include <GL/gl.h>

#include "render/draw_primitives.h"

namespace {

// Axes and grid: drawn unlit with blending off, so the zero alpha does not show.
const float kLineColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
const float kGoalWorkColour[4] = {1.0f, 0.5f, 0.5f, 1.0f};
const float kEdgeColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

// Length of the drawn axes and half-length of the grid lines, in drawing units.
constexpr double kAxisLength = 10;
constexpr double kGridHalfLength = 50;

}  // namespace

void view_transform(double rotX, double rotY, double rotZ, double trX, double trY, double trZ) {
  glRotated(rotX, 1, 0, 0);
  glRotated(rotY, 0, 1, 0);
  glRotated(rotZ, 0, 0, 1);
  glTranslated(trX, trY, trZ);
}

void draw_axes() {
  glDisable(GL_LIGHTING);
  glLineWidth(2);
  glColor4fv(kLineColour);
  glBegin(GL_LINES);
  glVertex3d(0, 0, 0);
  glVertex3d(kAxisLength, 0, 0);
  glVertex3d(0, 0, 0);
  glVertex3d(0, kAxisLength, 0);
  glVertex3d(0, 0, 0);
  glVertex3d(0, 0, kAxisLength);
  glEnd();
  glEnable(GL_LIGHTING);
  glFlush();
}

void draw_grid(int n, double dx, double dy) {
  glDisable(GL_LIGHTING);
  glColor4fv(kLineColour);
  glLineWidth(1);
  for (int i = -n; i <= n; i++) {
    glBegin(GL_LINES);
    glVertex3d(draw_scale(i * dx), -kGridHalfLength, 0);
    glVertex3d(draw_scale(i * dx), kGridHalfLength, 0);
    glEnd();
  }
  for (int i = -n; i <= n; i++) {
    glBegin(GL_LINES);
    glVertex3d(-kGridHalfLength, draw_scale(i * dy), 0);
    glVertex3d(kGridHalfLength, draw_scale(i * dy), 0);
    glEnd();
  }
  glEnable(GL_LIGHTING);
  glFlush();
}

void draw_goal_work(const RobotModel& robot, const Workcell& cell) {
  const Mat3& E = cell.EwG;
  double angles[3];
  frame_to_zyz(frame_axis(E, 0), frame_axis(E, 1), frame_axis(E, 2), angles);
  const double* size = robot.workSize;
  draw_work_box(angles, cell.rwG, size[0], size[1], size[2], cell.rwG, robot.workHoleRadius,
                kGoalWorkColour);
  draw_wire_box(angles, cell.rwG, size[0], size[1], size[2], kEdgeColour);
}

void draw_obstacles(const Workcell& cell) {
  for (int k = 0; k < cell.obstacleCount && k < kMaxObstacles; k++) {
    const Obstacle& box = cell.obstacles[k];
    draw_solid_box(box.R, box.centre, box.size, kBoxColour, kEdgeColour);
  }
}
