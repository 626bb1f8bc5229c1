// Three-component vectors, 3x3 matrices and joint vectors: the arithmetic every kinematic and
// solver routine is written in. Inputs come first, the output last; unless a routine says
// otherwise the output must not be one of its inputs.
#pragma once

#include <cmath>

// The program-wide value of pi; 2*pi is always 2 * PI.
constexpr double PI = 3.1415926535898;

// Slots in a joint vector: joint i is element i (1..N), element 0 is carried along by copies,
// the rest is spare room the contact routines clear.
constexpr int kJointSlots = 20;

struct Vec3 {
  double x, y, z;
};

// The world's vertical unit vector, the direction of the wall's edge.
constexpr Vec3 kEhz = {0, 0, 1};

// Row-major: element (row i, column j) is m[3 * i + j]. A frame's columns are its x, y and z
// axes in parent coordinates.
struct Mat3 {
  double m[9];
};

// out = a + b and out = a - b; out may be a or b.
inline void vadd(const Vec3& a, const Vec3& b, Vec3& out);
inline void vsub(const Vec3& a, const Vec3& b, Vec3& out);
inline double vdot(const Vec3& a, const Vec3& b);
// out = a x b.
inline void vcross(const Vec3& a, const Vec3& b, Vec3& out);
inline double vnorm(const Vec3& a);

// dst = src^T.
void mtrans(const Mat3& src, Mat3& dst);
// out = M * Rz(theta): the frame M turned by theta (radians) about its own z axis.
inline void mrotz(const Mat3& M, double theta, Mat3& out);
// The same from c = cos(theta) and s = sin(theta), for callers that have them already.
inline void mrotz_cs(const Mat3& M, double c, double s, Mat3& out);
// out = A * B.
inline void mmul(const Mat3& A, const Mat3& B, Mat3& out);
// out = A^T * B.
inline void mtmul(const Mat3& A, const Mat3& B, Mat3& out);
// out = M * v: a vector given in frame M, expressed in M's parent coordinates.
inline void mvmul(const Mat3& M, const Vec3& v, Vec3& out);
// out = M^T * v: a parent-frame vector expressed in frame M.
inline void mtvmul(const Mat3& M, const Vec3& v, Vec3& out);

// dst[k] = src[k] for k = 0..n inclusive (n + 1 elements).
inline void qcopy(int n, const double src[], double dst[]);

// '0'..'9' for n = 0..9, 'x' for any other n.
char digit_char(int n);

// Whether values[0..count-1] are all finite.
bool all_finite(const double values[], int count);

// The arithmetic of every inner loop, defined here so that each caller can inline it.

inline void vadd(const Vec3& a, const Vec3& b, Vec3& out) {
  out.x = a.x + b.x;
  out.y = a.y + b.y;
  out.z = a.z + b.z;
}

inline void vsub(const Vec3& a, const Vec3& b, Vec3& out) {
  out.x = a.x - b.x;
  out.y = a.y - b.y;
  out.z = a.z - b.z;
}

inline double vdot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline void vcross(const Vec3& a, const Vec3& b, Vec3& out) {
  out.x = a.y * b.z - a.z * b.y;
  out.y = a.z * b.x - a.x * b.z;
  out.z = a.x * b.y - a.y * b.x;
}

inline double vnorm(const Vec3& a) {
  return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

inline void mrotz_cs(const Mat3& M, double c, double s, Mat3& out) {
  for (int i = 0; i < 3; i++) out.m[3 * i] = c * M.m[3 * i] + s * M.m[3 * i + 1];
  for (int i = 0; i < 3; i++) out.m[3 * i + 1] = -s * M.m[3 * i] + c * M.m[3 * i + 1];
  for (int i = 0; i < 3; i++) out.m[3 * i + 2] = M.m[3 * i + 2];
}

inline void mrotz(const Mat3& M, double theta, Mat3& out) {
  mrotz_cs(M, std::cos(theta), std::sin(theta), out);
}

inline void mmul(const Mat3& A, const Mat3& B, Mat3& out) {
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 3; i++)
      out.m[3 * i + j] =
          A.m[3 * i] * B.m[j] + A.m[3 * i + 1] * B.m[3 + j] + A.m[3 * i + 2] * B.m[6 + j];
}

inline void mtmul(const Mat3& A, const Mat3& B, Mat3& out) {
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 3; i++)
      out.m[3 * i + j] = A.m[i] * B.m[j] + A.m[3 + i] * B.m[3 + j] + A.m[6 + i] * B.m[6 + j];
}

inline void mvmul(const Mat3& M, const Vec3& v, Vec3& out) {
  out.x = M.m[0] * v.x + M.m[1] * v.y + M.m[2] * v.z;
  out.y = M.m[3] * v.x + M.m[4] * v.y + M.m[5] * v.z;
  out.z = M.m[6] * v.x + M.m[7] * v.y + M.m[8] * v.z;
}

inline void mtvmul(const Mat3& M, const Vec3& v, Vec3& out) {
  out.x = M.m[0] * v.x + M.m[3] * v.y + M.m[6] * v.z;
  out.y = M.m[1] * v.x + M.m[4] * v.y + M.m[7] * v.z;
  out.z = M.m[2] * v.x + M.m[5] * v.y + M.m[8] * v.z;
}

inline void qcopy(int n, const double src[], double dst[]) {
  for (int k = 0; k <= n; k++) dst[k] = src[k];
}
