// Drawing primitives shared by the scene and the robot: lit solids, unlit quads and lines, and
// the workpiece box. Every model point, radius and length passes through draw_scale on its way
// to OpenGL. Colours are RGBA; lit shapes take theirs as the front material.
#pragma once

#include "math/vecmat.h"

// Model length to drawing length: x * 300 / 300.
double draw_scale(double x);

// Axis j (0 = x, 1 = y, 2 = z) of frame E: its column j.
Vec3 frame_axis(const Mat3& E, int j);

// Z-Y-Z angles (radians) of the frame whose axes are ex, ey, ez, into angles: phi about z, theta
// about y, psi about z. A vertical z axis gives phi = 0 and puts the whole turn into psi.
// Returns 1.
void frame_to_zyz(const Vec3& ex, const Vec3& ey, const Vec3& ez, double angles[3]);

// Lit sphere of radius r around centre.
void draw_sphere(const Vec3& centre, double r, const float colour[4]);
// Lit flat 50-gon of radius r around centre in the plane z = 0 of the frame turned by angles[0]
// about z and angles[1] about y; its normal is that frame's +z.
void draw_disc(const double angles[3], const Vec3& centre, double r, const float colour[4]);
// Lit tube of radius r from a to b with a disc at each end; a = b gives a tube of length 0.
void draw_cylinder(const Vec3& a, const Vec3& b, double r, const float colour[4]);

// Unlit filled quadrilateral through the corners in order.
void draw_quad(const Vec3 corners[4], const float colour[4]);
// Unlit closed outline through the corners, line width 2.
void draw_quad_outline(const Vec3 corners[4], const float colour[4]);
// Blended quad and outline that write no depth, so what lies behind stays visible (the wall).
// Leaves blending off and depth writes on.
void draw_translucent_quad(const Vec3 corners[4], const float colour[4]);

// Unlit 12 edges of an a x b x c box centred on centre and turned by the Z-Y-Z angles.
void draw_wire_box(const double angles[3], const Vec3& centre, double a, double b, double c,
                   const float colour[4]);
// Fills a convex face lying in a plane x = constant except for a disc of radius t around
// holeCentre, with the current colour or material. Each corner must turn the edge direction by
// at least 2 pi / 50 (true for rectangles).
void draw_holed_face(const Vec3 corners[4], const Vec3& holeCentre, double t);
// Lit solid a x b x c box centred on centre and turned by the Z-Y-Z angles; its two x faces
// have holes of radius t around holeRef's offset from centre moved onto each face. No normals
// are issued: the faces take the current normal.
void draw_work_box(const double angles[3], const Vec3& centre, double a, double b, double c,
                   const Vec3& holeRef, double t, const float colour[4]);
// Lit solid box of full sides size[0..2] along the columns of R (its axes in the current frame),
// centred on centre, each face with its outward normal, and its 12 edges unlit in edgeColour.
void draw_solid_box(const Mat3& R, const Vec3& centre, const double size[3], const float colour[4],
                    const float edgeColour[4]);
