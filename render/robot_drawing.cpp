#include "render/robot_drawing.h"

#include <cmath>

#include "model/forward_kinematics.h"
#include "render/draw_primitives.h"

namespace {

const float kLinkColour[4] = {0.3f, 0.7f, 0.7f, 1.0f};
const float kTwistJointColour[4] = {0.0f, 0.0f, 0.9f, 1.0f};
const float kBendJointColour[4] = {0.9f, 0.0f, 0.0f, 1.0f};
const float kHeldWorkColour[4] = {0.0f, 0.0f, 0.9f, 1.0f};
const float kEdgeColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

constexpr double kBaseRadius = 0.15;
constexpr double kBaseHeight = 0.1;
constexpr double kJointRadius = 0.105;
constexpr double kJointLength = 0.22;
// The hand stem stops this far short of the work point, along the work's z axis.
constexpr double kStemShortfall = 0.35 / 2;

// p + s * v
Vec3 offset(const Vec3& p, double s, const Vec3& v) {
  return {p.x + s * v.x, p.y + s * v.y, p.z + s * v.z};
}

// Z-Y-Z angles of frame E.
void frame_angles(const Mat3& E, double angles[3]) {
  frame_to_zyz(frame_axis(E, 0), frame_axis(E, 1), frame_axis(E, 2), angles);
}

}  // namespace

void draw_robot(const RobotModel& robot, const double q[], Kinematics& kin) {
  const int N = robot.N;
  forward_kinematics(robot, q, kin);
  draw_base(frame_axis(robot.Erel[0], 2), kin.Jpos[0]);
  for (int i = 1; i <= N; i++) draw_link(robot.linkRadius, kin.Jpos[i - 1], kin.Jpos[i]);
  const Vec3 stemEnd = offset(kin.rw, -kStemShortfall, frame_axis(kin.Ew, 2));
  draw_link(robot.linkRadius, kin.Jpos[N], stemEnd);
  for (int i = 1; i <= N - 3; i++) draw_joint(robot.jointAxisLetter[i], kin.E[i], kin.Jpos[i]);
  // The wrist: its middle joint last.
  const int wrist[3] = {N - 2, N, N - 1};
  for (int i : wrist) draw_joint(robot.jointAxisLetter[i], kin.E[i], kin.Jpos[i]);
  draw_hand_work(robot, kin.Ew, kin.rw);
}

void draw_base(const Vec3& axis, const Vec3& p) {
  const Vec3 v = {kBaseHeight * axis.x, kBaseHeight * axis.y, kBaseHeight * axis.z};
  Vec3 top;
  vadd(p, v, top);
  draw_cylinder(p, top, kBaseRadius, kLinkColour);
  const double angles[3] = {std::atan2(v.y, v.x), std::atan2(std::sqrt(v.x * v.x + v.y * v.y), v.z),
                            0};
  draw_disc(angles, p, kBaseRadius, kLinkColour);
  draw_disc(angles, top, kBaseRadius, kLinkColour);
}

void draw_link(double radius, const Vec3& a, const Vec3& b) {
  draw_cylinder(a, b, radius, kLinkColour);
  draw_sphere(b, radius, kLinkColour);
}

void draw_joint(char letter, const Mat3& Ej, const Vec3& p) {
  double angles[3];
  frame_angles(Ej, angles);
  const Vec3 ez = frame_axis(Ej, 2);
  const Vec3 a = offset(p, -kJointLength / 2, ez);
  const Vec3 b = offset(p, kJointLength / 2, ez);
  const float* colour = letter == 'R' ? kTwistJointColour : kBendJointColour;
  draw_cylinder(a, b, kJointRadius, colour);
  draw_disc(angles, a, kJointRadius, colour);
  draw_disc(angles, b, kJointRadius, colour);
}

void draw_hand_work(const RobotModel& robot, const Mat3& Ew, const Vec3& rw) {
  double angles[3];
  frame_angles(Ew, angles);
  const double* size = robot.workSize;
  draw_work_box(angles, rw, size[0], size[1], size[2], rw, robot.workHoleRadius, kHeldWorkColour);
  draw_wire_box(angles, rw, size[0], size[1], size[2], kEdgeColour);
}
