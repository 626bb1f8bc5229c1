#include "math/angles.h"

#include <cmath>
#include <random>

#include "math/vecmat.h"
#include "support.h"

namespace {

// One turn at most: unlike angle_wrap_diff, a difference beyond 3*pi stays partly unreduced.
TEST(AngleDiff, ShiftsByOneTurnAtMost) {
  EXPECT_NEAR(angle_diff(3, -3), 6 - 2 * PI, 1e-15);
  EXPECT_NEAR(angle_diff(0.1, 0.2), -0.1, 1e-15);
  EXPECT_NEAR(angle_diff(-3, 3), -6 + 2 * PI, 1e-15);
  EXPECT_NEAR(angle_diff(10, 0), 10 - 2 * PI, 1e-14);
  EXPECT_EQ(std::fabs(angle_diff(PI, 0)), PI);
}

// Ties keep the earlier candidate; only +-2pi and +-4pi are tried.
TEST(AngleWrapDiff, UpToTwoTurnsEitherWay) {
  EXPECT_NEAR(angle_wrap_diff(0.1, 2 * PI), 0.1, 1e-15);
  EXPECT_EQ(angle_wrap_diff(PI, -PI), 0);
  EXPECT_EQ(angle_wrap_diff(PI, 0), PI);
  EXPECT_EQ(angle_wrap_diff(-PI, 0), -PI);
  EXPECT_NEAR(angle_wrap_diff(20, 0), 20 - 4 * PI, 1e-14);
  EXPECT_NEAR(angle_wrap_diff(-20, 0), -20 + 4 * PI, 1e-14);
  EXPECT_NEAR(angle_wrap_diff(0, 4.5 * PI), -0.5 * PI, 1e-14);
  for (double d = -5 * PI; d <= 5 * PI; d += 0.01) {
    EXPECT_LE(std::fabs(angle_wrap_diff(d, 0)), PI + 1e-12) << d;
  }
}

// One turn is taken off each joint's difference, and only the three named joints count.
TEST(JointDistance3, WrapsEachJointOnce) {
  double p[kJointSlots] = {}, q[kJointSlots] = {};
  for (int i = 1; i <= 7; i++) p[i] = 2 * PI - 0.1;
  p[5] = 100;
  EXPECT_NEAR(joint_distance3(1, 2, 3, p, q), 0.3, 1e-12);
  EXPECT_NEAR(joint_distance3(2, 3, 4, q, p), 0.3, 1e-12);
  p[1] = 4 * PI + 0.2;
  EXPECT_NEAR(joint_distance3(1, 2, 3, p, q), 2 * PI + 0.2 + 0.2, 1e-12);
}

// Both remainder wraps take off whole turns of their own pi only: checked against the turn
// count found in long double and against the interval each promises, including the odd
// multiples of pi where the two pis put an angle on different sides of the cut.
TEST(WrapRemainder, WholeTurnsIntoHalfTurnEitherSide) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> angle(-40, 40);
  for (int trial = 0; trial < 2000; trial++) {
    const double a = trial < 6 ? (trial - 2.5) * 2 * PI : angle(rng);
    const double pis[2] = {PI, kLibraryPi};
    const double wrapped[2] = {wrap_remainder(a), wrap_library_turn(a)};
    for (int k = 0; k < 2; k++) {
      const long double turns = std::roundl((a - wrapped[k]) / (2.0L * pis[k]));
      EXPECT_NEAR(static_cast<double>(a - turns * 2.0L * pis[k]), wrapped[k], 1e-13)
          << "trial " << trial << " angle " << a << " pi " << k;
      EXPECT_LE(std::fabs(wrapped[k]), pis[k]) << "trial " << trial << " angle " << a;
    }
  }
  // Within half a turn both keep the angle exactly; just beyond the library's pi only its
  // wrap turns it.
  EXPECT_EQ(wrap_remainder(3.0), 3.0);
  EXPECT_EQ(wrap_library_turn(-3.0), -3.0);
  const double beyond = std::nextafter(kLibraryPi, 4.0);
  EXPECT_EQ(wrap_remainder(beyond), beyond);
  EXPECT_LT(wrap_library_turn(beyond), 0);
}

}  // namespace
