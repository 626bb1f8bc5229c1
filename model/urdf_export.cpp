#include "model/urdf_export.h"

#include <cmath>
#include <cstring>

#include "math/number_text.h"
#include "model/joint_names.h"
#include "model/scene_defaults.h"

namespace {

const char kHandName[] = "hand";
const char kWorkpieceName[] = "workpiece";

// The colours the window draws with: links, the held workpiece, the wall; the floor light grey.
const char kMaterials[] =
    "  <material name=\"link\"><color rgba=\"0.3 0.7 0.7 1\"/></material>\n"
    "  <material name=\"workpiece\"><color rgba=\"0 0 0.9 1\"/></material>\n";
const char kSceneMaterials[] =
    "  <material name=\"wall\"><color rgba=\"1 0 0 0.8\"/></material>\n"
    "  <material name=\"floor\"><color rgba=\"0.85 0.85 0.85 1\"/></material>\n";
const char kBoxMaterial[] =
    "  <material name=\"box\"><color rgba=\"0.8 0.475 0.655 1\"/></material>\n";

// The links of the robot and of the scene, which no box may be named as.
const char* const kSceneLinkNames[] = {"hand", "workpiece", "wall", "floor"};

// A rotation as URDF's roll, pitch, yaw: R = Rz(yaw) Ry(pitch) Rx(roll).
struct Rpy {
  double roll, pitch, yaw;
};

// One shape of a link, in the link's frame, written as a visual and as a collision.
struct Shape {
  enum Kind { kCylinder, kSphere, kBox } kind;
  Vec3 xyz;        // the shape's centre
  Rpy rpy;         // its orientation (a cylinder's axis is its z axis)
  double size[3];  // cylinder: radius, length; sphere: radius; box: x, y, z sides
  const char* material;
};

// A number as the URDF writes it: 17 significant digits in the C locale.
void append_round_trip(std::string& text, double value) {
  append_number(text, value, 17);
}

void append_numbers(std::string& text, double a, double b, double c) {
  append_round_trip(text, a);
  text += ' ';
  append_round_trip(text, b);
  text += ' ';
  append_round_trip(text, c);
}

void append_vector(std::string& text, const Vec3& v) {
  append_numbers(text, v.x, v.y, v.z);
}

// Text for an XML attribute value.
void append_escaped(std::string& text, const char* value) {
  for (const char* c = value; *c != '\0'; c++) {
    switch (*c) {
      case '&':
        text += "&amp;";
        break;
      case '<':
        text += "&lt;";
        break;
      case '>':
        text += "&gt;";
        break;
      case '"':
        text += "&quot;";
        break;
      case '\'':
        text += "&apos;";
        break;
      default:
        text += *c;
    }
  }
}

void append_origin(std::string& text, const char* indent, const Vec3& xyz, const Rpy& rpy) {
  text += indent;
  text += "<origin xyz=\"";
  append_vector(text, xyz);
  text += "\" rpy=\"";
  append_numbers(text, rpy.roll, rpy.pitch, rpy.yaw);
  text += "\"/>\n";
}

// Roll, pitch and yaw of a rotation matrix (the convention of URDF and of KDL's GetRPY). The yaw
// comes from the first column; roll and pitch from R turned back by that yaw, so that the three
// angles rebuild R to rounding also near pitch +-pi/2, where the first column's x and y are
// small and carry the matrix's rounding, and the yaw alone is ill-defined. When they are both
// zero (pitch +-pi/2 exactly) the roll is 0 and the yaw takes the whole turn.
Rpy rpy_of(const Mat3& R) {
  const double* m = R.m;
  Rpy rpy;
  rpy.yaw = m[0] == 0 && m[3] == 0 ? std::atan2(-m[1], m[4]) : std::atan2(m[3], m[0]);
  const double c = std::cos(rpy.yaw), s = std::sin(rpy.yaw);
  // Rz(yaw)^T R = Ry(pitch) Rx(roll): its second row is (0, cos roll, -sin roll), its first
  // column (cos pitch, 0, -sin pitch).
  rpy.roll = std::atan2(s * m[2] - c * m[5], c * m[4] - s * m[1]);
  rpy.pitch = std::atan2(-m[6], c * m[0] + s * m[3]);
  return rpy;
}

// A cylinder of the given radius from a to b (a != b), both in the link's frame.
Shape tube(const Vec3& a, const Vec3& b, double radius) {
  Vec3 d;
  vsub(b, a, d);
  const double length = vnorm(d);
  Shape s;
  s.kind = Shape::kCylinder;
  s.xyz = {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
  // Rz(yaw) Ry(pitch) carries the cylinder's z axis onto d.
  s.rpy = {0, std::atan2(std::sqrt(d.x * d.x + d.y * d.y), d.z), std::atan2(d.y, d.x)};
  s.size[0] = radius;
  s.size[1] = length;
  s.size[2] = 0;
  s.material = "link";
  return s;
}

Shape ball(double radius) {
  Shape s;
  s.kind = Shape::kSphere;
  s.xyz = {0, 0, 0};
  s.rpy = {0, 0, 0};
  s.size[0] = radius;
  s.size[1] = s.size[2] = 0;
  s.material = "link";
  return s;
}

Shape box(const Vec3& centre, const Vec3& size, const char* material) {
  Shape s;
  s.kind = Shape::kBox;
  s.xyz = centre;
  s.rpy = {0, 0, 0};
  s.size[0] = size.x;
  s.size[1] = size.y;
  s.size[2] = size.z;
  s.material = material;
  return s;
}

void append_geometry(std::string& text, const Shape& s) {
  text += "      <geometry>";
  switch (s.kind) {
    case Shape::kCylinder:
      text += "<cylinder radius=\"";
      append_round_trip(text, s.size[0]);
      text += "\" length=\"";
      append_round_trip(text, s.size[1]);
      text += "\"/>";
      break;
    case Shape::kSphere:
      text += "<sphere radius=\"";
      append_round_trip(text, s.size[0]);
      text += "\"/>";
      break;
    case Shape::kBox:
      text += "<box size=\"";
      append_numbers(text, s.size[0], s.size[1], s.size[2]);
      text += "\"/>";
      break;
  }
  text += "</geometry>\n";
}

void append_link(std::string& text, const char* name, const Shape shapes[], int count) {
  text += "  <link name=\"";
  text += name;
  text += "\">\n";
  for (int k = 0; k < count; k++) {
    text += "    <visual>\n";
    append_origin(text, "      ", shapes[k].xyz, shapes[k].rpy);
    append_geometry(text, shapes[k]);
    text += "      <material name=\"";
    text += shapes[k].material;
    text += "\"/>\n    </visual>\n";
    text += "    <collision>\n";
    append_origin(text, "      ", shapes[k].xyz, shapes[k].rpy);
    append_geometry(text, shapes[k]);
    text += "    </collision>\n";
  }
  text += "  </link>\n";
}

// A joint; axis is null for a fixed joint.
void append_joint(std::string& text, const char* name, const char* parent, const char* child,
                  const Vec3& xyz, const Rpy& rpy, const Vec3* axis) {
  text += "  <joint name=\"";
  text += name;
  text += axis != nullptr ? "\" type=\"continuous\">\n" : "\" type=\"fixed\">\n";
  text += "    <parent link=\"";
  text += parent;
  text += "\"/>\n    <child link=\"";
  text += child;
  text += "\"/>\n";
  append_origin(text, "    ", xyz, rpy);
  if (axis != nullptr) {
    text += "    <axis xyz=\"";
    append_vector(text, *axis);
    text += "\"/>\n";
  }
  text += "  </joint>\n";
}

bool finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool same_point(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Why the model cannot be written, or empty.
std::string refusal(const RobotModel& robot, const Vec3* wallEdge) {
  const int N = robot.N;
  if (N < 1 || N > kMaxJoints)
    return "a robot of " + std::to_string(N) + " joints (URDF export: 1.." +
           std::to_string(kMaxJoints) + ")";
  for (int i = 1; i <= N; i++) {
    if (robot.jointKind[i] != 'R')
      return std::string("joint ") + std::to_string(i) +
             " is not rotational: the URDF export writes turning joints only";
    const Vec3 axis = {robot.E0[i].m[2], robot.E0[i].m[5], robot.E0[i].m[8]};
    if (!finite(axis) || vnorm(axis) == 0)
      return "joint " + std::to_string(i) + " has no finite rotation axis";
  }
  for (int i = 0; i <= N; i++)
    if (!finite(robot.Jpos0[i]))
      return "joint " + std::to_string(i) + " has no finite zero-pose position";
  if (!finite(robot.rw0) || !all_finite(robot.Ew0.m, 9)) return "the work pose is not finite";
  if (!std::isfinite(robot.linkRadius) || !(robot.linkRadius > 0))
    return "the link radius is not a positive number";
  for (double side : robot.workSize)
    if (!std::isfinite(side) || !(side > 0)) return "the workpiece size is not positive";
  if (wallEdge != nullptr && !finite(*wallEdge)) return "the wall edge is not finite";
  return "";
}

// The document of a model that refusal accepts, without its closing tag, into doc: the robot,
// and with wallEdge not null the wall and the floor; the boxes' material when withBoxes.
void robot_document(const RobotModel& robot, const char* robotName, const Vec3* wallEdge,
                    bool withBoxes, std::string& doc) {
  const int N = robot.N;
  const Rpy none = {0, 0, 0};
  const double radius = robot.linkRadius;
  // Link k's frame in the zero pose: world-aligned, at joint k (base_link: the world's origin).
  Vec3 origin[kMaxJoints + 1];
  origin[0] = {0, 0, 0};
  for (int k = 1; k <= N; k++) origin[k] = robot.Jpos0[k];

  doc += "<?xml version=\"1.0\"?>\n";
  doc += "<!-- A robot of armsim, axis letters ";
  for (int i = 1; i <= N; i++) {
    const char letter = robot.jointAxisLetter[i];
    doc += (letter >= 'A' && letter <= 'Z') ? letter : '?';
  }
  doc += ". The joint values q[1..";
  doc += std::to_string(N);
  doc += "] of the program are ";
  doc += kJointNames[1];
  doc += "..";
  doc += kJointNames[N];
  doc += " in radians; lengths are in the program's model units. -->\n";
  doc += "<robot name=\"";
  append_escaped(doc, robotName != nullptr ? robotName : "");
  doc += "\">\n";
  doc += kMaterials;
  if (wallEdge != nullptr) doc += kSceneMaterials;
  if (withBoxes) doc += kBoxMaterial;

  for (int k = 0; k <= N; k++) {
    Shape shapes[2];
    int count = 0;
    if (k > 0) shapes[count++] = ball(radius);
    if (k < N && !same_point(robot.Jpos0[k], robot.Jpos0[k + 1])) {
      Vec3 a, b;
      vsub(robot.Jpos0[k], origin[k], a);
      vsub(robot.Jpos0[k + 1], origin[k], b);
      shapes[count++] = tube(a, b, radius);
    }
    if (k > 0) {
      Vec3 offset, axis = {robot.E0[k].m[2], robot.E0[k].m[5], robot.E0[k].m[8]};
      vsub(origin[k], origin[k - 1], offset);
      append_joint(doc, kJointNames[k], kLinkNames[k - 1], kLinkNames[k], offset, none, &axis);
    }
    append_link(doc, kLinkNames[k], shapes, count);
  }

  // The hand: at the work point, turned by Ew0 from link N; its stem reaches back to joint N.
  Vec3 hand, back, jointN;
  vsub(robot.rw0, origin[N], hand);
  append_joint(doc, "hand_joint", kLinkNames[N], kHandName, hand, rpy_of(robot.Ew0), nullptr);
  vsub(robot.Jpos0[N], robot.rw0, back);
  mtvmul(robot.Ew0, back, jointN);
  const Vec3 zero = {0, 0, 0};
  const Shape stem = tube(jointN, zero, radius);
  append_link(doc, kHandName, &stem, same_point(jointN, zero) ? 0 : 1);

  const Vec3 workSize = {robot.workSize[0], robot.workSize[1], robot.workSize[2]};
  const Shape work = box(zero, workSize, "workpiece");
  append_joint(doc, "workpiece_joint", kHandName, kWorkpieceName, zero, none, nullptr);
  append_link(doc, kWorkpieceName, &work, 1);

  if (wallEdge != nullptr) {
    const UrdfBox boxes[2] = {urdf_wall_box(*wallEdge), urdf_floor_box()};
    const char* names[2] = {"wall", "floor"};
    for (int k = 0; k < 2; k++) {
      const Shape slab = box(zero, boxes[k].size, names[k]);
      append_joint(doc, (std::string(names[k]) + "_joint").c_str(), kLinkNames[0], names[k],
                   boxes[k].centre, none, nullptr);
      append_link(doc, names[k], &slab, 1);
    }
  }
}

// Whether R is a rotation to within rounding: finite, orthonormal columns, determinant +1.
bool is_rotation(const Mat3& R) {
  if (!all_finite(R.m, 9)) return false;
  Mat3 P;
  mtmul(R, R, P);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      if (std::fabs(P.m[3 * i + j] - (i == j ? 1 : 0)) > 1e-9) return false;
  const Vec3 x = {R.m[0], R.m[3], R.m[6]}, y = {R.m[1], R.m[4], R.m[7]},
             z = {R.m[2], R.m[5], R.m[8]};
  Vec3 xy;
  vcross(x, y, xy);
  return vdot(xy, z) > 0;
}

// Whether name is taken by a link of the robot or of the scene.
bool names_a_scene_link(const char* name) {
  for (const char* link : kLinkNames)
    if (std::strcmp(name, link) == 0) return true;
  for (const char* link : kSceneLinkNames)
    if (std::strcmp(name, link) == 0) return true;
  return false;
}

// Why box k of boxes cannot be written as a link of the scene, or empty.
std::string box_refusal(const Obstacle boxes[], int k) {
  const Obstacle& box = boxes[k];
  const std::string which = "box " + std::to_string(k + 1);
  if (std::memchr(box.name, '\0', sizeof box.name) == nullptr || box.name[0] == '\0')
    return which + " has no name of 1.." + std::to_string(kObstacleNameMax) + " characters";
  const std::string named = which + " ('" + box.name + "')";
  if (names_a_scene_link(box.name))
    return named + ": its name is taken by a link of the robot or the workcell";
  for (int j = 0; j < k; j++)
    if (std::strcmp(box.name, boxes[j].name) == 0)
      return named + ": its name is taken by box " + std::to_string(j + 1);
  for (double side : box.size)
    if (!std::isfinite(side) || !(side > 0)) return named + ": a side is not a positive number";
  if (!finite(box.centre)) return named + ": its centre is not finite";
  if (!is_rotation(box.R)) return named + ": its orientation is not a rotation";
  return "";
}

// The URDF document: the robot, with wallEdge not null the wall and the floor, and the boxes
// 0..boxCount-1, each a link of its name fixed to base_link by the joint <name>_joint.
int scene_urdf(const RobotModel& robot, const char* robotName, const Vec3* wallEdge,
               const Obstacle boxes[], int boxCount, std::string& text, std::string& why) {
  std::string refused = refusal(robot, wallEdge);
  if (refused.empty() && (boxCount < 0 || boxCount > kMaxObstacles))
    refused = std::to_string(boxCount) + " boxes (at most " + std::to_string(kMaxObstacles) + ")";
  for (int k = 0; k < boxCount && refused.empty(); k++) refused = box_refusal(boxes, k);
  if (!refused.empty()) {
    why = refused;
    return 0;
  }
  std::string doc;
  robot_document(robot, robotName, wallEdge, boxCount > 0, doc);
  const Vec3 zero = {0, 0, 0};
  for (int k = 0; k < boxCount; k++) {
    const Obstacle& b = boxes[k];
    const Shape solid = box(zero, {b.size[0], b.size[1], b.size[2]}, "box");
    std::string name, joint;
    append_escaped(name, b.name);
    joint = name + "_joint";
    append_joint(doc, joint.c_str(), kLinkNames[0], name.c_str(), b.centre, rpy_of(b.R), nullptr);
    append_link(doc, name.c_str(), &solid, 1);
  }
  doc += "</robot>\n";
  text.swap(doc);
  return 1;
}

}  // namespace

UrdfBox urdf_wall_box(const Vec3& rh) {
  return {{rh.x - kWallPlateSize / 2, rh.y, rh.z + kWallPlateSize / 2},
          {kWallPlateSize, kUrdfSlabThickness, kWallPlateSize}};
}

UrdfBox urdf_floor_box() {
  return {{0, 0, -kUrdfSlabThickness / 2}, {kUrdfFloorSide, kUrdfFloorSide, kUrdfSlabThickness}};
}

int robot_urdf(const RobotModel& robot, const char* robotName, const Vec3* wallEdge,
               std::string& text, std::string& why) {
  return scene_urdf(robot, robotName, wallEdge, nullptr, 0, text, why);
}

int workcell_urdf(const RobotModel& robot, const char* robotName, const Workcell& cell,
                  std::string& text, std::string& why) {
  return scene_urdf(robot, robotName, &cell.rh, cell.obstacles, cell.obstacleCount, text, why);
}
