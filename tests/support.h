// Helpers shared by the tests: comparisons of vectors and matrices, seeded random poses.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "math/vecmat.h"

inline void expect_near(const Vec3& actual, const Vec3& expected, double tolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

inline void expect_near(const Mat3& actual, const Mat3& expected, double tolerance) {
  for (int k = 0; k < 9; k++) EXPECT_NEAR(actual.m[k], expected.m[k], tolerance) << "element " << k;
}

// Column j of a frame: its x, y or z axis in parent coordinates.
inline Vec3 column(const Mat3& M, int j) {
  return {M.m[j], M.m[3 + j], M.m[6 + j]};
}

// A joint vector with joints 1..n drawn uniformly from [-pi, pi]; other slots are 0.
inline void random_pose(std::mt19937& rng, int n, double q[kJointSlots]) {
  std::uniform_real_distribution<double> angle(-PI, PI);
  for (int k = 0; k < kJointSlots; k++) q[k] = 0;
  for (int i = 1; i <= n; i++) q[i] = angle(rng);
}

// |a - b| reduced modulo whole turns, in [0, pi]: how far apart two angles are.
inline double angle_gap(double a, double b) {
  return std::fabs(std::remainder(a - b, 2 * PI));
}

// Names in a directory, hidden ones included ("." and ".." left out): what a write left behind.
inline std::vector<std::string> directory_entries(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}
