#include "math/vecmat.h"

#include <cmath>

void vcopy(const Vec3& src, Vec3& dst) {
  dst = src;
}

void vadd(const Vec3& a, const Vec3& b, Vec3& out) {
  out.x = a.x + b.x;
  out.y = a.y + b.y;
  out.z = a.z + b.z;
}

void vsub(const Vec3& a, const Vec3& b, Vec3& out) {
  out.x = a.x - b.x;
  out.y = a.y - b.y;
  out.z = a.z - b.z;
}

double vdot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

void vcross(const Vec3& a, const Vec3& b, Vec3& out) {
  out.x = a.y * b.z - a.z * b.y;
  out.y = a.z * b.x - a.x * b.z;
  out.z = a.x * b.y - a.y * b.x;
}

double vnorm(const Vec3& a) {
  return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

void mcopy(const Mat3& src, Mat3& dst) {
  dst = src;
}

void mtrans(const Mat3& src, Mat3& dst) {
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) dst.m[3 * i + j] = src.m[3 * j + i];
}

void mrotz(const Mat3& M, double theta, Mat3& out) {
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  for (int i = 0; i < 3; i++) out.m[3 * i] = c * M.m[3 * i] + s * M.m[3 * i + 1];
  for (int i = 0; i < 3; i++) out.m[3 * i + 1] = -s * M.m[3 * i] + c * M.m[3 * i + 1];
  for (int i = 0; i < 3; i++) out.m[3 * i + 2] = M.m[3 * i + 2];
}

void mmul(const Mat3& A, const Mat3& B, Mat3& out) {
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 3; i++)
      out.m[3 * i + j] =
          A.m[3 * i] * B.m[j] + A.m[3 * i + 1] * B.m[3 + j] + A.m[3 * i + 2] * B.m[6 + j];
}

void mtmul(const Mat3& A, const Mat3& B, Mat3& out) {
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 3; i++)
      out.m[3 * i + j] = A.m[i] * B.m[j] + A.m[3 + i] * B.m[3 + j] + A.m[6 + i] * B.m[6 + j];
}

void mvmul(const Mat3& M, const Vec3& v, Vec3& out) {
  out.x = M.m[0] * v.x + M.m[1] * v.y + M.m[2] * v.z;
  out.y = M.m[3] * v.x + M.m[4] * v.y + M.m[5] * v.z;
  out.z = M.m[6] * v.x + M.m[7] * v.y + M.m[8] * v.z;
}

void mtvmul(const Mat3& M, const Vec3& v, Vec3& out) {
  out.x = M.m[0] * v.x + M.m[3] * v.y + M.m[6] * v.z;
  out.y = M.m[1] * v.x + M.m[4] * v.y + M.m[7] * v.z;
  out.z = M.m[2] * v.x + M.m[5] * v.y + M.m[8] * v.z;
}

void qcopy(int n, const double src[], double dst[]) {
  for (int k = 0; k <= n; k++) dst[k] = src[k];
}

char digit_char(int n) {
  return (n >= 0 && n <= 9) ? static_cast<char>('0' + n) : 'x';
}
