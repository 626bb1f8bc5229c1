#include "ik/poinv.h"
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

}  // namespace
