#include "render/scene_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "render/draw_primitives.h"
#include "render/map_overlay.h"
#include "render/robot_drawing.h"
#include "render/scene_drawing.h"

namespace {

// The camera's field of view across the picture's narrower side, degrees.
constexpr double kFieldOfView = 30.0;

// Camera: distance, azimuth (radians) and height of the eye, looking at the origin, z up.
constexpr double kEyeDistance = 14.0;
constexpr double kEyeAzimuth = 0.2;
constexpr double kEyeHeight = 8.0;

const float kLightPosition[4] = {4.0f, 0.0f, 4.0f, 0.5f};
const float kLightAmbient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
const float kLightDiffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float kLightSpecular[4] = {0.7f, 0.7f, 0.7f, 1.0f};
const float kWallColour[4] = {1.0f, 0.0f, 0.0f, 0.8f};

}  // namespace

void set_scene_camera(int width, int height) {
  const double aspect = width > 0 && height > 0 ? static_cast<double>(width) / height : 1.0;
  const double fovy = aspect >= 1
                          ? kFieldOfView
                          : 2 * std::atan(std::tan(kFieldOfView * PI / 360) / aspect) * 180 / PI;
  glLoadIdentity();
  gluPerspective(fovy, aspect, 1.0, 100.0);
  gluLookAt(kEyeDistance * std::cos(kEyeAzimuth), kEyeDistance * std::sin(kEyeAzimuth), kEyeHeight,
            0, 0, 0, 0, 0, 1);
  glEnable(GL_LIGHTING);
  glLightfv(GL_LIGHT0, GL_POSITION, kLightPosition);
  glLightfv(GL_LIGHT0, GL_AMBIENT, kLightAmbient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, kLightDiffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, kLightSpecular);
  glEnable(GL_LIGHT0);
  glEnable(GL_DEPTH_TEST);
  // The perspective sits on the modelview matrix and scales every normal with it; renormalised,
  // the lit colours keep their shade instead of washing out to white.
  glEnable(GL_NORMALIZE);
}

void draw_scene_floor(const double viewRot[3], const double viewShift[3]) {
  view_transform(viewRot[0], viewRot[1], viewRot[2], viewShift[0], viewShift[1], viewShift[2]);
  draw_axes();
  draw_grid(50, 1.0, 1.0);
}

void draw_scene_objects(const RobotModel& robot, const double q[], Kinematics& kin,
                        const Workcell& cell, const FeasibilityMap* map, const Vec3 wallCorner[4]) {
  draw_robot(robot, q, kin);
  draw_goal_work(robot, cell);
  draw_obstacles(cell);
  if (map != nullptr) draw_map_floor(*map);
  draw_translucent_quad(wallCorner, kWallColour);
}
