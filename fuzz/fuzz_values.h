// Turns fuzzer bytes into solver inputs that favour the troublesome doubles (NaN, infinities,
// denormals, huge and tiny values, values near the solvers' thresholds), and the checks whose
// failure the fuzzer reports as a crash.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "math/vecmat.h"

// The numbers of the call under test, printed when an invariant breaks.
struct FuzzCase {
  const double* values;
  int count;
};
inline FuzzCase fuzzCase = {nullptr, 0};

// Stops the run with a message and the case when an invariant does not hold, so libFuzzer
// keeps the input.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\ncase:", what);
  for (int k = 0; k < fuzzCase.count; k++) std::fprintf(stderr, " %.17g", fuzzCase.values[k]);
  std::fprintf(stderr, "\n");
  std::abort();
}

// One double of a class chosen by the input: any bit pattern, NaN, an infinity, a denormal, a
// huge value, a tiny value, or (most often) a moderate value.
inline double fuzz_double(FuzzedDataProvider& in) {
  const bool negative = in.ConsumeBool();
  const double sign = negative ? -1.0 : 1.0;
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: {
      const uint64_t bits = in.ConsumeIntegral<uint64_t>();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      return value;
    }
    case 1:
      return NAN;
    case 2:
      return sign * INFINITY;
    case 3:
      return sign * DBL_MIN * in.ConsumeProbability<double>();
    case 4:
      return sign * in.ConsumeFloatingPointInRange<double>(1e150, DBL_MAX);
    case 5:
      return sign * in.ConsumeFloatingPointInRange<double>(0, 1e-6);
    case 6:
      // Small whole and half values: exact ties, zeros and tangent cases.
      return sign * in.ConsumeIntegralInRange<int>(0, 8) / 2.0;
    default:
      return in.ConsumeFloatingPointInRange<double>(-10, 10);
  }
}

// A moderate angle (most often) or any fuzz_double.
inline double fuzz_angle(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return fuzz_double(in);
  return in.ConsumeFloatingPointInRange<double>(-PI, PI);
}

inline Vec3 fuzz_vec3(FuzzedDataProvider& in) {
  const double x = fuzz_double(in), y = fuzz_double(in);
  return {x, y, fuzz_double(in)};
}

// A joint vector: every slot filled, joints 1..7 with angles.
inline void fuzz_pose(FuzzedDataProvider& in, double q[kJointSlots]) {
  for (int k = 0; k < kJointSlots; k++) q[k] = k >= 1 && k <= 7 ? fuzz_angle(in) : fuzz_double(in);
}

// A rotation from three angles about z, y and x, or nine arbitrary entries; `rotation` tells
// which.
inline Mat3 fuzz_orientation(FuzzedDataProvider& in, bool& rotation) {
  Mat3 out;
  rotation = !in.ConsumeBool();
  if (!rotation) {
    for (double& entry : out.m) entry = fuzz_double(in);
    return out;
  }
  const double a = fuzz_angle(in), b = fuzz_angle(in), c = fuzz_angle(in);
  const Mat3 rz = {{std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1}};
  const Mat3 ry = {{std::cos(b), 0, std::sin(b), 0, 1, 0, -std::sin(b), 0, std::cos(b)}};
  const Mat3 rx = {{1, 0, 0, 0, std::cos(c), -std::sin(c), 0, std::sin(c), std::cos(c)}};
  Mat3 zy;
  mmul(rz, ry, zy);
  mmul(zy, rx, out);
  return out;
}

inline bool finite_all(const double values[], int count) {
  for (int k = 0; k < count; k++)
    if (!std::isfinite(values[k])) return false;
  return true;
}

inline bool finite_vec3(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Bit k of a joint mask stands for joint k.
inline unsigned joint_bit(int k) {
  return k >= 0 && k < kJointSlots ? 1u << k : 0u;
}

// Whether two joint vectors agree bit for bit (NaN equals NaN) in slots 0..n, except the
// joints in the mask `movable`.
inline bool same_joints_except(int n, const double a[], const double b[], unsigned movable) {
  for (int k = 0; k <= n; k++)
    if (!(movable & joint_bit(k)) && std::memcmp(&a[k], &b[k], sizeof a[k]) != 0) return false;
  return true;
}
