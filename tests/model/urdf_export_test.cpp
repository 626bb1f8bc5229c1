// The URDF export read back by urdfdom and kdl_parser: every robot type, with and without the
// scene, and models with arbitrary zero-pose frames give seven limitless joints and a KDL chain
// whose forward kinematics puts every link, the work and every tube where forward_kinematics
// puts them; the wall and floor lie where the workcell has them; bad models are refused.
#include "model/urdf_export.h"

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
  Kinematics k;
  kinematics_at_base(model, k);
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
