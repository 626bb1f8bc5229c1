#include "math/vecmat.h"

#include "support.h"

namespace {

const Mat3 kIdentity = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};

// A rotation built from three turns, used where any proper rotation will do.
Mat3 some_rotation() {
  const Mat3 P = {{0, 0, 1, 1, 0, 0, 0, 1, 0}};
  Mat3 a, b, c;
  mrotz(kIdentity, 0.3, a);
  mmul(a, P, b);
  mrotz(b, -1.1, c);
  return c;
}

// Rz turns counter-clockwise: a wrong sign would mirror every joint of every robot.
TEST(VecMat, MrotzTurnsTheFrameAboutItsOwnZ) {
  // PI differs from pi by about 2e-14, so cos(PI / 2) is about -3.5e-15.
  const double tolerance = 1e-14;
  Mat3 out;
  mrotz(kIdentity, PI / 2, out);
  expect_near(out, Mat3{{0, -1, 0, 1, 0, 0, 0, 0, 1}}, tolerance);

  // Turning a frame about its own z axis keeps that axis and turns x toward y.
  const Mat3 M = some_rotation();
  mrotz(M, PI / 2, out);
  expect_near(column(out, 2), column(M, 2), 0);
  expect_near(column(out, 0), column(M, 1), tolerance);
}

// mtmul multiplies by the transpose of its first argument, not of its second.
TEST(VecMat, ProductsWithTransposes) {
  const Mat3 A = some_rotation();
  Mat3 out, At, B, expected;
  mtmul(A, A, out);
  expect_near(out, kIdentity, 1e-15);
  mtrans(A, At);
  mmul(A, At, out);
  expect_near(out, kIdentity, 1e-15);

  mrotz(A, 0.7, B);
  mtmul(A, B, out);
  mmul(At, B, expected);
  expect_near(out, expected, 1e-15);
  mrotz(kIdentity, 0.7, expected);  // A^T * A * Rz = Rz
  expect_near(out, expected, 1e-15);

  const Vec3 v = {0.3, -2.0, 1.5};
  Vec3 w, back;
  mvmul(A, v, w);
  mtvmul(A, w, back);
  expect_near(back, v, 1e-15);
}

TEST(VecMat, VectorOperations) {
  Vec3 out;
  vcross({1, 0, 0}, {0, 1, 0}, out);
  expect_near(out, {0, 0, 1}, 0);
  vcross({0, 0, 1}, {1, 0, 0}, out);
  expect_near(out, {0, 1, 0}, 0);
  EXPECT_EQ(vdot({1, 2, 3}, {4, -5, 6}), 12);
  EXPECT_EQ(vnorm({3, 4, 12}), 13);
  EXPECT_EQ(vnorm({0, 0, 0}), 0);

  // vadd and vsub may write over an input.
  Vec3 a = {1, 2, 3};
  vadd(a, {10, 20, 30}, a);
  expect_near(a, {11, 22, 33}, 0);
  Vec3 b = {1, 1, 1};
  vsub(a, b, b);
  expect_near(b, {10, 21, 32}, 0);
}

// qcopy copies n + 1 elements, slot 0 included, and nothing beyond.
TEST(VecMat, QcopyCopiesSlotsZeroToN) {
  double src[kJointSlots], dst[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) {
    src[k] = k + 1;
    dst[k] = -1;
  }
  qcopy(7, src, dst);
  for (int k = 0; k <= 7; k++) EXPECT_EQ(dst[k], k + 1);
  for (int k = 8; k < kJointSlots; k++) EXPECT_EQ(dst[k], -1);
}

TEST(VecMat, DigitChar) {
  EXPECT_EQ(digit_char(0), '0');
  EXPECT_EQ(digit_char(9), '9');
  EXPECT_EQ(digit_char(10), 'x');
  EXPECT_EQ(digit_char(-1), 'x');
}

}  // namespace
