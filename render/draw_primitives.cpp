#include "render/draw_primitives.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

namespace {

// pi and the number of segments of every drawn circle.
constexpr double kDrawPi = 3.1415926536;
constexpr int SEGMENTS = 50;
constexpr double kRadiansPerDegree = 0.01745329252;

double degrees(double radians) {
  return radians / kRadiansPerDegree;
}

void emit_vertex(const Vec3& p) {
  glVertex3d(draw_scale(p.x), draw_scale(p.y), draw_scale(p.z));
}

void translate_to(const Vec3& p) {
  glTranslated(draw_scale(p.x), draw_scale(p.y), draw_scale(p.z));
}

void set_material(const float colour[4]) {
  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, colour);
}

// Sines and cosines of n + 1 angles in single precision, as the sphere below takes them: k * step
// for k = 0..n-1 with step = span / n (span 2 pi for a whole turn, pi for half), the angle's
// product rounded to float before its sine; the last entry closes the circle (a whole turn: the
// first again) or ends at pi (half).
void circle_table(int n, bool half, std::vector<float>& s, std::vector<float>& c) {
  const int size = n < 0 ? -n : n;
  const float step = (half ? 1 : 2) * static_cast<float>(M_PI) / static_cast<float>(n);
  s.assign(size + 1, 0.0f);
  c.assign(size + 1, 1.0f);
  for (int k = 1; k < size; k++) {
    s[k] = static_cast<float>(std::sin(static_cast<double>(step * k)));
    c[k] = static_cast<float>(std::cos(static_cast<double>(step * k)));
  }
  s[size] = half ? 0.0f : s[0];
  c[size] = half ? -1.0f : c[0];
}

// A solid sphere of radius r about the origin in `slices` around z and `stacks` from +z to -z:
// the top and bottom points and the rings between, in single precision, drawn stack by stack as
// triangle strips from vertex arrays. The tessellation, vertex order and precision are those of
// the window toolkit's glutSolidSphere, so the pictures are the same, yet it needs no toolkit
// (an offscreen context has none). Leaves the vertex and normal arrays disabled.
void solid_sphere(float r, int slices, int stacks) {
  std::vector<float> s1, c1, s2, c2;
  circle_table(-slices, false, s1, c1);
  circle_table(stacks, true, s2, c2);
  const int n = slices * (stacks - 1) + 2;
  std::vector<float> vertices(3 * n), normals(3 * n);
  normals[2] = 1.0f;
  vertices[2] = r;
  int at = 3;
  for (int i = 1; i < stacks; i++)
    for (int j = 0; j < slices; j++, at += 3) {
      const float x = c1[j] * s2[i], y = s1[j] * s2[i], z = c2[i];
      vertices[at] = x * r;
      vertices[at + 1] = y * r;
      vertices[at + 2] = z * r;
      normals[at] = x;
      normals[at + 1] = y;
      normals[at + 2] = z;
    }
  vertices[at + 2] = -r;
  normals[at + 2] = -1.0f;
  // Each stack one strip of (slices + 1) pairs, the first pair repeated to close it.
  const int perStrip = 2 * (slices + 1);
  std::vector<GLushort> strips(static_cast<size_t>(perStrip) * stacks);
  size_t k = 0;
  for (int j = 0; j <= slices; j++) {
    strips[k++] = static_cast<GLushort>(1 + j % slices);
    strips[k++] = 0;
  }
  for (int i = 0; i < stacks - 2; i++) {
    const int first = 1 + i * slices;
    for (int j = 0; j <= slices; j++) {
      strips[k++] = static_cast<GLushort>(first + j % slices + slices);
      strips[k++] = static_cast<GLushort>(first + j % slices);
    }
  }
  const int last = 1 + (stacks - 2) * slices;
  for (int j = 0; j <= slices; j++) {
    strips[k++] = static_cast<GLushort>(n - 1);
    strips[k++] = static_cast<GLushort>(last + j % slices);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices.data());
  glNormalPointer(GL_FLOAT, 0, normals.data());
  for (int i = 0; i < stacks; i++)
    glDrawElements(GL_TRIANGLE_STRIP, perStrip, GL_UNSIGNED_SHORT, &strips[i * perStrip]);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
}

// Turns the current frame by the Z-Y-Z angles.
void rotate_zyz(const double angles[3]) {
  glRotated(degrees(angles[0]), 0, 0, 1);
  glRotated(degrees(angles[1]), 0, 1, 0);
  glRotated(degrees(angles[2]), 0, 0, 1);
}

// Corner k of an a x b x c box centred on its own origin, numbered as V0..V7: the lower face
// counter-clockwise from (-a/2, -b/2), then the upper face above it.
Vec3 box_corner(int k, double a, double b, double c) {
  const double sx[8] = {-1, 1, 1, -1, -1, 1, 1, -1};
  const double sy[8] = {-1, -1, 1, 1, -1, -1, 1, 1};
  const double sz[8] = {-1, -1, -1, -1, 1, 1, 1, 1};
  return {sx[k] * a / 2, sy[k] * b / 2, sz[k] * c / 2};
}

// The six faces of a box as corner numbers (box_corner), counter-clockwise seen from outside.
const int kBoxFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
const int kBoxEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                              {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
// Outward normals of kBoxFaces, in the box's frame.
const double kBoxNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0},
                                  {1, 0, 0},  {0, 1, 0}, {-1, 0, 0}};

// Turns and moves the current frame onto the frame of axes R's columns at origin centre.
void multiply_frame(const Mat3& R, const Vec3& centre) {
  // OpenGL's matrices are column-major: element (row i, column j) is M[4 * j + i].
  GLdouble M[16] = {};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) M[4 * j + i] = R.m[3 * i + j];
  M[12] = draw_scale(centre.x);
  M[13] = draw_scale(centre.y);
  M[14] = draw_scale(centre.z);
  M[15] = 1;
  glMultMatrixd(M);
}

// Point at angle alpha on the circle of radius t around centre in the plane x = centre.x.
Vec3 circle_point(const Vec3& centre, double t, double alpha) {
  return {centre.x, centre.y + t * std::cos(alpha), centre.z + t * std::sin(alpha)};
}

}  // namespace

double draw_scale(double x) {
  return x * 300.0 / 300.0;
}

Vec3 frame_axis(const Mat3& E, int j) {
  return {E.m[j], E.m[3 + j], E.m[6 + j]};
}

void frame_to_zyz(const Vec3& ex, const Vec3& ey, const Vec3& ez, double angles[3]) {
  const double s = std::sqrt(ez.x * ez.x + ez.y * ez.y);
  if (s > 1e-6) {
    angles[0] = std::atan2(ez.y, ez.x);
    angles[1] = std::atan2(s, ez.z);
    angles[2] = std::atan2(ey.z, -ex.z);
  } else {
    // z axis vertical: phi is free, the frame's turn about z goes into psi.
    angles[0] = 0;
    angles[1] = (1 - ez.z) * 1.5707963267949;
    angles[2] = std::atan2(ex.y, ey.y);
  }
}

void draw_sphere(const Vec3& centre, double r, const float colour[4]) {
  set_material(colour);
  glPushMatrix();
  translate_to(centre);
  solid_sphere(static_cast<float>(draw_scale(r)), 20, 20);
  glPopMatrix();
}

void draw_disc(const double angles[3], const Vec3& centre, double r, const float colour[4]) {
  const double step = 2 * kDrawPi / SEGMENTS;
  set_material(colour);
  glPushMatrix();
  translate_to(centre);
  glRotated(degrees(angles[0]), 0, 0, 1);
  glRotated(degrees(angles[1]), 0, 1, 0);
  glNormal3d(0, 0, 1);
  glBegin(GL_POLYGON);
  for (int k = 0; k < SEGMENTS; k++)
    emit_vertex({r * std::cos(k * step), r * std::sin(k * step), 0});
  glEnd();
  glPopMatrix();
}

void draw_cylinder(const Vec3& a, const Vec3& b, double r, const float colour[4]) {
  Vec3 d;
  vsub(b, a, d);
  const double H = vnorm(d);
  const double angles[3] = {std::atan2(d.y, d.x), std::atan2(std::sqrt(d.x * d.x + d.y * d.y), d.z),
                            0};
  const double step = 2 * kDrawPi / SEGMENTS;
  set_material(colour);
  glPushMatrix();
  translate_to(a);
  // yaw about z, then pitch about y, turns +z onto a -> b
  glRotated(degrees(angles[0]), 0, 0, 1);
  glRotated(degrees(angles[1]), 0, 1, 0);
  glBegin(GL_QUAD_STRIP);
  for (int k = 0; k <= SEGMENTS; k++) {
    const double c = std::cos(k * step), s = std::sin(k * step);
    glNormal3d(c, s, 0);
    emit_vertex({r * c, r * s, 0});
    emit_vertex({r * c, r * s, H});
  }
  glEnd();
  glPopMatrix();
  draw_disc(angles, a, r, colour);
  draw_disc(angles, b, r, colour);
}

void draw_quad(const Vec3 corners[4], const float colour[4]) {
  glDisable(GL_LIGHTING);
  glColor4fv(colour);
  glBegin(GL_QUADS);
  for (int k = 0; k < 4; k++) emit_vertex(corners[k]);
  glEnd();
  glEnable(GL_LIGHTING);
  glFlush();
}

void draw_quad_outline(const Vec3 corners[4], const float colour[4]) {
  glDisable(GL_LIGHTING);
  glColor4fv(colour);
  glLineWidth(2);
  glBegin(GL_LINE_LOOP);
  for (int k = 0; k < 4; k++) emit_vertex(corners[k]);
  glEnd();
  glEnable(GL_LIGHTING);
  glFlush();
}

void draw_translucent_quad(const Vec3 corners[4], const float colour[4]) {
  glEnable(GL_BLEND);
  glDepthMask(GL_FALSE);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  draw_quad(corners, colour);
  draw_quad_outline(corners, colour);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
}

void draw_wire_box(const double angles[3], const Vec3& centre, double a, double b, double c,
                   const float colour[4]) {
  glDisable(GL_LIGHTING);
  glColor4fv(colour);
  glLineWidth(2);
  glPushMatrix();
  translate_to(centre);
  rotate_zyz(angles);
  glBegin(GL_LINES);
  for (const auto& edge : kBoxEdges) {
    emit_vertex(box_corner(edge[0], a, b, c));
    emit_vertex(box_corner(edge[1], a, b, c));
  }
  glEnd();
  glPopMatrix();
  glEnable(GL_LIGHTING);
}

void draw_holed_face(const Vec3 corners[4], const Vec3& holeCentre, double t) {
  // alpha[k]: direction from the hole centre towards edge k (corner k to corner k + 1).
  double alpha[4];
  for (int k = 0; k < 4; k++) {
    const Vec3& c0 = corners[k];
    const Vec3& c1 = corners[(k + 1) % 4];
    alpha[k] = std::atan2(c1.y - c0.y, c0.z - c1.z);
    if (alpha[k] < 0) alpha[k] += 2 * kDrawPi;
  }
  // The strip between each edge and the hole's nearest point...
  glBegin(GL_TRIANGLES);
  for (int k = 0; k < 4; k++) {
    emit_vertex(corners[(k + 1) % 4]);
    emit_vertex(corners[k]);
    emit_vertex(circle_point(holeCentre, t, alpha[k]));
  }
  glEnd();
  // ...and a fan from each corner along the arc between its two edges' nearest points.
  for (int k = 0; k < 4; k++) {
    double turn = alpha[(k + 1) % 4] - alpha[k];
    if (turn > kDrawPi) turn -= 2 * kDrawPi;
    if (turn < -kDrawPi) turn += 2 * kDrawPi;
    const int n = static_cast<int>(std::fabs(turn / (2 * kDrawPi / SEGMENTS)));
    const double delta = turn / n;
    glBegin(GL_TRIANGLE_FAN);
    emit_vertex(corners[(k + 1) % 4]);
    for (int j = 0; j <= n; j++) emit_vertex(circle_point(holeCentre, t, alpha[k] + j * delta));
    glEnd();
  }
}

void draw_work_box(const double angles[3], const Vec3& centre, double a, double b, double c,
                   const Vec3& holeRef, double t, const float colour[4]) {
  static const int kFaces[6][4] = {{0, 1, 2, 3}, {1, 5, 6, 2}, {5, 4, 7, 6},
                                   {0, 4, 7, 3}, {4, 5, 1, 0}, {3, 2, 6, 7}};
  Vec3 d;
  vsub(holeRef, centre, d);
  set_material(colour);
  glPushMatrix();
  translate_to(centre);
  rotate_zyz(angles);
  for (int f = 0; f < 6; f++) {
    Vec3 face[4];
    for (int k = 0; k < 4; k++) face[k] = box_corner(kFaces[f][k], a, b, c);
    if (f == 1) {
      draw_holed_face(face, {d.x + a / 2, d.y, d.z}, t);
    } else if (f == 3) {
      draw_holed_face(face, {d.x - a / 2, d.y, d.z}, t);
    } else {
      glBegin(GL_QUADS);
      for (int k = 0; k < 4; k++) emit_vertex(face[k]);
      glEnd();
    }
  }
  glPopMatrix();
  glFlush();
}

void draw_solid_box(const Mat3& R, const Vec3& centre, const double size[3], const float colour[4],
                    const float edgeColour[4]) {
  const double a = size[0], b = size[1], c = size[2];
  set_material(colour);
  glPushMatrix();
  multiply_frame(R, centre);
  glBegin(GL_QUADS);
  for (int f = 0; f < 6; f++) {
    glNormal3dv(kBoxNormals[f]);
    for (int k = 0; k < 4; k++) emit_vertex(box_corner(kBoxFaces[f][k], a, b, c));
  }
  glEnd();
  glDisable(GL_LIGHTING);
  glColor4fv(edgeColour);
  glLineWidth(2);
  glBegin(GL_LINES);
  for (const auto& edge : kBoxEdges) {
    emit_vertex(box_corner(edge[0], a, b, c));
    emit_vertex(box_corner(edge[1], a, b, c));
  }
  glEnd();
  glEnable(GL_LIGHTING);
  glPopMatrix();
  glFlush();
}
