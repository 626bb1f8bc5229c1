// The planner's one-block joint space against OMPL's compound space of SO2 angles, which it
// stands in for: over random angles (many near a half turn apart, and on the bounds) every
// distance, interpolation, bound and equality must agree to the bit, or the planner's paths
// would change with the space.
#include "planning/joint_space.h"

#include <gtest/gtest.h>
#include <ompl/base/ScopedState.h>
#include <ompl/base/spaces/SO2StateSpace.h>

#include <cmath>
#include <cstring>
#include <random>

namespace ob = ompl::base;

namespace {

constexpr int kJoints = 7;

// An angle of the kinds the planner meets: uniform, on or next to a bound, or out of bounds.
double random_angle(std::mt19937& rng) {
  const double pi = M_PI;
  std::uniform_real_distribution<double> any(-pi, pi), wide(-4 * pi, 4 * pi);
  switch (rng() % 6) {
    case 0:
      return -pi;
    case 1:
      return std::nextafter(pi, 0.0);
    case 2:
      return pi;
    case 3:
      return wide(rng);
    default:
      return any(rng);
  }
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(JointSpace, AgreesToTheBitWithOmplsCompoundSpaceOfAngles) {
  auto ours = std::make_shared<JointSpace>(kJoints);
  auto theirs = std::make_shared<ob::CompoundStateSpace>();
  for (int i = 0; i < kJoints; i++) theirs->addSubspace(std::make_shared<ob::SO2StateSpace>(), 1);
  ours->setup();
  theirs->setup();
  EXPECT_TRUE(same_bits(ours->getMaximumExtent(), theirs->getMaximumExtent()));
  EXPECT_TRUE(same_bits(ours->getMeasure(), theirs->getMeasure()));
  EXPECT_EQ(ours->getDimension(), theirs->getDimension());

  ob::ScopedState<> a(ours), b(ours), mid(ours);
  ob::ScopedState<> A(theirs), B(theirs), MID(theirs);
  auto angle = [&](ob::ScopedState<>& s, int i) -> double& {
    return s->as<ob::CompoundState>()->as<ob::SO2StateSpace::StateType>(i)->value;
  };
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> fraction(0, 1);
  for (int n = 0; n < 20000; n++) {
    for (int i = 0; i < kJoints; i++) {
      joint_values(a.get())[i] = angle(A, i) = random_angle(rng);
      // Half the pairs about a half turn apart, where the short way round flips.
      const double near = angle(A, i) + M_PI + (rng() % 2 ? 1e-12 : -1e-12) * (rng() % 3);
      joint_values(b.get())[i] = angle(B, i) = rng() % 2 ? near : random_angle(rng);
    }
    ASSERT_EQ(ours->satisfiesBounds(a.get()), theirs->satisfiesBounds(A.get()));
    ASSERT_EQ(ours->equalStates(a.get(), b.get()), theirs->equalStates(A.get(), B.get()));
    if (ours->satisfiesBounds(a.get()) && ours->satisfiesBounds(b.get())) {
      ASSERT_TRUE(same_bits(ours->distance(a.get(), b.get()), theirs->distance(A.get(), B.get())));
      const double t = rng() % 8 == 0 ? static_cast<double>(rng() % 2) : fraction(rng);
      ours->interpolate(a.get(), b.get(), t, mid.get());
      theirs->interpolate(A.get(), B.get(), t, MID.get());
      for (int i = 0; i < kJoints; i++)
        ASSERT_TRUE(same_bits(joint_values(mid.get())[i], angle(MID, i))) << "t " << t;
    }
    ours->enforceBounds(b.get());
    theirs->enforceBounds(B.get());
    for (int i = 0; i < kJoints; i++) ASSERT_TRUE(same_bits(joint_values(b.get())[i], angle(B, i)));
    ASSERT_TRUE(ours->satisfiesBounds(b.get()));
  }
}

}  // namespace
