#include "math/angles.h"

#include <cmath>

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

}  // namespace
