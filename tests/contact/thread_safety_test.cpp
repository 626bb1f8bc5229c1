// The core keeps no process-wide state: two threads solving at once get exactly what one thread
// gets solving alone. Built and run under ThreadSanitizer too, which reports any shared write.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "contact/line_contact.h"
#include "contact/line_contact4.h"
#include "ik/poinv.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"

namespace {

constexpr int kScenes = 200;

// Scene s: a robot type, a goal taken from a random pose, a wall edge near the arm; the numbers
// every solver gives for it, in a fixed order.
std::vector<double> solve_scene(int s) {
  RobotModel robot;
  Kinematics kin;
  robot_setup(1 + s % 4, robot);
  kin = Kinematics(robot);
  std::mt19937 rng(1000 + s);
  std::uniform_real_distribution<double> angle(-3.0, 3.0), side(-1.5, 1.5);
  double q[kJointSlots] = {};
  for (int i = 1; i <= robot.N; i++) q[i] = angle(rng);
  forward_kinematics(robot, q, kin);
  const Vec3 rwG = kin.rw;
  const Mat3 EwG = kin.Ew;
  const Vec3 rh = {side(rng), side(rng), 0};

  std::vector<double> out;
  const int* j = robot.posJoints;
  double start[kJointSlots] = {}, solved[kJointSlots] = {};
  for (int i = 1; i <= robot.N; i++) start[i] = robot.qInit[i];
  out.push_back(poinv(robot, start, j[0], j[1], j[2], robot.rwLoc, rwG, EwG, kin, solved));
  for (int i = 1; i <= robot.N; i++) out.push_back(solved[i]);
  double cand[4][kJointSlots], dist[4], tpar[4];
  for (int M = 2; M <= 5; M++) {
    const int n = line_contact4(robot, rh, q, robot.Lcont, M, kin, cand, dist, tpar);
    out.push_back(n);
    for (int r = 0; r < n && r < 4; r++) out.push_back(cand[r][robot.Lcont]);
  }
  double touched[kJointSlots] = {}, d = 0, t = 0;
  out.push_back(line_contact(robot, rh, q, robot.Lcont, 3, kin, touched, d, t));
  out.push_back(d);
  int mc = 0;
  ContactClass sgn = kContactUnknown;
  out.push_back(contact_check(robot, rh, robot.Lcont, touched, kin, mc, sgn, d, t));
  out.push_back(mc);
  out.push_back(sgn);
  return out;
}

}  // namespace

TEST(ThreadSafety, TwoThreadsSolveAsOneDoes) {
  std::vector<std::vector<double>> alone(kScenes), together(kScenes);
  for (int s = 0; s < kScenes; s++) alone[s] = solve_scene(s);
  auto half = [&together](int first) {
    for (int s = first; s < kScenes; s += 2) together[s] = solve_scene(s);
  };
  std::thread other(half, 1);
  half(0);
  other.join();
  for (int s = 0; s < kScenes; s++) EXPECT_EQ(alone[s], together[s]) << "scene " << s;
}
