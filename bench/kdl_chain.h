// The robot model as an orocos KDL chain, for the benchmarks that run KDL's solvers beside the
// closed-form routines on the same chain.
#pragma once

#include <kdl/chain.hpp>

#include "model/state.h"

// The KDL frame with rotation R and origin p.
inline KDL::Frame kdl_frame(const Mat3& R, const Vec3& p) {
  const double* m = R.m;
  return KDL::Frame(KDL::Rotation(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]),
                    KDL::Vector(p.x, p.y, p.z));
}

// The chain from the base frame `base` to the work frame: a fixed segment to joint 1, then
// segment i turns about z at joint i and carries the frame of joint i + 1 (the work frame for
// i = 7). Joint heldJoint (0 for none) is frozen at heldValue radians instead of turning.
inline KDL::Chain kdl_chain(const RobotModel& robot, const KDL::Frame& base, int heldJoint,
                            double heldValue) {
  KDL::Chain chain;
  chain.addSegment(
      KDL::Segment(KDL::Joint(KDL::Joint::None), base * kdl_frame(robot.Erel[1], robot.Lloc[1])));
  for (int i = 1; i <= 7; i++) {
    const KDL::Frame next = i < 7 ? kdl_frame(robot.Erel[i + 1], robot.Lloc[i + 1])
                                  : kdl_frame(robot.EwLoc, robot.rwLoc);
    if (i == heldJoint)
      chain.addSegment(KDL::Segment(KDL::Joint(KDL::Joint::None),
                                    KDL::Frame(KDL::Rotation::RotZ(heldValue)) * next));
    else
      chain.addSegment(KDL::Segment(KDL::Joint(KDL::Joint::RotZ), next));
  }
  return chain;
}
