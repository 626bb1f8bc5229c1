#include "math/vecmat.h"

void mtrans(const Mat3& src, Mat3& dst) {
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) dst.m[3 * i + j] = src.m[3 * j + i];
}

bool all_finite(const double values[], int count) {
  for (int k = 0; k < count; k++)
    if (!std::isfinite(values[k])) return false;
  return true;
}

char digit_char(int n) {
  return (n >= 0 && n <= 9) ? static_cast<char>('0' + n) : 'x';
}
