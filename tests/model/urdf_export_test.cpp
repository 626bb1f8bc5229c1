// The URDF export read back by urdfdom and kdl_parser: every robot type, with and without the
// scene, and models with arbitrary zero-pose frames give seven limitless joints and a KDL chain
// whose forward kinematics puts every link, the work and every tube where forward_kinematics
// puts them; the wall, the floor and the boxes lie where the workcell has them; bad models and
// boxes are refused.
#include "model/urdf_export.h"

#include <unistd.h>
#include <urdf_parser/urdf_parser.h>

#include <clocale>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <kdl/tree.hpp>
#include <kdl_parser/kdl_parser.hpp>
#include <map>

#include "core_state.h"
#include "model/joint_names.h"
#include "support.h"

namespace {

const Vec3 kWallEdge = {0.5, 1.3, 0.25};

Vec3 to_vec(const KDL::Vector& v) {
  return {v.x(), v.y(), v.z()};
}

Mat3 to_mat(const KDL::Rotation& R) {
  return {{R(0, 0), R(0, 1), R(0, 2), R(1, 0), R(1, 1), R(1, 2), R(2, 0), R(2, 1), R(2, 2)}};
}

KDL::Frame to_frame(const urdf::Pose& p) {
  const urdf::Rotation& r = p.rotation;
  return {KDL::Rotation::Quaternion(r.x, r.y, r.z, r.w),
          KDL::Vector(p.position.x, p.position.y, p.position.z)};
}

// A rotation of random roll, pitch and yaw.
Mat3 random_rotation(std::mt19937& rng) {
  std::uniform_real_distribution<double> angle(-PI, PI);
  return to_mat(KDL::Rotation::RPY(angle(rng), angle(rng), angle(rng)));
}

// Reads text back and checks, at `samples` seeded joint vectors over several turns, KDL's frames
// against forward_kinematics: link k at Jpos[k] turned by E[k] E0[k]^T, hand and workpiece at rw
// turned to Ew; and on every 100th the shapes: the tube of link k from Jpos[k] to Jpos[k+1] (the
// hand's from Jpos[N] to rw), the sphere of link k on Jpos[k], the workpiece box on rw.
// Tolerance 1e-12: both sides multiply a few rotations in double (about 2e-15 apart here).
void expect_round_trip(const RobotModel& model, const std::string& text, std::mt19937& rng,
                       int samples) {
  const urdf::ModelInterfaceSharedPtr parsed = urdf::parseURDF(text);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(parsed->getRoot()->name, "base_link");
  const int N = model.N;
  for (int i = 1; i <= N; i++) {
    const urdf::JointConstSharedPtr joint = parsed->getJoint(kJointNames[i]);
    ASSERT_NE(joint, nullptr) << kJointNames[i];
    EXPECT_EQ(joint->type, urdf::Joint::CONTINUOUS);
    EXPECT_EQ(joint->limits, nullptr);
    // Every digit written reads back: the origin is exactly the zero pose's offset.
    const urdf::Vector3& p = joint->parent_to_joint_origin_transform.position;
    const Vec3 from = i == 1 ? Vec3{0, 0, 0} : model.Jpos0[i - 1];
    EXPECT_EQ(p.x, model.Jpos0[i].x - from.x);
    EXPECT_EQ(p.y, model.Jpos0[i].y - from.y);
    EXPECT_EQ(p.z, model.Jpos0[i].z - from.z);
  }
  KDL::Tree tree;
  KDL::Chain chain;
  ASSERT_TRUE(kdl_parser::treeFromString(text, tree));
  ASSERT_TRUE(tree.getChain("base_link", "workpiece", chain));
  EXPECT_EQ(tree.getNrOfJoints(), 7u);
  ASSERT_EQ(chain.getNrOfJoints(), 7u);
  std::map<std::string, KDL::Frame> frame = {{"base_link", KDL::Frame::Identity()}};
  KDL::ChainFkSolverPos_recursive solver(chain);
  std::vector<KDL::Frame> frames(chain.getNrOfSegments());
  KDL::JntArray joints(N);
  Kinematics k(model);
  std::uniform_real_distribution<double> angle(-4 * PI, 4 * PI);
  double worst = 0;
  for (int sample = 0; sample < samples; sample++) {
    double q[kJointSlots] = {};
    for (int i = 1; i <= N; i++) joints(i - 1) = q[i] = angle(rng);
    forward_kinematics(model, q, k);
    ASSERT_GE(solver.JntToCart(joints, frames), 0);
    for (unsigned s = 0; s < frames.size(); s++) frame[chain.getSegment(s).getName()] = frames[s];
    auto compare = [&](const std::string& link, const Vec3& p, const Mat3& R) {
      Vec3 d;
      vsub(to_vec(frame.at(link).p), p, d);
      worst = std::max({worst, std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
      const Mat3 M = to_mat(frame.at(link).M);
      for (int e = 0; e < 9; e++) worst = std::max(worst, std::fabs(M.m[e] - R.m[e]));
    };
    for (int i = 1; i <= N; i++) {
      Mat3 zeroT, turned;
      mtrans(model.E0[i], zeroT);
      mmul(k.E[i], zeroT, turned);
      compare(kLinkNames[i], k.Jpos[i], turned);
    }
    compare("hand", k.rw, k.Ew);
    compare("workpiece", k.rw, k.Ew);
    if (sample % 100 != 0) continue;
    int tubes = 0, spheres = 0, links = 0;
    for (int i = 0; i <= N + 2; i++) {
      const std::string name = i <= N ? kLinkNames[i] : i == N + 1 ? "hand" : "workpiece";
      const Vec3 start = i <= N ? k.Jpos[i] : i == N + 1 ? k.Jpos[N] : k.rw;
      const Vec3 end = i < N ? k.Jpos[i + 1] : k.rw;
      for (const urdf::VisualSharedPtr& visual : parsed->getLink(name)->visual_array) {
        const KDL::Frame F = frame.at(name) * to_frame(visual->origin);
        const Vec3 centre = to_vec(F.p);
        if (visual->geometry->type == urdf::Geometry::CYLINDER) {
          const double half = static_cast<const urdf::Cylinder&>(*visual->geometry).length / 2;
          expect_near(to_vec(F.p - F.M.UnitZ() * half), start, 1e-12);
          expect_near(to_vec(F.p + F.M.UnitZ() * half), end, 1e-12);
          tubes++;
        } else if (visual->geometry->type == urdf::Geometry::SPHERE) {
          expect_near(centre, start, 1e-12);
          spheres++;
        } else {
          EXPECT_EQ(name, "workpiece");
          expect_near(centre, k.rw, 1e-12);
          expect_near(to_mat(F.M), k.Ew, 1e-12);
        }
      }
    }
    for (int i = 1; i <= N; i++) links += model.Llen[i] > 0;
    EXPECT_EQ(tubes, links + 1);  // every link of length > 0, and the hand
    EXPECT_EQ(spheres, N);
  }
  EXPECT_LE(worst, 1e-12);
}

}  // namespace

// The check for the four robots: 10^4 random joint vectors each, with and without the
// scene.
TEST(UrdfExport, EveryTypeReadsBackToItsKinematics) {
  std::mt19937 rng(22);
  for (int type = 1; type <= 4; type++) {
    for (const Vec3* wall : {static_cast<const Vec3*>(nullptr), &kWallEdge}) {
      SCOPED_TRACE(testing::Message() << "type " << type << (wall ? " with the scene" : ""));
      setup_robot(type);
      std::string text, why;
      ASSERT_EQ(robot_urdf(robot, "armsim", wall, text, why), 1) << why;
      expect_round_trip(robot, text, rng, 10000);
    }
  }
}

// The catalogue's robots stand upright with their axes along x, y, z, which hides a transposed or
// mislaid frame; turned zero-pose frames, scattered joints and a turned work (two of them at
// pitch +-pi/2, where roll and yaw share the turn) do not.
TEST(UrdfExport, ArbitraryFramesReadBackToTheirKinematics) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-2, 2);
  for (int trial = 0; trial < 22; trial++) {
    SCOPED_TRACE(testing::Message() << "trial " << trial << " of seed 7");
    RobotModel model;
    robot_setup(1, model);
    for (int i = 0; i <= model.N; i++) {
      model.E0[i] = random_rotation(rng);
      model.Jpos0[i] = {coordinate(rng), coordinate(rng), coordinate(rng)};
    }
    model.rw0 = {coordinate(rng), coordinate(rng), coordinate(rng)};
    model.Ew0 = random_rotation(rng);
    const double c = std::cos(0.7), s = std::sin(0.7), sign = trial == 20 ? 1 : -1;
    if (trial >= 20) model.Ew0 = {{0, sign * s, sign * c, 0, c, -s, -sign, 0, 0}};
    link_geometry(model.N, model.Jpos0, model.E0, model.rw0, model.Ew0, model.Erel, model.Lloc,
                  model.LlocU, model.Llen, model.rwLoc, model.EwLoc, model.handLength);
    std::string text, why;
    ASSERT_EQ(robot_urdf(model, "arbitrary", nullptr, text, why), 1) << why;
    expect_round_trip(model, text, rng, 500);
  }
}

// The wall's box covers the plate x in [rh.x - 4, rh.x], z in [rh.z, rh.z + 4] on y = rh.y, the
// floor's top is z = 0; and a locale with a decimal comma changes no byte.
TEST(UrdfExport, SceneWhereTheWorkcellIsInEveryLocale) {
  setup_robot(2);
  std::string text, why;
  ASSERT_EQ(robot_urdf(robot, "scene", &kWallEdge, text, why), 1) << why;
  const urdf::ModelInterfaceSharedPtr parsed = urdf::parseURDF(text);
  ASSERT_NE(parsed, nullptr);
  double bounds[2][6];  // x, y, z low, then high, of the wall and the floor
  for (int b = 0; b < 2; b++) {
    const std::string part = b == 0 ? "wall" : "floor";
    const urdf::JointConstSharedPtr joint = parsed->getJoint(part + "_joint");
    ASSERT_TRUE(joint != nullptr && joint->parent_link_name == "base_link") << part;
    const urdf::Vector3& at = joint->parent_to_joint_origin_transform.position;
    const urdf::Vector3 size =
        static_cast<const urdf::Box&>(*parsed->getLink(part)->collision_array.at(0)->geometry).dim;
    const double centre[3] = {at.x, at.y, at.z}, side[3] = {size.x, size.y, size.z};
    for (int a = 0; a < 3; a++) {
      bounds[b][a] = centre[a] - side[a] / 2;
      bounds[b][a + 3] = centre[a] + side[a] / 2;
    }
  }
  const Vec3& rh = kWallEdge;
  const double wall[6] = {rh.x - 4, rh.y - 0.005, rh.z, rh.x, rh.y + 0.005, rh.z + 4};
  for (int a = 0; a < 6; a++) EXPECT_NEAR(bounds[0][a], wall[a], 1e-15) << a;
  EXPECT_EQ(bounds[1][5], 0);
  EXPECT_LE(bounds[1][0], -4.4);  // under the whole reach of the robot
  EXPECT_GE(bounds[1][4], 4.4);

  const bool comma =
      setlocale(LC_ALL, "de_DE.UTF-8") != nullptr || setlocale(LC_ALL, "de_DE.utf8") != nullptr;
  std::string localised;
  robot_urdf(robot, "scene", &kWallEdge, localised, why);
  setlocale(LC_ALL, "C");
  if (!comma) GTEST_SKIP() << "no de_DE locale";
  EXPECT_EQ(localised, text);
}

// A sliding joint (forward_kinematics would still turn it), a position that is not finite and a
// link without radius are refused with a reason; the text is left alone.
TEST(UrdfExport, RefusesWhatItCannotWrite) {
  for (int fault = 0; fault < 3; fault++) {
    RobotModel model;
    robot_setup(1, model);
    if (fault == 0) model.jointKind[4] = 'S';
    if (fault == 1) model.Jpos0[3].y = NAN;
    if (fault == 2) model.linkRadius = 0;
    std::string text = "unchanged", why;
    EXPECT_EQ(robot_urdf(model, "bad", nullptr, text, why), 0) << fault;
    EXPECT_EQ(text, "unchanged");
    EXPECT_NE(why.find(fault == 0   ? "joint 4"
                       : fault == 1 ? "joint 3"
                                    : "radius"),
              std::string::npos)
        << why;
  }
}

namespace {

// R = Rz(yaw) Ry(pitch) Rx(roll), multiplied out from the three elementary rotations.
Mat3 from_rpy(double roll, double pitch, double yaw) {
  const Mat3 X = {{1, 0, 0, 0, std::cos(roll), -std::sin(roll), 0, std::sin(roll), std::cos(roll)}};
  const Mat3 Y = {
      {std::cos(pitch), 0, std::sin(pitch), 0, 1, 0, -std::sin(pitch), 0, std::cos(pitch)}};
  const Mat3 Z = {{std::cos(yaw), -std::sin(yaw), 0, std::sin(yaw), std::cos(yaw), 0, 0, 0, 1}};
  Mat3 ZY, R;
  mmul(Z, Y, ZY);
  mmul(ZY, X, R);
  return R;
}

// The rotation of a unit quaternion (x, y, z, w).
Mat3 from_quaternion(const urdf::Rotation& q) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  return {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w), 2 * (x * y + z * w),
           1 - 2 * (x * x + z * z), 2 * (y * z - x * w), 2 * (x * z - y * w), 2 * (y * z + x * w),
           1 - 2 * (x * x + y * y)}};
}

// The three numbers of attribute `attribute` in the element that starts with `start`.
bool attribute_numbers(const std::string& text, const std::string& start,
                       const std::string& attribute, double values[3]) {
  const size_t element = text.find(start);
  if (element == std::string::npos) return false;
  const size_t at = text.find(attribute + "=\"", element);
  if (at == std::string::npos) return false;
  const char* c = text.c_str() + at + attribute.size() + 2;
  for (int k = 0; k < 3; k++) {
    char* end;
    values[k] = std::strtod(c, &end);
    if (end == c) return false;
    c = end;
  }
  return true;
}

// Boxes of every orientation that a roll-pitch-yaw triple finds hard: random turns about random
// axes, the half turns (whose angles sit on atan2's branch cut, with signed zeros), pitch
// exactly +-pi/2 and pitch within 1e-6..1e-16 of it, where roll and yaw share the turn.
int hard_boxes(std::mt19937& rng, Obstacle boxes[kMaxObstacles]) {
  std::uniform_real_distribution<double> unit(-1, 1), side(0.05, 2);
  std::vector<Mat3> turns = {
      {{1, 0, 0, 0, 1, 0, 0, 0, 1}},
      {{1, 0, 0, 0, -1, 0, 0, 0, -1}},
      {{-1, 0, 0, 0, -1, 0, 0, 0, 1}},
      {{-1, 0, 0, 0, 1, 0, 0, 0, -1}},
      {{-1, -0.0, 0, 0, 1, -0.0, -0.0, 0, -1}},
      {{0, -1, 0, -1, 0, 0, 0, 0, -1}},
  };
  const double c = std::cos(0.3), s = std::sin(0.3);
  turns.push_back({{0, -s, c, 0, c, s, -1, 0, 0}});   // Rz(0.3) Ry(pi/2)
  turns.push_back({{0, -s, -c, 0, c, -s, 1, 0, 0}});  // Rz(0.3) Ry(-pi/2)
  // Through a quaternion, as a file gives them: every entry then carries an absolute rounding,
  // which the small entries near pitch +-pi/2 cannot hide.
  for (double gap : {1e-6, 1e-9, 1e-12, 1e-14, 1e-16})
    for (double sign : {1.0, -1.0}) {
      double x, y, z, w;
      (KDL::Rotation::RotZ(2.1) * KDL::Rotation::RotY(sign * (PI / 2 - gap)) *
       KDL::Rotation::RotX(-0.8))
          .GetQuaternion(x, y, z, w);
      turns.push_back(to_mat(KDL::Rotation::Quaternion(x, y, z, w)));
    }
  while (turns.size() < 60)
    turns.push_back(
        to_mat(KDL::Rotation::Rot(KDL::Vector(unit(rng), unit(rng), unit(rng)), PI * unit(rng))));
  int count = 0;
  for (const Mat3& R : turns) {
    Obstacle& box = boxes[count];
    std::snprintf(box.name, sizeof box.name, count == 0 ? "fixture_A-%d" : "box%d", count);
    box.size[0] = side(rng), box.size[1] = side(rng), box.size[2] = side(rng);
    box.centre = {3 * unit(rng), 3 * unit(rng), 3 * unit(rng)};
    box.R = R;
    count++;
  }
  return count;
}

}  // namespace

// Each box of the workcell reads back (urdfdom, KDL, check_urdf) as a link of its name with a
// box of its sides, fixed to base_link at its centre turned by its orientation: the joint's rpy
// rebuilt here as Rz Ry Rx and urdfdom's quaternion both give the box's matrix within 1e-12
// (a handful of roundings apart; an ill-conditioned roll or yaw near pitch +-pi/2 would be off
// by up to 1e-4). Without boxes, the text is the scene's as before.
TEST(UrdfExport, WorkcellBoxesReadBackAsFixedLinks) {
  std::mt19937 rng(31);
  setup_robot(3);
  Workcell scene = {};
  scene.rh = kWallEdge;
  std::string text, why, before;
  ASSERT_EQ(robot_urdf(robot, "cell", &kWallEdge, before, why), 1) << why;
  hard_boxes(rng, scene.obstacles);  // filled but not counted: left out
  ASSERT_EQ(workcell_urdf(robot, "cell", scene, text, why), 1) << why;
  EXPECT_EQ(text, before);

  scene.obstacleCount = hard_boxes(rng, scene.obstacles);
  ASSERT_EQ(workcell_urdf(robot, "cell", scene, text, why), 1) << why;
  const urdf::ModelInterfaceSharedPtr parsed = urdf::parseURDF(text);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(parsed->getRoot()->name, "base_link");
  KDL::Tree tree;
  ASSERT_TRUE(kdl_parser::treeFromString(text, tree));
  EXPECT_EQ(tree.getNrOfJoints(), 7u);  // the boxes' joints are fixed
  double worst = 0;
  for (int b = 0; b < scene.obstacleCount; b++) {
    const Obstacle& box = scene.obstacles[b];
    SCOPED_TRACE(testing::Message() << "box " << box.name << " of seed 31");
    const urdf::LinkConstSharedPtr link = parsed->getLink(box.name);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(link->visual_array.size(), 1u);
    ASSERT_EQ(link->collision_array.size(), 1u);
    for (const urdf::GeometrySharedPtr& shape :
         {link->visual_array[0]->geometry, link->collision_array[0]->geometry}) {
      ASSERT_EQ(shape->type, urdf::Geometry::BOX);
      const urdf::Vector3& dim = static_cast<const urdf::Box&>(*shape).dim;
      EXPECT_EQ(dim.x, box.size[0]);
      EXPECT_EQ(dim.y, box.size[1]);
      EXPECT_EQ(dim.z, box.size[2]);
    }
    const std::string jointName = std::string(box.name) + "_joint";
    const urdf::JointConstSharedPtr joint = parsed->getJoint(jointName);
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(joint->type, urdf::Joint::FIXED);
    EXPECT_EQ(joint->parent_link_name, "base_link");
    EXPECT_EQ(joint->child_link_name, box.name);
    const urdf::Pose& origin = joint->parent_to_joint_origin_transform;
    EXPECT_EQ(origin.position.x, box.centre.x);
    EXPECT_EQ(origin.position.y, box.centre.y);
    EXPECT_EQ(origin.position.z, box.centre.z);
    double rpy[3];
    ASSERT_TRUE(attribute_numbers(text, "<joint name=\"" + jointName + "\"", "rpy", rpy));
    for (double angle : rpy) EXPECT_TRUE(std::isfinite(angle));
    const Mat3 fromText = from_rpy(rpy[0], rpy[1], rpy[2]);
    const Mat3 fromParser = from_quaternion(origin.rotation);
    const Mat3 fromKdl = to_mat(tree.getSegments().at(box.name).segment.getFrameToTip().M);
    for (int e = 0; e < 9; e++)
      for (const Mat3* R : {&fromText, &fromParser, &fromKdl})
        worst = std::max(worst, std::fabs(R->m[e] - box.R.m[e]));
  }
  EXPECT_LE(worst, 1e-12);

  if (std::system("command -v check_urdf >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no check_urdf (Debian package liburdfdom-tools)";
  char path[] = "/tmp/armsim-boxes-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  const int status = std::system(("check_urdf " + std::string(path) + " >/dev/null 2>&1").c_str());
  unlink(path);
  EXPECT_EQ(status, 0);
}

// A box whose link would clash with a link of the robot or of the workcell, or with an earlier
// box, and a box that is no box (no name, a side not positive, a centre not finite, a mirror or
// a stretch instead of a turn) are refused with a reason naming the box; the text is left alone.
TEST(UrdfExport, RefusesBoxesItCannotWrite) {
  setup_robot(1);
  struct Fault {
    const char* name;
    double side;
    double centreX;
    Mat3 R;
    const char* reason;
  };
  const Mat3 I = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  const Fault faults[] = {
      {"link3", 1, 0, I, "box 2 ('link3'): its name is taken by a link"},
      {"base_link", 1, 0, I, "box 2 ('base_link'): its name is taken by a link"},
      {"workpiece", 1, 0, I, "box 2 ('workpiece'): its name is taken by a link"},
      {"wall", 1, 0, I, "box 2 ('wall'): its name is taken by a link"},
      {"floor", 1, 0, I, "box 2 ('floor'): its name is taken by a link"},
      {"hand", 1, 0, I, "box 2 ('hand'): its name is taken by a link"},
      {"table", 1, 0, I, "box 2 ('table'): its name is taken by box 1"},
      {"", 1, 0, I, "box 2 has no name"},
      {"post", 0, 0, I, "box 2 ('post'): a side is not a positive number"},
      {"post", NAN, 0, I, "box 2 ('post'): a side is not a positive number"},
      {"post", 1, INFINITY, I, "box 2 ('post'): its centre is not finite"},
      {"post", 1, 0, {{1, 0, 0, 0, 1, 0, 0, 0, -1}}, "box 2 ('post'): its orientation"},
      {"post", 1, 0, {{1.01, 0, 0, 0, 1, 0, 0, 0, 1}}, "box 2 ('post'): its orientation"},
      {"post", 1, 0, {{1, 0, 0, 0, 1, 0, 0, 0, NAN}}, "box 2 ('post'): its orientation"},
  };
  for (const Fault& fault : faults) {
    Workcell scene = {};
    scene.rh = kWallEdge;
    scene.obstacleCount = 2;
    for (Obstacle& box : scene.obstacles) box = {"table", {1, 1, 1}, {1, 1, 0.5}, I};
    Obstacle& box = scene.obstacles[1];
    std::snprintf(box.name, sizeof box.name, "%s", fault.name);
    box.size[1] = fault.side;
    box.centre.x = fault.centreX;
    box.R = fault.R;
    std::string text = "unchanged", why;
    EXPECT_EQ(workcell_urdf(robot, "bad", scene, text, why), 0) << fault.reason;
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(why.rfind(fault.reason, 0), 0u) << why;
  }
}
