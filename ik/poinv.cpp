#include "ik/poinv.h"

#include <cmath>

#include "model/vecmat.h"

double angle_diff(double a, double b) {
  const double d = a - b;
  double best = d;
  if (std::fabs(d + 2 * PI) < std::fabs(best)) best = d + 2 * PI;
  if (std::fabs(d - 2 * PI) < std::fabs(best)) best = d - 2 * PI;
  return best;
}
