// The workcell file read back: random files return every value exactly, each box's orientation
// as the test's own rotation (elementary rotations multiplied for rpy, the quaternion turning
// each axis for quat_xyzw); every cut-short file is refused; the goal and wall pass the
// dialogs' tests before anything reaches the workcell.
#include "task/workcell_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "model/robot_catalogue.h"
#include "support.h"
#include "task/contact_arm_rules.h"
#include "task/workcell_setup.h"

namespace {

// A number as the file gives it: enough digits to read back the same double.
std::string num(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string triple(const double v[3]) {
  return "[" + num(v[0]) + ", " + num(v[1]) + ", " + num(v[2]) + "]";
}

Mat3 product(const Mat3& A, const Mat3& B) {
  Mat3 C;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      C.m[3 * i + j] = 0;
      for (int k = 0; k < 3; k++) C.m[3 * i + j] += A.m[3 * i + k] * B.m[3 * k + j];
    }
  return C;
}

// The rotation by angle a about the unit axis (column form: R v turns v).
Mat3 about(int axis, double a) {
  const double c = std::cos(a), s = std::sin(a);
  if (axis == 0) return {{1, 0, 0, 0, c, -s, 0, s, c}};
  if (axis == 1) return {{c, 0, s, 0, 1, 0, -s, 0, c}};
  return {{c, -s, 0, s, c, 0, 0, 0, 1}};
}

// Quaternions as (w, x, y, z) for the Hamilton product.
struct Quat {
  double w, x, y, z;
};
Quat times(const Quat& a, const Quat& b) {
  return {
      a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
      a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// The frame whose columns are q's turning of the base axes: q e q* for e = x, y, z.
Mat3 turned_axes(const Quat& q) {
  const double n2 = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
  const Quat conj = {q.w / n2, -q.x / n2, -q.y / n2, -q.z / n2};
  Mat3 R;
  for (int j = 0; j < 3; j++) {
    const Quat e = {0, j == 0 ? 1.0 : 0.0, j == 1 ? 1.0 : 0.0, j == 2 ? 1.0 : 0.0};
    const Quat v = times(times(q, e), conj);
    R.m[j] = v.x;
    R.m[3 + j] = v.y;
    R.m[6 + j] = v.z;
  }
  return R;
}

// R^T R = I and det R = +1 within a few roundings of numbers of size 1.
void expect_rotation(const Mat3& R) {
  Mat3 RT;
  mtrans(R, RT);
  expect_near(product(RT, R), {{1, 0, 0, 0, 1, 0, 0, 0, 1}}, 1e-15);
  const double det = R.m[0] * (R.m[4] * R.m[8] - R.m[5] * R.m[7]) -
                     R.m[1] * (R.m[3] * R.m[8] - R.m[5] * R.m[6]) +
                     R.m[2] * (R.m[3] * R.m[7] - R.m[4] * R.m[6]);
  EXPECT_NEAR(det, 1, 1e-15);
}

void expect_same_workcell(const Workcell& a, const Workcell& b) {
  expect_near(a.rwG, b.rwG, 0);
  expect_near(a.rh, b.rh, 0);
  EXPECT_EQ(a.obstacleCount, b.obstacleCount);
}

int read(const std::string& text, WorkcellFile& file, std::string& why) {
  return read_workcell_text(text.data(), text.size(), "cell.json", file, why);
}

// Random workcells, written as a user would, read back exactly: type, goal, wall, every box's
// name, size and centre; rpy boxes as Rz Ry Rx multiplied here, quaternion boxes (their length
// off 1 by up to 0.9e-6) as the axes the quaternion turns; every R a rotation.
TEST(WorkcellFile, RandomFilesReadBackExactly) {
  const unsigned seed = 20261208;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1, 1), side(1e-3, 3), angle(-7, 7);
  const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";
  for (int trial = 0; trial < 200; trial++) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << ", trial " << trial);
    const bool some = trial % 4 != 0;
    const int type = 1 + trial % 4;
    const double goal[3] = {2 * unit(rng), 2 * unit(rng), unit(rng)}, wallY = 2 * unit(rng);
    const int count = trial == 1 ? kMaxObstacles : static_cast<int>(rng() % 6);
    std::string text = "{\n";
    if (some)
      text += "  \"type\": " + std::to_string(type) + ", \"goal\": " + triple(goal) +
              ", \"wall\": " + num(wallY) + ",\n";
    text += "  \"obstacles\": [";
    Obstacle expected[kMaxObstacles];
    for (int k = 0; k < count; k++) {
      Obstacle& b = expected[k];
      // Distinct names of every length up to the longest: the box's number first.
      const size_t length = 1 + rng() % kObstacleNameMax;
      std::string name = std::to_string(k);
      while (name.size() < length) name += letters[rng() % (sizeof letters - 1)];
      std::snprintf(b.name, sizeof b.name, "%s", name.c_str());
      for (double& s : b.size) s = side(rng);
      const double c[3] = {5 * unit(rng), 5 * unit(rng), 5 * unit(rng)};
      b.centre = {c[0], c[1], c[2]};
      text += std::string(k == 0 ? "\n" : ",\n") + "    { \"name\": \"" + name +
              "\", \"size\": " + triple(b.size) + ", \"position\": " + triple(c);
      const int rotation = rng() % 3;  // none, rpy, quaternion
      if (rotation == 0) {
        b.R = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
      } else if (rotation == 1) {
        const double rpy[3] = {angle(rng), angle(rng), angle(rng)};
        text += ", \"rpy\": " + triple(rpy);
        b.R = product(about(2, rpy[2]), product(about(1, rpy[1]), about(0, rpy[0])));
      } else {
        Quat q = {unit(rng), unit(rng), unit(rng), unit(rng)};
        const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
        const double length = 1 + 0.9e-6 * unit(rng);
        q = {q.w / n * length, q.x / n * length, q.y / n * length, q.z / n * length};
        text += ", \"quat_xyzw\": [" + num(q.x) + ", " + num(q.y) + ", " + num(q.z) + ", " +
                num(q.w) + "]";
        b.R = turned_axes(q);
      }
      text += " }";
    }
    text += "\n  ]\n}\n";
    SCOPED_TRACE(text);

    WorkcellFile file;
    std::string why;
    ASSERT_EQ(read(text, file, why), 1) << why;
    EXPECT_EQ(file.source, "cell.json");
    EXPECT_EQ(file.typeGiven, some);
    EXPECT_EQ(file.goalGiven, some);
    EXPECT_EQ(file.wallGiven, some);
    if (some) {
      EXPECT_EQ(file.type, type);
      for (int k = 0; k < 3; k++) EXPECT_EQ(file.goal[k], goal[k]);
      EXPECT_EQ(file.wallY, wallY);
    }
    ASSERT_EQ(file.obstacleCount, count);
    for (int k = 0; k < count; k++) {
      const Obstacle& got = file.obstacles[k];
      EXPECT_STREQ(got.name, expected[k].name);
      for (int i = 0; i < 3; i++) EXPECT_EQ(got.size[i], expected[k].size[i]);
      EXPECT_EQ(got.centre.x, expected[k].centre.x);
      EXPECT_EQ(got.centre.y, expected[k].centre.y);
      EXPECT_EQ(got.centre.z, expected[k].centre.z);
      // Rounding of a few operations on numbers of size 1; the quaternion's length off 1 by
      // 0.9e-6 is divided out, not left in R.
      expect_near(got.R, expected[k].R, 2e-15);
      expect_rotation(got.R);
    }
  }
}

// The same turn given both ways gives the same R: rpy, and the quaternion qz qy qx built here.
TEST(WorkcellFile, RpyAndQuaternionAgree) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (int trial = 0; trial < 100; trial++) {
    const double r = angle(rng), p = angle(rng), y = angle(rng);
    const Quat q = times(
        times({std::cos(y / 2), 0, 0, std::sin(y / 2)}, {std::cos(p / 2), 0, std::sin(p / 2), 0}),
        {std::cos(r / 2), std::sin(r / 2), 0, 0});
    const std::string text =
        "{\"obstacles\": [{\"name\": \"a\", \"size\": [1, 1, 1], "
        "\"position\": [0, 0, 0], \"rpy\": [" +
        num(r) + ", " + num(p) + ", " + num(y) +
        "]}, {\"name\": \"b\", \"size\": [1, 1, 1], \"position\": [0, 0, 0], "
        "\"quat_xyzw\": [" +
        num(q.x) + ", " + num(q.y) + ", " + num(q.z) + ", " + num(q.w) + "]}]}";
    WorkcellFile file;
    std::string why;
    ASSERT_EQ(read(text, file, why), 1) << why;
    expect_near(file.obstacles[0].R, file.obstacles[1].R, 2e-15);
  }
}

// A file cut short anywhere is refused, with the place the text ends, and gives nothing.
TEST(WorkcellFile, EveryCutShortFileIsRefused) {
  const std::string text =
      "{\"type\": 2, \"goal\": [-0.6, 2.2, 0], \"wall\": 1.3, \"obstacles\": [{\"name\": "
      "\"post\", \"size\": [0.2, 0.2, 1.5], \"position\": [1.6, 1.6, 0.75], \"rpy\": [0, 0, 1]}]}";
  WorkcellFile file;
  std::string why;
  ASSERT_EQ(read(text, file, why), 1) << why;
  for (size_t length = 0; length < text.size(); length++) {
    const int result = read_workcell_text(text.data(), length, "cut.json", file, why);
    EXPECT_EQ(result, 0) << length;
    EXPECT_EQ(why.rfind("cut.json: line 1, column ", 0), 0u) << length << ": " << why;
    EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    EXPECT_FALSE(file.typeGiven || file.goalGiven || file.wallGiven || file.obstacleCount != 0);
  }
}

// The goal and wall reach the workcell only when the goal dialog's reach test and the wall
// dialog's arm test take them; a refusal names the file and the field and changes nothing.
TEST(WorkcellFile, AppliedOnlyWhenTheDialogsWouldTakeIt) {
  const std::string text =
      "{\"goal\": [-1, 2, 0.5], \"wall\": 0.9, \"obstacles\": [{\"name\": \"post\", "
      "\"size\": [0.2, 0.2, 1.5], \"position\": [1.6, 1.6, 0.75]}]}";
  WorkcellFile file;
  std::string why;
  ASSERT_EQ(read(text, file, why), 1) << why;
  for (int type = 1; type <= 4; type++) {
    SCOPED_TRACE(type);
    RobotModel robot;
    robot_setup(type, robot);
    Workcell cell;
    start_workcell(robot, cell);
    int Mcont = kStartupContactArm;
    ASSERT_EQ(apply_workcell_file(file, robot, cell, Mcont, why), 1) << why;
    // The workpiece's centre half its height above the underside.
    expect_near(cell.rwG, {-1, 2, 0.5 + robot.workSize[2] / 2}, 1e-15);
    expect_near(cell.rh, {0, 0.9, 0}, 0);
    EXPECT_EQ(Mcont, wall_dialog_contact_arm(robot, {0, 0.9, 0}));
    ASSERT_EQ(cell.obstacleCount, 1);
    EXPECT_STREQ(cell.obstacles[0].name, "post");

    // Goals beyond every type's reach and a wall no arm 2..5 reaches: refused, the workcell
    // as it was.
    for (const char* bad : {"{\"goal\": [9, 9, 0]}", "{\"wall\": 5}", "{\"goal\": [0, 0, 40]}"}) {
      WorkcellFile refused;
      ASSERT_EQ(read(bad, refused, why), 1) << why;
      const Workcell before = cell;
      const int arm = Mcont;
      EXPECT_EQ(apply_workcell_file(refused, robot, cell, Mcont, why), 0) << bad;
      EXPECT_EQ(Mcont, arm);
      const bool goal = bad[2] == 'g';
      EXPECT_EQ(why.rfind(goal ? "cell.json: goal out of reach" : "cell.json: wall too far", 0), 0u)
          << why;
      expect_same_workcell(cell, before);
    }
  }
  // No file: the boxes emptied, the rest left alone.
  RobotModel robot;
  robot_setup(1, robot);
  Workcell cell;
  start_workcell(robot, cell);
  cell.obstacleCount = 3;
  const Vec3 rh = cell.rh, rwG = cell.rwG;
  int Mcont = kStartupContactArm;
  ASSERT_EQ(apply_workcell_file(WorkcellFile{}, robot, cell, Mcont, why), 1);
  EXPECT_EQ(Mcont, kStartupContactArm);
  EXPECT_EQ(cell.obstacleCount, 0);
  expect_near(cell.rh, rh, 0);
  expect_near(cell.rwG, rwG, 0);
}

}  // namespace
