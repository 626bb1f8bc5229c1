// Three-component vectors, 3x3 matrices and joint vectors: the arithmetic every kinematic and
// solver routine is written in. Inputs come first, the output last; unless a routine says
// otherwise the output must not be one of its inputs.
#pragma once

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

void vcopy(const Vec3& src, Vec3& dst);
// out = a + b and out = a - b; out may be a or b.
void vadd(const Vec3& a, const Vec3& b, Vec3& out);
void vsub(const Vec3& a, const Vec3& b, Vec3& out);
double vdot(const Vec3& a, const Vec3& b);
// out = a x b.
void vcross(const Vec3& a, const Vec3& b, Vec3& out);
double vnorm(const Vec3& a);

void mcopy(const Mat3& src, Mat3& dst);
// dst = src^T.
void mtrans(const Mat3& src, Mat3& dst);
// out = M * Rz(theta): the frame M turned by theta (radians) about its own z axis.
void mrotz(const Mat3& M, double theta, Mat3& out);
// out = A * B.
void mmul(const Mat3& A, const Mat3& B, Mat3& out);
// out = A^T * B.
void mtmul(const Mat3& A, const Mat3& B, Mat3& out);
// out = M * v: a vector given in frame M, expressed in M's parent coordinates.
void mvmul(const Mat3& M, const Vec3& v, Vec3& out);
// out = M^T * v: a parent-frame vector expressed in frame M.
void mtvmul(const Mat3& M, const Vec3& v, Vec3& out);

// dst[k] = src[k] for k = 0..n inclusive (n + 1 elements).
void qcopy(int n, const double src[], double dst[]);

// '0'..'9' for n = 0..9, 'x' for any other n.
char digit_char(int n);
