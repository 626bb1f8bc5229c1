#include "math/angles.h"

#include <cmath>

#include "math/vecmat.h"

double angle_diff(double a, double b) {
  const double d = a - b;
  double best = d;
  if (std::fabs(d + 2 * PI) < std::fabs(best)) best = d + 2 * PI;
  if (std::fabs(d - 2 * PI) < std::fabs(best)) best = d - 2 * PI;
  return best;
}

double angle_wrap_diff(double a, double b) {
  const double d = a - b;
  const double candidates[4] = {d + 2 * PI, d + 4 * PI, d - 2 * PI, d - 4 * PI};
  double best = d;
  for (double c : candidates)
    if (std::fabs(c) < std::fabs(best)) best = c;
  return best;
}

double joint_distance(int n, const double a[], const double b[]) {
  double sum = 0;
  for (int i = 1; i <= n; i++) sum += std::fabs(angle_diff(a[i], b[i]));
  return sum;
}

double wrapped_distance3(int i, int j, int k, const double a[], const double b[]) {
  return std::fabs(wrap_angle(a[i] - b[i])) + std::fabs(wrap_angle(a[j] - b[j])) +
         std::fabs(wrap_angle(a[k] - b[k]));
}

double wrap_once(double angle) {
  if (angle > PI) return angle - 2 * PI;
  if (angle < -PI) return angle + 2 * PI;
  return angle;
}

double wrap_angle(double angle) {
  const double once = wrap_once(angle);
  return once > PI || once < -PI ? wrap_remainder(once) : once;
}

double joint_distance3(int i, int j, int k, const double a[], const double b[]) {
  const int joints[3] = {i, j, k};
  double sum = 0;
  for (int m : joints) sum += std::fabs(angle_diff(a[m], b[m]));
  return sum;
}

double wrap_remainder(double angle) {
  return std::remainder(angle, 2 * PI);
}

double wrap_library_turn(double angle) {
  // Within half a turn the remainder is angle itself: skip computing it.
  return std::fabs(angle) <= kLibraryPi ? angle : std::remainder(angle, 2 * kLibraryPi);
}
