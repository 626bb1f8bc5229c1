// The URDF export read back by the tools that will read it elsewhere: urdfdom parses every type,
// with and without the workcell, into the tree, joints, axes and shapes the header promises;
// kdl_parser builds a KDL tree whose chain base_link -> workpiece has the seven joints, and KDL's
// forward kinematics at 10^4 random joint vectors puts every link, the hand and the workpiece
// where forward_kinematics puts the joints and the work (within 1e-12), with the tubes along the
// arms. A model with arbitrary zero-pose frames checks the frame convention beyond the
// catalogue's upright robots; models that cannot be written are refused.
#include "model/urdf_export.h"

#include <urdf_parser/urdf_parser.h>

#include <algorithm>
#include <clocale>
#include <kdl/chain.hpp>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <kdl/frames.hpp>
#include <kdl/jntarray.hpp>
#include <kdl/tree.hpp>
#include <kdl_parser/kdl_parser.hpp>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core_state.h"
#include "model/joint_names.h"
#include "support.h"

namespace {

constexpr int kSamples = 10000;
constexpr double kTolerance = 1e-12;
const Vec3 kWallEdge = {0, 1.3, 0};

std::string robot_name(int type) {
  return "armsim_type" + std::to_string(type);
}

// The URDF of the model in `robot`, with the workcell when scene.
std::string urdf_of(const RobotModel& model, const std::string& name, bool scene) {
  std::string text, why;
  EXPECT_EQ(robot_urdf(model, name.c_str(), scene ? &kWallEdge : nullptr, text, why), 1) << why;
  return text;
}

Vec3 to_vec(const urdf::Vector3& v) {
  return {v.x, v.y, v.z};
}

Vec3 to_vec(const KDL::Vector& v) {
  return {v.x(), v.y(), v.z()};
}

Mat3 to_mat(const KDL::Rotation& R) {
  Mat3 m;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) m.m[3 * i + j] = R(i, j);
  return m;
}

KDL::Frame to_frame(const urdf::Pose& pose) {
  return KDL::Frame(
      KDL::Rotation::Quaternion(pose.rotation.x, pose.rotation.y, pose.rotation.z, pose.rotation.w),
      KDL::Vector(pose.position.x, pose.position.y, pose.position.z));
}

// Exactly equal: the numbers written must read back as the very same doubles.
void expect_exactly(const Vec3& actual, const Vec3& expected) {
  EXPECT_EQ(actual.x, expected.x);
  EXPECT_EQ(actual.y, expected.y);
  EXPECT_EQ(actual.z, expected.z);
}

Vec3 axis_of(const RobotModel& model, int i) {
  return column(model.E0[i], 2);
}

// A joint's origin and axis parsed back: no rotation, exact numbers.
void expect_identity(const urdf::Rotation& r) {
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.y, 0);
  EXPECT_EQ(r.z, 0);
  EXPECT_EQ(r.w, 1);
}

// The chain from base_link to the workpiece, and the index of each named segment in it.
struct KdlRobot {
  KDL::Tree tree;
  KDL::Chain chain;
  std::map<std::string, int> segment;
};

bool kdl_robot(const std::string& text, KdlRobot& robotKdl) {
  if (!kdl_parser::treeFromString(text, robotKdl.tree)) return false;
  if (!robotKdl.tree.getChain("base_link", "workpiece", robotKdl.chain)) return false;
  for (unsigned k = 0; k < robotKdl.chain.getNrOfSegments(); k++)
    robotKdl.segment[robotKdl.chain.getSegment(k).getName()] = static_cast<int>(k);
  return true;
}

// A rotation from four numbers (a quaternion, normalised here).
Mat3 rotation_from(double w, double x, double y, double z) {
  const double n = std::sqrt(w * w + x * x + y * y + z * z);
  w /= n, x /= n, y /= n, z /= n;
  return {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),  //
           2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),  //
           2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
}

// KDL's frames of link1..linkN, the hand and the workpiece at q against forward_kinematics: link
// k at Jpos[k] turned by E[k] E0[k]^T, hand and workpiece at rw turned to Ew. Returns the largest
// difference.
double kdl_against_program(const RobotModel& model, Kinematics& k, KdlRobot& robotKdl,
                           const double q[]) {
  KDL::ChainFkSolverPos_recursive solver(robotKdl.chain);
  KDL::JntArray joints(model.N);
  for (int i = 1; i <= model.N; i++) joints(i - 1) = q[i];
  std::vector<KDL::Frame> frames(robotKdl.chain.getNrOfSegments());
  EXPECT_GE(solver.JntToCart(joints, frames), 0);
  forward_kinematics(model, q, k);
  double worst = 0;
  auto compare = [&](const KDL::Frame& F, const Vec3& p, const Mat3& R) {
    const Vec3 position = to_vec(F.p);
    const Mat3 rotation = to_mat(F.M);
    worst = std::max({worst, std::fabs(position.x - p.x), std::fabs(position.y - p.y),
                      std::fabs(position.z - p.z)});
    for (int e = 0; e < 9; e++) worst = std::max(worst, std::fabs(rotation.m[e] - R.m[e]));
  };
  for (int i = 1; i <= model.N; i++) {
    Mat3 turned;
    Mat3 zeroT;
    mtrans(model.E0[i], zeroT);
    mmul(k.E[i], zeroT, turned);
    compare(frames[robotKdl.segment.at(kLinkNames[i])], k.Jpos[i], turned);
  }
  compare(frames[robotKdl.segment.at("hand")], k.rw, k.Ew);
  compare(frames[robotKdl.segment.at("workpiece")], k.rw, k.Ew);
  return worst;
}

// The arbitrary model: every zero-pose frame turned at random, joints placed anywhere, the work
// somewhere else turned at random; link data derived as robot_setup derives it.
RobotModel arbitrary_model(std::mt19937& rng) {
  std::uniform_real_distribution<double> number(-2, 2);
  RobotModel model;
  robot_setup(1, model);
  for (int i = 0; i <= model.N; i++) {
    model.E0[i] = rotation_from(number(rng), number(rng), number(rng), number(rng));
    model.Jpos0[i] = {number(rng), number(rng), number(rng)};
  }
  model.rw0 = {number(rng), number(rng), number(rng)};
  model.Ew0 = rotation_from(number(rng), number(rng), number(rng), number(rng));
  link_geometry(model.N, model.Jpos0, model.E0, model.rw0, model.Ew0, model.Erel, model.Lloc,
                model.LlocU, model.Llen, model.rwLoc, model.EwLoc, model.handLength);
  return model;
}

// At `samples` random poses, the shapes of the URDF placed by KDL's frames against the program's
// kinematics: each cylinder from Jpos[k] to Jpos[k+1] (link k, base_link from the base point; the
// hand from Jpos[N] to rw), each sphere on Jpos[k] (link k), the workpiece box on rw turned to
// Ew, and every tube there.
void expect_shapes_follow(const RobotModel& model, const std::string& text, std::mt19937& rng,
                          int samples) {
  const urdf::ModelInterfaceSharedPtr parsed = urdf::parseURDF(text);
  ASSERT_NE(parsed, nullptr);
  KdlRobot robotKdl;
  ASSERT_TRUE(kdl_robot(text, robotKdl));
  KDL::ChainFkSolverPos_recursive solver(robotKdl.chain);
  Kinematics k;
  kinematics_at_base(model, k);
  const int N = model.N;
  for (int sample = 0; sample < samples; sample++) {
    double q[kJointSlots];
    random_pose(rng, N, q);
    forward_kinematics(model, q, k);
    KDL::JntArray joints(N);
    for (int i = 1; i <= N; i++) joints(i - 1) = q[i];
    std::vector<KDL::Frame> frames(robotKdl.chain.getNrOfSegments());
    ASSERT_GE(solver.JntToCart(joints, frames), 0);
    int cylinders = 0, spheres = 0, boxes = 0;
    for (const auto& entry : parsed->links_) {
      const urdf::Link& link = *entry.second;
      if (link.name == "wall" || link.name == "floor") continue;  // not on the chain
      const KDL::Frame F = link.name == "base_link" ? KDL::Frame::Identity()
                                                    : frames[robotKdl.segment.at(link.name)];
      int j = -1;  // the link's joint, 0 for base_link
      for (int i = 0; i <= N; i++)
        if (link.name == kLinkNames[i]) j = i;
      for (const urdf::VisualSharedPtr& visual : link.visual_array) {
        const KDL::Frame shape = F * to_frame(visual->origin);
        const Vec3 centre = to_vec(shape.p);
        if (visual->geometry->type == urdf::Geometry::SPHERE) {
          ASSERT_GE(j, 1) << link.name;
          expect_near(centre, k.Jpos[j], kTolerance);
          spheres++;
        } else if (visual->geometry->type == urdf::Geometry::CYLINDER) {
          ASSERT_TRUE(link.name == "hand" || (j >= 0 && j < N)) << link.name;
          const double length = static_cast<const urdf::Cylinder&>(*visual->geometry).length;
          const Vec3 axis = to_vec(shape.M.UnitZ());
          const Vec3 a = {centre.x - axis.x * length / 2, centre.y - axis.y * length / 2,
                          centre.z - axis.z * length / 2};
          const Vec3 b = {centre.x + axis.x * length / 2, centre.y + axis.y * length / 2,
                          centre.z + axis.z * length / 2};
          expect_near(a, link.name == "hand" ? k.Jpos[N] : k.Jpos[j], kTolerance);
          expect_near(b, link.name == "hand" ? k.rw : k.Jpos[j + 1], kTolerance);
          cylinders++;
        } else {
          ASSERT_EQ(link.name, "workpiece");
          expect_near(centre, k.rw, kTolerance);
          expect_near(to_mat(shape.M), k.Ew, kTolerance);
          boxes++;
        }
      }
    }
    int links = 0;
    for (int i = 1; i <= N; i++) links += model.Llen[i] > 0;
    EXPECT_EQ(cylinders, links + 1);  // every link of length > 0, and the stem
    EXPECT_EQ(spheres, N);
    EXPECT_EQ(boxes, 1);
  }
}

}  // namespace

// urdfdom reads every type back, with and without the workcell: the tree, the continuous joints
// without limits with their origins and axes to the last bit, the fixed hand and workpiece, the
// shapes and their materials, and with the scene the wall and the floor.
TEST(UrdfExport, UrdfdomReadsEveryTypeBack) {
  for (int type = 1; type <= 4; type++) {
    for (bool scene : {false, true}) {
      SCOPED_TRACE("type " + std::to_string(type) + (scene ? " with the scene" : ""));
      setup_robot(type);
      const std::string text = urdf_of(robot, robot_name(type), scene);
      const urdf::ModelInterfaceSharedPtr model = urdf::parseURDF(text);
      ASSERT_NE(model, nullptr);
      EXPECT_EQ(model->getName(), robot_name(type));
      ASSERT_NE(model->getRoot(), nullptr);
      EXPECT_EQ(model->getRoot()->name, "base_link");
      EXPECT_EQ(model->links_.size(), scene ? 12u : 10u);
      EXPECT_EQ(model->joints_.size(), scene ? 11u : 9u);
      for (const char* material : {"link", "workpiece"})
        EXPECT_EQ(model->materials_.count(material), 1u) << material;
      EXPECT_EQ(model->materials_.count("wall"), scene ? 1u : 0u);

      for (int i = 1; i <= 7; i++) {
        SCOPED_TRACE(kJointNames[i]);
        const urdf::JointConstSharedPtr joint = model->getJoint(kJointNames[i]);
        ASSERT_NE(joint, nullptr);
        EXPECT_EQ(joint->type, urdf::Joint::CONTINUOUS);
        EXPECT_EQ(joint->limits, nullptr);
        EXPECT_EQ(joint->parent_link_name, kLinkNames[i - 1]);
        EXPECT_EQ(joint->child_link_name, kLinkNames[i]);
        expect_exactly(to_vec(joint->axis), axis_of(robot, i));
        Vec3 offset;
        vsub(robot.Jpos0[i], i == 1 ? Vec3{0, 0, 0} : robot.Jpos0[i - 1], offset);
        expect_exactly(to_vec(joint->parent_to_joint_origin_transform.position), offset);
        expect_identity(joint->parent_to_joint_origin_transform.rotation);
      }
      // The axis letters: 'R' along z, 'P' along x, 'Q' along y in the zero pose.
      for (int i = 1; i <= 7; i++) {
        const Vec3 expected = robot.jointAxisLetter[i] == 'R'   ? Vec3{0, 0, 1}
                              : robot.jointAxisLetter[i] == 'P' ? Vec3{1, 0, 0}
                                                                : Vec3{0, 1, 0};
        expect_exactly(to_vec(model->getJoint(kJointNames[i])->axis), expected);
      }

      const urdf::JointConstSharedPtr hand = model->getJoint("hand_joint");
      ASSERT_NE(hand, nullptr);
      EXPECT_EQ(hand->type, urdf::Joint::FIXED);
      EXPECT_EQ(hand->parent_link_name, "link7");
      EXPECT_EQ(hand->child_link_name, "hand");
      Vec3 handOffset;
      vsub(robot.rw0, robot.Jpos0[7], handOffset);
      expect_exactly(to_vec(hand->parent_to_joint_origin_transform.position), handOffset);
      expect_identity(hand->parent_to_joint_origin_transform.rotation);  // Ew0 is the identity
      const urdf::JointConstSharedPtr work = model->getJoint("workpiece_joint");
      ASSERT_NE(work, nullptr);
      EXPECT_EQ(work->type, urdf::Joint::FIXED);
      EXPECT_EQ(work->parent_link_name, "hand");
      EXPECT_EQ(work->child_link_name, "workpiece");
      expect_exactly(to_vec(work->parent_to_joint_origin_transform.position), {0, 0, 0});

      // Shapes: a sphere of the link radius at joints 1..7, a cylinder along every link of
      // length > 0, the stem, the workpiece box; each also as a collision, the same.
      for (const auto& entry : model->links_) {
        const urdf::Link& link = *entry.second;
        SCOPED_TRACE(link.name);
        ASSERT_EQ(link.visual_array.size(), link.collision_array.size());
        for (size_t s = 0; s < link.visual_array.size(); s++) {
          const urdf::Visual& visual = *link.visual_array[s];
          const urdf::Collision& collision = *link.collision_array[s];
          EXPECT_EQ(visual.geometry->type, collision.geometry->type);
          expect_exactly(to_vec(visual.origin.position), to_vec(collision.origin.position));
          EXPECT_EQ(model->materials_.count(visual.material_name), 1u) << visual.material_name;
          if (visual.geometry->type == urdf::Geometry::SPHERE) {
            EXPECT_EQ(static_cast<const urdf::Sphere&>(*visual.geometry).radius, 0.1);
          } else if (visual.geometry->type == urdf::Geometry::CYLINDER) {
            EXPECT_EQ(static_cast<const urdf::Cylinder&>(*visual.geometry).radius, 0.1);
          }
        }
      }
      for (int i = 1; i <= 7; i++) {
        const urdf::LinkConstSharedPtr link = model->getLink(kLinkNames[i]);
        ASSERT_NE(link, nullptr);
        const size_t expected = i < 7 ? 2 : 1;
        ASSERT_EQ(link->visual_array.size(), expected) << kLinkNames[i];
        EXPECT_EQ(link->visual_array[0]->geometry->type, urdf::Geometry::SPHERE);
        if (i < 7) {
          const urdf::Cylinder& tube =
              static_cast<const urdf::Cylinder&>(*link->visual_array[1]->geometry);
          EXPECT_NEAR(tube.length, robot.Llen[i + 1], 1e-15);
        }
      }
      EXPECT_EQ(model->getLink("base_link")->visual_array.size(), robot.Llen[1] > 0 ? 1u : 0u);
      ASSERT_EQ(model->getLink("hand")->visual_array.size(), 1u);
      EXPECT_NEAR(
          static_cast<const urdf::Cylinder&>(*model->getLink("hand")->visual_array[0]->geometry)
              .length,
          robot.handLength, 1e-15);
      const urdf::LinkConstSharedPtr workpiece = model->getLink("workpiece");
      ASSERT_EQ(workpiece->visual_array.size(), 1u);
      ASSERT_EQ(workpiece->visual_array[0]->geometry->type, urdf::Geometry::BOX);
      expect_exactly(
          to_vec(static_cast<const urdf::Box&>(*workpiece->visual_array[0]->geometry).dim),
          {0.35, 0.3, 0.2});

      for (const char* part : {"wall", "floor"}) {
        SCOPED_TRACE(part);
        const urdf::JointConstSharedPtr fixed = model->getJoint(std::string(part) + "_joint");
        if (!scene) {
          EXPECT_EQ(fixed, nullptr);
          EXPECT_EQ(model->getLink(part), nullptr);
          continue;
        }
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->type, urdf::Joint::FIXED);
        EXPECT_EQ(fixed->parent_link_name, "base_link");
        EXPECT_EQ(fixed->child_link_name, part);
      }
    }
  }
}

// With the scene the wall is a thin box on the wall plate (x from rh.x - 4 to rh.x, z from rh.z
// to rh.z + 4, centred on y = rh.y) and the floor a thin box whose top is z = 0.
TEST(UrdfExport, WallAndFloorWhereTheWorkcellHasThem) {
  setup_robot(2);
  for (const Vec3 rh : {kWallEdge, Vec3{0.5, -0.75, 0.25}}) {
    std::string text, why;
    ASSERT_EQ(robot_urdf(robot, "scene", &rh, text, why), 1) << why;
    const urdf::ModelInterfaceSharedPtr model = urdf::parseURDF(text);
    ASSERT_NE(model, nullptr);
    auto box_of = [&](const char* part, Vec3& low, Vec3& high) {
      const urdf::JointConstSharedPtr joint = model->getJoint(std::string(part) + "_joint");
      const urdf::LinkConstSharedPtr link = model->getLink(part);
      ASSERT_NE(joint, nullptr);
      ASSERT_NE(link, nullptr);
      ASSERT_EQ(link->visual_array.size(), 1u);
      ASSERT_EQ(link->collision_array.size(), 1u);
      ASSERT_EQ(link->visual_array[0]->geometry->type, urdf::Geometry::BOX);
      const Vec3 size = to_vec(static_cast<const urdf::Box&>(*link->visual_array[0]->geometry).dim);
      Vec3 centre;
      vadd(to_vec(joint->parent_to_joint_origin_transform.position),
           to_vec(link->visual_array[0]->origin.position), centre);
      low = {centre.x - size.x / 2, centre.y - size.y / 2, centre.z - size.z / 2};
      high = {centre.x + size.x / 2, centre.y + size.y / 2, centre.z + size.z / 2};
    };
    Vec3 low, high;
    box_of("wall", low, high);
    EXPECT_NEAR(low.x, rh.x - 4, 1e-15);
    EXPECT_NEAR(high.x, rh.x, 1e-15);
    EXPECT_NEAR(low.z, rh.z, 1e-15);
    EXPECT_NEAR(high.z, rh.z + 4, 1e-15);
    EXPECT_NEAR((low.y + high.y) / 2, rh.y, 1e-15);
    EXPECT_GT(high.y - low.y, 0);
    EXPECT_LE(high.y - low.y, 0.02);
    box_of("floor", low, high);
    EXPECT_NEAR(high.z, 0, 1e-15);
    EXPECT_GT(high.z - low.z, 0);
    EXPECT_LE(high.z - low.z, 0.02);
    EXPECT_LE(low.x, -4.4);
    EXPECT_GE(high.x, 4.4);
    EXPECT_LE(low.y, -4.4);
    EXPECT_GE(high.y, 4.4);
  }
}

// kdl_parser builds the tree of every type, with and without the scene, and the chain from
// base_link to the workpiece has the seven joints (the fixed joints add segments, not joints).
TEST(UrdfExport, KdlChainHasSevenJoints) {
  for (int type = 1; type <= 4; type++) {
    for (bool scene : {false, true}) {
      SCOPED_TRACE("type " + std::to_string(type) + (scene ? " with the scene" : ""));
      setup_robot(type);
      KdlRobot robotKdl;
      ASSERT_TRUE(kdl_robot(urdf_of(robot, robot_name(type), scene), robotKdl));
      EXPECT_EQ(robotKdl.tree.getNrOfJoints(), 7u);
      EXPECT_EQ(robotKdl.tree.getNrOfSegments(), scene ? 11u : 9u);
      EXPECT_EQ(robotKdl.chain.getNrOfJoints(), 7u);
      ASSERT_EQ(robotKdl.chain.getNrOfSegments(), 9u);
      for (int i = 1; i <= 7; i++) {
        const KDL::Segment& segment = robotKdl.chain.getSegment(i - 1);
        EXPECT_EQ(segment.getName(), kLinkNames[i]);
        EXPECT_EQ(segment.getJoint().getName(), kJointNames[i]);
        EXPECT_NE(segment.getJoint().getType(), KDL::Joint::None);
      }
    }
  }
}

// KDL's forward kinematics of the URDF is the program's own: at 10^4 seeded random joint vectors
// (several turns either way: the joints have no limits) every link origin is Jpos[k], the hand
// and the workpiece are at rw with orientation Ew, within 1e-12.
TEST(UrdfExport, KdlForwardKinematicsIsTheProgramsOwn) {
  std::mt19937 rng(22);
  std::uniform_real_distribution<double> angle(-4 * PI, 4 * PI);
  for (int type = 1; type <= 4; type++) {
    for (bool scene : {false, true}) {
      SCOPED_TRACE("type " + std::to_string(type) + (scene ? " with the scene" : ""));
      setup_robot(type);
      KdlRobot robotKdl;
      ASSERT_TRUE(kdl_robot(urdf_of(robot, robot_name(type), scene), robotKdl));
      double worst = 0;
      double q[kJointSlots] = {};
      for (int sample = 0; sample < kSamples; sample++) {
        for (int i = 1; i <= 7; i++) q[i] = angle(rng);
        worst = std::max(worst, kdl_against_program(robot, kin, robotKdl, q));
      }
      EXPECT_LE(worst, kTolerance);
      // The initial pose too, where the program's own tests know the answer.
      EXPECT_LE(kdl_against_program(robot, kin, robotKdl, robot.qInit[type]), kTolerance);
      expect_near(kin.rw, {3.4, 0, 1.0}, 1e-12);
    }
  }
}

// The shapes move with their links: at random poses, placed by KDL's frames, every cylinder runs
// from Jpos[k] to Jpos[k+1] (the hand's stem from Jpos[7] to rw), every sphere sits on its joint
// and the workpiece box is centred on rw with its sides along Ew's axes.
TEST(UrdfExport, TubesFollowTheArms) {
  std::mt19937 rng(2201);
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    setup_robot(type);
    expect_shapes_follow(robot, urdf_of(robot, robot_name(type), false), rng, 100);
  }
}

// Beyond the catalogue: a model whose zero-pose frames are turned at random, its joints placed
// anywhere and its work turned at random still comes out of KDL as forward_kinematics has it,
// and so do its tubes; and so does a work orientation at pitch +-pi/2, where roll and yaw share
// the turn.
TEST(UrdfExport, ArbitraryModelsKeepTheirKinematics) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (int trial = 0; trial < 22; trial++) {
    SCOPED_TRACE(trial);
    RobotModel model = arbitrary_model(rng);
    if (trial >= 20) {
      const double a = 0.7, ca = std::cos(a), sa = std::sin(a), s = trial == 20 ? 1 : -1;
      model.Ew0 = {{0, s * sa, s * ca, 0, ca, -sa, -s, 0, 0}};
      link_geometry(model.N, model.Jpos0, model.E0, model.rw0, model.Ew0, model.Erel, model.Lloc,
                    model.LlocU, model.Llen, model.rwLoc, model.EwLoc, model.handLength);
    }
    Kinematics k;
    kinematics_at_base(model, k);
    const std::string text = urdf_of(model, "arbitrary", trial % 2 == 1);
    KdlRobot robotKdl;
    ASSERT_TRUE(kdl_robot(text, robotKdl));
    double worst = 0;
    double q[kJointSlots] = {};
    for (int sample = 0; sample < 500; sample++) {
      for (int i = 1; i <= model.N; i++) q[i] = angle(rng);
      worst = std::max(worst, kdl_against_program(model, k, robotKdl, q));
    }
    EXPECT_LE(worst, kTolerance);
    expect_shapes_follow(model, text, rng, 20);
  }
}

// Numbers read back exactly and look the same under a locale with a decimal comma: printf's
// "%.17g" in the C locale.
TEST(UrdfExport, NumbersAsPercent17gInEveryLocale) {
  setup_robot(3);
  const std::string plain = urdf_of(robot, robot_name(3), true);
  char expected[64];
  snprintf(expected, sizeof expected, "radius=\"%.17g\"", robot.linkRadius);
  EXPECT_NE(plain.find(expected), std::string::npos) << expected;
  snprintf(expected, sizeof expected, "xyz=\"0 0 %.17g\"", robot.Jpos0[2].z - robot.Jpos0[1].z);
  EXPECT_NE(plain.find(expected), std::string::npos) << expected;
  EXPECT_EQ(plain.find("-0 "), std::string::npos);
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"})
    if (setlocale(LC_ALL, name) != nullptr) {
      comma = true;
      break;
    }
  const std::string localised = urdf_of(robot, robot_name(3), true);
  setlocale(LC_ALL, "C");
  if (!comma) GTEST_SKIP() << "no de_DE locale";
  EXPECT_EQ(localised, plain);
}

// The name is escaped; the document starts with the XML declaration and ends with the robot.
TEST(UrdfExport, NameEscapedDocumentWhole) {
  setup_robot(1);
  const std::string text = urdf_of(robot, "a<b & \"c\"", false);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\"?>\n", 0), 0u);
  EXPECT_NE(text.find("<robot name=\"a&lt;b &amp; &quot;c&quot;\">"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 9), "</robot>\n");
  const urdf::ModelInterfaceSharedPtr model = urdf::parseURDF(text);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->getName(), "a<b & \"c\"");
}

// What cannot be written is refused with a reason, and the text is left as it was.
TEST(UrdfExport, RefusesModelsItCannotWrite) {
  struct Case {
    const char* what;
    void (*spoil)(RobotModel&);
    const char* mentions;
  };
  const Case cases[] = {
      {"sliding joint", [](RobotModel& m) { m.jointKind[4] = 'S'; }, "joint 4"},
      {"no joints", [](RobotModel& m) { m.N = 0; }, "0 joints"},
      {"eight joints", [](RobotModel& m) { m.N = 8; }, "8 joints"},
      {"nan joint", [](RobotModel& m) { m.Jpos0[3].y = NAN; }, "joint 3"},
      {"no axis", [](RobotModel& m) { m.E0[2].m[2] = m.E0[2].m[5] = m.E0[2].m[8] = 0; }, "joint 2"},
      {"inf work", [](RobotModel& m) { m.Ew0.m[4] = INFINITY; }, "work"},
      {"radius 0", [](RobotModel& m) { m.linkRadius = 0; }, "radius"},
      {"flat workpiece", [](RobotModel& m) { m.workSize[2] = 0; }, "workpiece"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RobotModel model;
    robot_setup(1, model);
    c.spoil(model);
    std::string text = "unchanged", why;
    EXPECT_EQ(robot_urdf(model, "bad", nullptr, text, why), 0);
    EXPECT_EQ(text, "unchanged");
    EXPECT_NE(why.find(c.mentions), std::string::npos) << why;
  }
  RobotModel model;
  robot_setup(1, model);
  const Vec3 edge = {0, NAN, 0};
  std::string text = "unchanged", why;
  EXPECT_EQ(robot_urdf(model, "bad", &edge, text, why), 0);
  EXPECT_NE(why.find("wall"), std::string::npos) << why;
}

// The joint names every table shares: joint1..joint7, the URDF's own.
TEST(JointNames, ColumnsAreTheUrdfJoints) {
  EXPECT_EQ(joint_columns(7), "joint1,joint2,joint3,joint4,joint5,joint6,joint7");
  EXPECT_EQ(joint_columns(3, ' '), "joint1 joint2 joint3");
  EXPECT_EQ(joint_columns(0), "");
  for (int i = 1; i <= kMaxJoints; i++) EXPECT_EQ(kJointNames[i], "joint" + std::to_string(i));
  EXPECT_STREQ(kLinkNames[0], "base_link");
  setup_robot(4);
  const urdf::ModelInterfaceSharedPtr model = urdf::parseURDF(urdf_of(robot, "names", false));
  ASSERT_NE(model, nullptr);
  int continuous = 0;
  for (const auto& entry : model->joints_)
    if (entry.second->type == urdf::Joint::CONTINUOUS) {
      continuous++;
      EXPECT_EQ(entry.first.rfind("joint", 0), 0u) << entry.first;
    }
  EXPECT_EQ(continuous, 7);
}
